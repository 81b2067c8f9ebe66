// The POSIX layer's open file, shared by the files of this folder that work
// on open descriptors.
#pragma once

#include <string>

struct PlatformFile {
    int descriptor;
};

struct PlatformReplacement;

// OsBeginReplacement for a native path, which need not have a Shift_JIS form
// (the registry file's path comes from the environment).
PlatformReplacement* BeginNativeReplacement(const std::string& target);

// Replaces the file at the native path with content: written whole to a new
// file beside it, synced, swapped in. Returns 1, or 0 with the file as it
// was.
int ReplaceNativeFile(const std::string& native, const std::string& content);
