// updpack: builds, lists, extracts and verifies update packages.
//
// The command works on Shift_JIS texts like the rest of the program; its
// entry point (updpack_main.cpp) converts the arguments.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/exit_status.h"

// Runs the command. argv[1..argc-1] are Shift_JIS texts. Returns the exit
// status: kUpdpackDone, kUpdpackFailed or kUpdpackUsage.
int RunUpdpack(int argc, char** argv);

// Writes a Shift_JIS text to stream (stdout or stderr) through the
// platform's console: UTF-8 into pipes and files, the characters themselves
// onto a Windows console whatever its code page. Bytes that are no valid
// Shift_JIS are written as \xNN, so a damaged name still shows.
void PutText(std::FILE* stream, const char* text);

// "1 file", "2 files": count and noun, with an s unless count is 1.
std::string Counted(uint64_t count, const char* noun);

// "updpack: " and a Shift_JIS message on standard error.
void Complain(const char* message);

// Complains of a wrong usage, then shows the synopsis. Returns kUpdpackUsage.
int UsageError(const char* message);

// True for the commands: create, list, extract, verify, check, diff, try.
bool IsCommand(const char* command);

// The first of the count arguments after command (create, list, extract,
// verify or check) that begins with '-' and is no option command knows at
// its place, or nullptr when there is none. The value after -C is no option.
// diff and try tell their unknown options themselves: nullptr.
const char* UnknownOption(const char* command, int count, char** arguments);

// updpack check [FOLDER]: the script check of folder, or of the current
// folder when folder is nullptr. Returns kUpdpackDone when the update
// passed, kUpdpackFailed otherwise.
int CheckUpdate(const char* folder, int strict);
