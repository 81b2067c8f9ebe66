// How the POSIX layer answers questions: on the terminal, or unattended.
#pragma once

enum PosixAnswerMode {
    kAnswerOnTerminal,  // ask on the terminal; with no terminal, answer Cancel
    kAnswerYes,         // --yes: every question answered OK / apply
};

void SetPosixAnswerMode(PosixAnswerMode mode);

// Asks question on the terminal and reads a yes/no answer. Returns 1 for
// yes; 0 for no, or when standard input is not a terminal or ends.
int AskOnTerminal(const char* utf8Question);

// Prints a caption and a Shift_JIS text on standard output as UTF-8.
void PrintCaptionedText(const char* caption, const char* text);
