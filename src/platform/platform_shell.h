// Start-menu shell links.
//
// Part of the narrow interface between the program and the operating system
// (see platform_files.h for its conventions).
#pragma once

#include <cstddef>
#include <string>

// Shell --------------------------------------------------------------------

// The current user's Programs folder of the Start menu (on POSIX the desktop
// entries' applications folder, created with its parents when missing).
// Returns 1 with its path, or 0 with path empty when it cannot be found, its
// name does not fit capacity bytes or has characters Shift_JIS lacks.
int OsGetProgramsFolder(char* path, size_t capacity);

// The properties of a shell link. Texts and paths are Shift_JIS.
struct ShellLinkProperties {
    const char* targetPath;     // the file the link starts
    const char* description;    // may be empty
    const char* arguments;      // may be empty
    const char* workingFolder;  // nullptr: none
    const char* iconPath;       // nullptr: none
    int iconIndex;              // icon in iconPath
    int showCommand;            // window of the started program; 1: a normal one
};

// Writes the link linkPath (on Windows a shell link of that whole name; on
// POSIX a desktop entry, .desktop in place of .lnk), replacing one of that
// name. Returns 1, or 0.
int OsWriteShellLink(const char* linkPath, const ShellLinkProperties& link);

// The path of the file OsWriteShellLink writes for linkPath, for the log.
std::string OsShellLinkFile(const char* linkPath);
