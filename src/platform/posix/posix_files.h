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
