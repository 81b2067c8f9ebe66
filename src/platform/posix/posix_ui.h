// How the POSIX layer answers questions and shows progress: on the terminal,
// or unattended.
#pragma once

#include <cstdint>

enum PosixAnswerMode {
    kAnswerOnTerminal,  // ask on the terminal; with no terminal, answer Cancel
    kAnswerYes,         // --yes: every question answered OK / apply
};

void SetPosixAnswerMode(PosixAnswerMode mode);

// A progress sink (run_log.h) that keeps one line on standard error up to
// date: the share done and the file being written. For a terminal only.
void ShowProgressOnTerminal(const char* name, uint64_t done, uint64_t total);

// A diagnostic sink (run_log.h): the line on standard error, below any
// progress line.
void PrintDiagnosticLine(const char* line);
