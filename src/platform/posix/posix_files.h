// The POSIX layer's open file, shared by the files of this folder that work
// on open descriptors.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

struct PlatformFile {
    int descriptor;
};

struct PlatformReplacement;

// OsBeginReplacement for a native path, which need not have a Shift_JIS form
// (the registry file's path comes from the environment).
PlatformReplacement* BeginNativeReplacement(const std::string& target);

// The folder that holds the native path: "." for a bare name, "/" at the root.
std::string NativeFolderOf(const std::string& path);

// Run as root (a package manager's hook, sudo), the program gives a file it
// creates (open as descriptor) to the owner of the folder it lies in, so that
// the game, which runs as that user, can still write it. Nothing otherwise.
void GiveToFolderOwner(int descriptor, const std::string& folder);

// Syncs the native folder, so that the names changed in it survive a power
// cut. File systems that cannot sync a folder count as synced. Returns 1, or 0.
int SyncNativeFolder(const std::string& folder);

// Deletes the file at the native path, a new file nobody needs any more,
// if it is there.
void RemoveNativeLeftover(const std::string& path);

// Writes count bytes into descriptor at offset, or at its current position
// when offset is negative. Returns 1 when all were written.
int WriteAll(int descriptor, const char* bytes, uint64_t count, off_t offset);

// Replaces the file at the native path with content: written whole to a new
// file beside it, synced, swapped in. Returns 1, or 0 with the file as it
// was.
int ReplaceNativeFile(const std::string& native, const std::string& content);
