// updpack: builds, lists and extracts update packages.
//
// The command works on Shift_JIS texts like the rest of the program; each
// platform's entry point (updpack_posix.cpp, updpack_win32.cpp) converts the
// arguments and provides the two services below.
#pragma once

#include <string>

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Runs the command. argv[1..argc-1] are Shift_JIS texts. Returns the exit
// status: 0 done, 1 failed, 2 wrong usage.
int RunUpdpack(int argc, char** argv);

// True for the commands: create, list, extract, check.
bool IsCommand(const char* command);

// The first of the count arguments after command (create, list, extract or
// check) that begins with '-' and is no option command knows at its place,
// or nullptr when there is none. The value after -C is no option.
const char* UnknownOption(const char* command, int count, char** arguments);

// updpack check [FOLDER]: the script check of folder, or of the current
// folder when folder is nullptr. Returns kExitDone when the update passed,
// kExitFailed otherwise.
int CheckUpdate(const char* folder);

// A Shift_JIS text as UTF-8 for the terminal. Returns 0 when text is not
// valid Shift_JIS.
int ToolTextToUtf8(const char* text, std::string* utf8);

// The file name that name (a Shift_JIS member name) becomes on disk, in a
// form in which two names are equal exactly when the file system takes them
// for one file: on Linux the UTF-8 bytes, on Windows the UTF-16 text in
// upper case. Returns 0 when name has no file name form.
int ToolFileNameKey(const char* name, std::string* key);
