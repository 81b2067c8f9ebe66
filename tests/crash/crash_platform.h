// What the crash-testing layer needs of the system, beside std::filesystem:
// the identity of files, their content, hard links, and the last error.
// One implementation for POSIX, one for Windows.
#pragma once

#include <cstdint>
#include <string>

#include "platform/disk_change_hook.h"

using NativePath = std::basic_string<NativePathChar>;

// One file on one volume, whatever its names.
struct FileKey {
    uint64_t volume;
    uint64_t index;
    bool operator==(const FileKey&) const = default;
};

// Sets the last error (errno, GetLastError) to the one named: EIO, ENOSPC,
// EACCES or EROFS; another name sets EIO's.
void SetInjectedError(const char* name);

// The file at path, without following a link. Returns 1, or 0 when nothing
// is there.
int KeyOfPath(const NativePath& path, FileKey* key);

// The open file (a descriptor, a HANDLE) and a name it has now.
int KeyOfOpenFile(intptr_t file, FileKey* key);
int PathOfOpenFile(intptr_t file, NativePath* path);

// The whole content of the file at path, or of the open file when path
// cannot be read (another handle's sharing refuses it). Returns 1, or 0.
int ReadFileContent(const NativePath& path, intptr_t openFile, std::string* content);

// Makes content the whole content of the file at path, the same file
// (through openFile when path cannot be written). Returns 1, or 0.
int RewriteFileContent(const NativePath& path, intptr_t openFile, const std::string& content);

// Gives the file at existing the further name newName. Returns 1, or 0.
int LinkFile(const NativePath& existing, const NativePath& newName);

// A registry value as it was before a change, to put back (Windows).
struct RegistryValueBefore {
    intptr_t key;      // the open key
    NativePath name;   // the value's name
    int existed;       // 0: the value did not exist
    uint32_t type;     // its type
    std::string data;  // its bytes
};
int ReadRegistryValue(intptr_t key, const NativePath& name, RegistryValueBefore* value);
void RestoreRegistryValue(const RegistryValueBefore& value);

// path as UTF-8, for a trace.
std::string NarrowText(const NativePath& path);

// The environment variable name as a native text; empty when unset.
NativePath NativeEnvironment(const char* name);
