// The registry: the current user's keys and values.
//
// Part of the narrow interface between the program and the operating system
// (see platform_files.h for its conventions).
#pragma once

#include <cstddef>
#include <cstdint>

// Registry -----------------------------------------------------------------

// An open key under the current user's root.
struct PlatformRegistryKey;

// Opens the existing key subkey for reading and writing. nullptr when it does
// not exist or cannot be opened so.
PlatformRegistryKey* OsOpenRegistryKey(const char* subkey);

// Reads value name as text into text (capacity bytes), whatever its type.
// Returns 1, or 0 with text as it was when the value is missing or does not
// fit capacity with its zero.
int OsQueryRegistryText(PlatformRegistryKey* key, const char* name, char* text, size_t capacity);

// What OsQueryRegistryFolder found.
enum RegistryFolderResult : int {
    kRegistryFolderMissing = 0,   // no such value, or it does not fit capacity
    kRegistryFolderRead = 1,      // folder holds the path
    kRegistryFolderUnusable = 2,  // a path Shift_JIS cannot hold, which has no short form either
};

// Reads value name as a folder's path, in its short (8.3) form when the path
// has characters Shift_JIS lacks and the volume gives one. Returns a
// RegistryFolderResult; for kRegistryFolderUnusable, folder holds the path
// with '?' for each character Shift_JIS lacks, for a message.
int OsQueryRegistryFolder(PlatformRegistryKey* key, const char* name, char* folder, size_t capacity);

// Reads value name as a 4-byte little-endian number, whatever its type.
// Returns 1, or 0 when the value is missing or is not exactly 4 bytes long.
int OsQueryRegistryNumber(PlatformRegistryKey* key, const char* name, uint32_t* value);

// Sets value name to number as 4 little-endian bytes of the binary type,
// replacing any value of that name, and puts it on disk. Returns 1, or 0.
int OsSetRegistryBinaryNumber(PlatformRegistryKey* key, const char* name, uint32_t number);

// Sets value name to text, a string value, replacing any value of that name,
// and puts it on disk. Returns 1, or 0.
int OsSetRegistryText(PlatformRegistryKey* key, const char* name, const char* text);

// Deletes value name, on disk; a value that is not there counts as deleted.
// Returns 1, or 0.
int OsDeleteRegistryValue(PlatformRegistryKey* key, const char* name);

// Closes the key. key may be nullptr.
void OsCloseRegistryKey(PlatformRegistryKey* key);
