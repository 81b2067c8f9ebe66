// The Win32 layer's open file, shared by the files of this folder that work
// on open handles.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct PlatformFile {
    HANDLE handle;
};

// Writes count bytes at output's position. Returns 1 when all were written.
int WriteAll(HANDLE output, const char* bytes, uint64_t count);

// A write of count bytes that the disk-change hook allows: all, none (0),
// or a first part, after which it fails as a full disk does.
int WriteAllowed(HANDLE output, const void* buffer, uint64_t count);

// Flushes a folder's entries (the wide path of the folder) through a handle
// on the folder itself. A folder that the volume or the user's rights give
// no such handle counts as flushed: every move into it was written through.
// Returns 1, or 0.
int FlushWideFolder(const std::wstring& folder);

// Appended to the name of a file being replaced for its new file. The "é"
// has no Shift_JIS form, so no name of a script can end so.
constexpr wchar_t kReplacementSuffix[] = L".new-\u00E9";

// Flushes the complete new file at temporary, puts it in place of target
// (written through) and flushes target's folder. Returns 1, or 0 after
// removing temporary when it could not be put in place.
int CommitWideFile(const std::wstring& temporary, const std::wstring& target);
