// The journal of a folder on Windows: a file in the folder, opened without
// sharing for as long as it is open, so that no other process, of whatever
// session or user, can open it meanwhile. It is deleted through its own
// handle, never reopened, so the lock holds to the end.
#include <windows.h>

#include <new>
#include <string>

#include "platform/disk_change_hook.h"
#include "platform/platform_files.h"
#include "platform/platform_journal.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_text.h"

namespace {

// The journal's name in its folder. The "é" has no Shift_JIS form, so no
// name of a script can be this one.
constexpr wchar_t kJournalName[] = L"\\Update.journal-\u00E9";

// Deletes the journal open as handle through the handle itself, never
// reopening it, and closes it. Returns 1, or 0 when it could not be deleted
// (it is closed either way).
int RemoveJournal(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition;
    disposition.DeleteFile = TRUE;
    const BOOL removed = ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
    const DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    ::SetLastError(error);
    return removed != 0;
}

}  // namespace

int OsOpenFolderJournal(const char* folder, PlatformFile** file) {
    *file = nullptr;
    std::wstring folderPath;
    if (!Cp932ToWide(folder, &folderPath)) return kJournalUnusable;
    const std::wstring path = folderPath + kJournalName;
    if (!AllowDiskAccess(kAccessLock)) return kJournalUnusable;
    constexpr DWORD kAccess = GENERIC_READ | GENERIC_WRITE | DELETE;
    HANDLE handle = ::CreateFileW(path.c_str(), kAccess, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_NOT_FOUND) {
        if (!AllowDiskChange(kDiskCreate, PathTarget(path.c_str()))) return kJournalNotCreated;
        handle = ::CreateFileW(path.c_str(), kAccess, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        // A new journal's name must survive a power cut before it records anything.
        if (handle != INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_ALREADY_EXISTS &&
            !FlushWideFolder(folderPath)) {
            const DWORD error = ::GetLastError();
            RemoveJournal(handle);
            ::SetLastError(error);
            return kJournalNotCreated;
        }
    }
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return kJournalHeld;
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        ::SetLastError(error);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return kJournalNotAFile;
        }
        return kJournalNotCreated;
    }
    // A file with other names may lie outside the game: it is never written
    // through this one.
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle, &info) || info.nNumberOfLinks > 1) {
        ::CloseHandle(handle);
        ::SetLastError(ERROR_TOO_MANY_LINKS);
        return kJournalNotAFile;
    }
    *file = new (std::nothrow) PlatformFile{handle};
    if (*file != nullptr) return kJournalOpened;
    ::CloseHandle(handle);
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return kJournalUnusable;
}

int OsRemoveFolderJournal(const char* folder, PlatformFile* file) {
    std::wstring folderPath;
    const int known = Cp932ToWide(folder, &folderPath);
    const std::wstring path = folderPath + kJournalName;
    int removed = known && AllowDiskChange(kDiskDelete, PathTarget(path.c_str())) && RemoveJournal(file->handle);
    delete file;
    // The name is gone once the handle is closed; then its folder is flushed.
    removed = removed && FlushWideFolder(folderPath);
    return removed;
}
