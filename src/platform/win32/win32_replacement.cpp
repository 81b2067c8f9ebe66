// Replacing files on Windows: the new content goes to a file beside the old
// one, is flushed, and is moved over it with
// MoveFileExW(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH), and its
// folder is flushed. Many files replaced as one are kept beside their
// destinations until all are written, then flushed by a few threads at once,
// then moved. Every wrapper leaves GetLastError as the failing call set it.
#include <windows.h>

#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include "platform/disk_change_hook.h"
#include "platform/platform_files.h"
#include "platform/platform_replacement.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_paths.h"
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

// The path with the suffix, in the extended-length form when it would pass
// MAX_PATH, so that a destination of the longest length a script allows
// still has room for its new file.
int TemporaryPathOf(const std::wstring& target, std::wstring* temporary) {
    std::wstring path = target + kReplacementSuffix;
    if (path.size() < MAX_PATH) {
        *temporary = std::move(path);
        return 1;
    }
    std::wstring full;
    if (!FullWidePath(path, &full)) return 0;
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

// Deletes the new file at temporary, if it is there, keeping the error of
// the failure that led here.
void RemoveTemporary(const std::wstring& temporary) {
    const DWORD error = ::GetLastError();
    if (::GetFileAttributesW(temporary.c_str()) != INVALID_FILE_ATTRIBUTES &&
        AllowDiskChange(kDiskDiscard, PathTarget(temporary.c_str())))
        ::DeleteFileW(temporary.c_str());
    ::SetLastError(error);
}

// Puts the file at temporary in place of target, written through.
int SwapWide(const std::wstring& temporary, const std::wstring& target) {
    return AllowDiskChange(kDiskSwap, PathTarget(temporary.c_str(), target.c_str())) && MoveOver(temporary, target);
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

// Flushes the folder that holds path.
int FlushWideFolderOf(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    return FlushWideFolder(separator == std::wstring::npos ? std::wstring(L".") : path.substr(0, separator));
}

}  // namespace

int FlushWideFolder(const std::wstring& folder) {
    if (!AllowDiskChange(kDiskFlushFolder, PathTarget(folder.c_str()))) return 0;
    const HANDLE handle = ::CreateFileW(folder.c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_ACCESS_DENIED;
    const BOOL flushed = ::FlushFileBuffers(handle);
    const DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    ::SetLastError(error);
    return flushed || error == ERROR_INVALID_FUNCTION || error == ERROR_ACCESS_DENIED;
}

PlatformReplacement* OsBeginReplacement(const char* path) {
    std::wstring target;
    std::wstring temporary;
    if (!Cp932ToWide(path, &target) || !TemporaryPathOf(target, &temporary) ||
        !AllowDiskChange(kDiskCreate, PathTarget(temporary.c_str())))
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
    bool done = AllowDiskChange(kDiskFlushFile, FileTarget(reinterpret_cast<intptr_t>(replacement->file.handle))) &&
                ::FlushFileBuffers(replacement->file.handle) != 0;
    done = ::CloseHandle(replacement->file.handle) != 0 && done;
    done = done && SwapWide(replacement->temporary, replacement->target);
    if (done) {
        done = FlushWideFolderOf(replacement->target);
    } else {
        RemoveTemporary(replacement->temporary);
    }
    delete replacement;
    return done ? 1 : 0;
}

void OsAbandonReplacement(PlatformReplacement* replacement) {
    if (replacement == nullptr) return;
    const DWORD error = ::GetLastError();
    ::CloseHandle(replacement->file.handle);
    RemoveTemporary(replacement->temporary);
    delete replacement;
    ::SetLastError(error);
}

int CommitWideFile(const std::wstring& temporary, const std::wstring& target) {
    const bool done = AllowDiskChange(kDiskFlushFile, PathTarget(temporary.c_str())) && FlushFileAt(temporary) &&
                      SwapWide(temporary, target);
    if (!done) RemoveTemporary(temporary);
    return done && FlushWideFolderOf(target);
}

void OsRemoveReplacementLeftover(const char* path) {
    std::wstring target;
    std::wstring temporary;
    if (Cp932ToWide(path, &target) && TemporaryPathOf(target, &temporary)) RemoveTemporary(temporary);
}

namespace {

// Adds the file at the wide path to group. Returns 1, or 0.
int AddWideToFlushGroup(PlatformFlushGroup* group, const std::wstring& path) {
    group->files.push_back(path);
    return 1;
}

// Windows has no flush of a whole volume that a user may call: each file is
// flushed on its own, by a few threads at once, so that the disk takes the
// flushes together rather than one after another.
constexpr int kFlushThreads = 8;

// The files of a group being flushed, shared by the flushing threads.
struct FlushWork {
    const std::vector<std::wstring>* files;
    volatile LONG next;    // the index of the next file to flush
    volatile LONG failed;  // 1 once a flush failed
    DWORD error;           // the first failure's error
};

DWORD WINAPI FlushFiles(void* parameter) {
    FlushWork* work = static_cast<FlushWork*>(parameter);
    for (;;) {
        const LONG index = ::InterlockedIncrement(&work->next) - 1;
        if (static_cast<size_t>(index) >= work->files->size()) return 0;
        if (!FlushFileAt((*work->files)[static_cast<size_t>(index)])) {
            const DWORD error = ::GetLastError();
            if (::InterlockedExchange(&work->failed, 1) == 0) work->error = error;
        }
    }
}

}  // namespace

namespace {

// Folders are searched for leftovers this deep at most.
constexpr int kLargestFolderDepth = 32;

bool EndsWithSuffix(const wchar_t* name) {
    const size_t length = std::wcslen(name);
    const size_t suffix = sizeof kReplacementSuffix / sizeof kReplacementSuffix[0] - 1;
    return length > suffix && std::wcscmp(name + length - suffix, kReplacementSuffix) == 0;
}

void RemoveStagedBelow(const std::wstring& folder, int depth) {
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (std::wcscmp(found.cFileName, L".") == 0 || std::wcscmp(found.cFileName, L"..") == 0) continue;
        const std::wstring path = folder + L"\\" + found.cFileName;
        // A linked folder may lie outside the game: it is not entered.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            if (depth < kLargestFolderDepth) RemoveStagedBelow(path, depth + 1);
        } else if (EndsWithSuffix(found.cFileName)) {
            RemoveTemporary(path);
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

}  // namespace

void OsRemoveStagedFiles(const char* folder) {
    std::wstring wide;
    if (Cp932ToWide(folder, &wide)) RemoveStagedBelow(wide, 0);
}

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
    for (const std::wstring& file : group->files) {
        if (!AllowDiskChange(kDiskFlushFile, PathTarget(file.c_str()))) return 0;
    }
    FlushWork work{&group->files, 0, 0, ERROR_SUCCESS};
    HANDLE threads[kFlushThreads - 1];
    int started = 0;
    // This thread flushes too; a thread that cannot start leaves its share
    // to the others.
    while (started < kFlushThreads - 1 && static_cast<size_t>(started + 1) < group->files.size()) {
        threads[started] = ::CreateThread(nullptr, 0, FlushFiles, &work, 0, nullptr);
        if (threads[started] == nullptr) break;
        ++started;
    }
    FlushFiles(&work);
    if (started > 0) ::WaitForMultipleObjects(static_cast<DWORD>(started), threads, TRUE, INFINITE);
    for (int i = 0; i < started; ++i) ::CloseHandle(threads[i]);
    if (work.failed == 0) return 1;
    ::SetLastError(work.error);
    return 0;
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
    return SwapWide(temporary, target) ? kSwapDone : kSwapFailed;
}

int OsFlushFolder(const char* folder) {
    std::wstring wide;
    return Cp932ToWide(folder, &wide) && FlushWideFolder(wide);
}

int OsFreeSpace(const char* folder, uint64_t* bytes) {
    std::wstring wide;
    ULARGE_INTEGER available;
    if (!Cp932ToWide(folder, &wide) || !::GetDiskFreeSpaceExW(wide.c_str(), &available, nullptr, nullptr)) return 0;
    *bytes = available.QuadPart;
    return 1;
}
