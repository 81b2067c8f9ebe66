// Replacing files on Windows: the new content goes to a file beside the old
// one, is flushed, and is moved over it with
// MoveFileExW(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH). Many files
// replaced as one are kept beside their destinations until all are written,
// then flushed one after another, then moved. Every wrapper leaves
// GetLastError as the failing call set it.
#include <windows.h>

#include <new>
#include <string>
#include <vector>

#include "platform/disk_change_hook.h"
#include "platform/platform.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_text.h"

struct PlatformReplacement {
    PlatformFile file;       // the new file, open for writing
    std::wstring target;     // the path it replaces
    std::wstring temporary;  // the path of the new file
};

struct PlatformFlushGroup {
    std::vector<std::wstring> files;  // the files written, to flush
};

namespace {

// Appended to the name of the file being replaced. The "é" has no Shift_JIS
// form, so no name of a script can end so.
constexpr wchar_t kReplacementSuffix[] = L".new-\u00E9";

// The path with the suffix, in the extended-length form when it would pass
// MAX_PATH, so that a destination of the longest length a script allows
// still has room for its new file.
int TemporaryPathOf(const std::wstring& target, std::wstring* temporary) {
    std::wstring path = target + kReplacementSuffix;
    if (path.size() < MAX_PATH) {
        *temporary = std::move(path);
        return 1;
    }
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return 0;
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return 0;
    full.resize(length);
    // UNC paths take the \\?\UNC\ form; others \\?\ in front of the drive.
    *temporary = full.compare(0, 2, L"\\\\") == 0 ? L"\\\\?\\UNC" + full.substr(1) : L"\\\\?\\" + full;
    return 1;
}

// Moves temporary over target, written through. MoveFileExW says "access
// denied" also when another program holds target open without sharing its
// deletion, as a running game does: opening it for deletion, as the move
// does, tells that case apart, and its sharing violation then stands as the
// move's error. Returns 1, or 0 with the last error set.
int MoveOver(const std::wstring& temporary, const std::wstring& target) {
    if (::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 1;
    if (::GetLastError() != ERROR_ACCESS_DENIED) return 0;
    const HANDLE probe = ::CreateFileW(target.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const DWORD error = probe == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_ACCESS_DENIED;
    if (probe != INVALID_HANDLE_VALUE) ::CloseHandle(probe);
    ::SetLastError(error == ERROR_SHARING_VIOLATION ? ERROR_SHARING_VIOLATION : ERROR_ACCESS_DENIED);
    return 0;
}

// Deletes the new file, keeping the error of the failure that led here.
void RemoveTemporary(const std::wstring& temporary) {
    const DWORD error = ::GetLastError();
    ::DeleteFileW(temporary.c_str());
    ::SetLastError(error);
}

}  // namespace

PlatformReplacement* OsBeginReplacement(const char* path) {
    std::wstring target;
    std::wstring temporary;
    if (!Cp932ToWide(path, &target) || !TemporaryPathOf(target, &temporary) || !AllowDiskChange(kDiskCreate))
        return nullptr;
    const HANDLE handle = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    PlatformReplacement* replacement =
        new (std::nothrow) PlatformReplacement{{handle}, std::move(target), std::move(temporary)};
    if (replacement == nullptr) {
        ::CloseHandle(handle);
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return replacement;
}

PlatformFile* OsReplacementFile(PlatformReplacement* replacement) {
    return &replacement->file;
}

int OsCommitReplacement(PlatformReplacement* replacement) {
    bool done = AllowDiskChange(kDiskFlush) && ::FlushFileBuffers(replacement->file.handle) != 0;
    done = ::CloseHandle(replacement->file.handle) != 0 && done;
    done = done && AllowDiskChange(kDiskSwap) && MoveOver(replacement->temporary, replacement->target);
    if (!done) RemoveTemporary(replacement->temporary);
    delete replacement;
    return done ? 1 : 0;
}

void OsAbandonReplacement(PlatformReplacement* replacement) {
    if (replacement == nullptr) return;
    const DWORD error = ::GetLastError();
    ::CloseHandle(replacement->file.handle);
    ::DeleteFileW(replacement->temporary.c_str());
    delete replacement;
    ::SetLastError(error);
}

void OsRemoveReplacementLeftover(const char* path) {
    std::wstring target;
    std::wstring temporary;
    if (!Cp932ToWide(path, &target) || !TemporaryPathOf(target, &temporary)) return;
    const DWORD error = ::GetLastError();
    ::DeleteFileW(temporary.c_str());
    ::SetLastError(error);
}

namespace {

// Adds the file at the wide path to group. Returns 1, or 0.
int AddWideToFlushGroup(PlatformFlushGroup* group, const std::wstring& path) {
    group->files.push_back(path);
    return 1;
}

// Flushes the file at path: its cached data belongs to the file, not to the
// handle that wrote it, so a handle opened now flushes all of it.
int FlushFileAt(const std::wstring& path) {
    const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return 0;
    const BOOL flushed = ::FlushFileBuffers(handle);
    const DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    ::SetLastError(error);
    return flushed != 0;
}

}  // namespace

PlatformFlushGroup* OsBeginFlushGroup(const char*) {
    return new PlatformFlushGroup;
}

int OsAddToFlushGroup(PlatformFlushGroup* group, const char* path) {
    std::wstring wide;
    return Cp932ToWide(path, &wide) && AddWideToFlushGroup(group, wide);
}

int OsKeepReplacement(PlatformReplacement* replacement, PlatformFlushGroup* group) {
    bool kept = ::CloseHandle(replacement->file.handle) != 0;
    kept = kept && AddWideToFlushGroup(group, replacement->temporary);
    if (!kept) RemoveTemporary(replacement->temporary);
    delete replacement;
    return kept ? 1 : 0;
}

int OsFlushGroup(PlatformFlushGroup* group) {
    if (!AllowDiskChange(kDiskFlush)) return 0;
    for (const std::wstring& file : group->files) {
        if (!FlushFileAt(file)) return 0;
    }
    return 1;
}

void OsEndFlushGroup(PlatformFlushGroup* group) {
    delete group;
}

int OsSwapInReplacement(const char* path) {
    std::wstring target;
    std::wstring temporary;
    if (!Cp932ToWide(path, &target) || !TemporaryPathOf(target, &temporary)) return kSwapFailed;
    if (::GetFileAttributesW(temporary.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? kNothingStaged : kSwapFailed;
    }
    if (!AllowDiskChange(kDiskSwap)) return kSwapFailed;
    return MoveOver(temporary, target) ? kSwapDone : kSwapFailed;
}

int OsFlushFolder(const char*) {
    // Every move was written through: the folder holds its new names on disk.
    return AllowDiskChange(kDiskFlush);
}

int OsFreeSpace(const char* folder, uint64_t* bytes) {
    std::wstring wide;
    ULARGE_INTEGER available;
    if (!Cp932ToWide(folder, &wide) || !::GetDiskFreeSpaceExW(wide.c_str(), &available, nullptr, nullptr)) return 0;
    *bytes = available.QuadPart;
    return 1;
}
