// The process: its errors, its folder, its arguments and its log.
//
// Part of the narrow interface between the program and the operating system
// (see platform_files.h for its conventions).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Process ------------------------------------------------------------------

// The system's description of the error that the last failed operation of
// this thread left (errno, GetLastError), for a person to read: Shift_JIS,
// with '?' for characters it lacks, and the error's number. Call it right
// after the failure, before any other operation.
void OsDescribeLastError(char* text, size_t capacity);

// The kind of the last failure; call it right after the failure.
enum LastErrorKind : int {
    kErrorAbsent = 0,   // the file or a folder of its path does not exist
    kErrorExists = 1,   // something exists already at the name
    kErrorRefused = 2,  // no right to it, a folder where a file is meant, a file another program holds
    kErrorIo = 3,       // anything else: the disk failed, is full or read-only
};
int OsLastErrorKind();

// What the last failure means for the player, as a FailureCause
// (common/failure_note.h): a full disk, a file another program holds, or
// access denied; kCauseUntold for any other. Call it right after the failure.
int OsLastFailureCause();

// Makes the program's own folder the current directory, through the system's
// own form of its path, so that any folder name works. Stores in folder its
// Shift_JIS path ending in '\', or an empty text when that path has a
// character Shift_JIS lacks or does not fit capacity bytes: the program then
// names the files there relative to the current directory. Returns 1, or 0
// when the folder cannot be told or entered.
int OsEnterProgramFolder(char* folder, size_t capacity);

// Makes folder (Shift_JIS) the current directory. Returns 1, or 0 when it
// cannot be entered.
int OsEnterFolder(const char* folder);

// Program ------------------------------------------------------------------

// The program's arguments after its name, as UTF-8 texts, from main's argc
// and argv (Windows passes 0 and nullptr: its command line is read). Returns
// 1, or 0 when the command line cannot be read.
int OsProgramArguments(int argc, char** argv, std::vector<std::string>* arguments);

// The program's name as its usage text gives it ("updater", "updater.exe").
const char* OsProgramName();

// What the usage text adds on this platform, Shift_JIS, ending in a line end.
const char* OsUsageNotes();

// Readies the process for an update: questions answered (unattended: OK, no
// window), where diagnostics and progress go.
void OsPrepareUpdate(int unattended);

// Opens the argument path (UTF-8) to append the run's log to, creating it,
// and makes it the log's sink. Returns 1, or 0.
int OsOpenRunLog(const char* path);

// Closes the run's log, if one is open.
void OsCloseRunLog();

// Enters the folder the argument path (UTF-8) names. Returns 1, or 0.
int OsEnterArgumentFolder(const char* path);

// The argument utf8 (UTF-8) as Shift_JIS. Returns 0 when Shift_JIS lacks one
// of its characters.
int OsArgumentAsText(const char* utf8, std::string* text);

// name (Shift_JIS) as the file system compares names: one key exactly for
// one file (POSIX: native bytes; Windows: UTF-16 in upper case, as UTF-8).
// Returns 0 when name has no file name form.
int OsFileNameKey(const char* name, std::string* key);
