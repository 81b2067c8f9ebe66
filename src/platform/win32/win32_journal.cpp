// The journal of a folder on Windows: a file in the folder, opened without
// sharing for as long as it is open, so that no other process, of whatever
// session or user, can open it meanwhile. It is deleted through its own
// handle, never reopened, so the lock holds to the end.
#include <windows.h>

#include <new>
#include <string>

#include "platform/disk_change_hook.h"
#include "platform/platform.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_text.h"

namespace {

// The journal's name in its folder. The "é" has no Shift_JIS form, so no
// name of a script can be this one.
constexpr wchar_t kJournalName[] = L"\\Update.journal-\u00E9";

}  // namespace

int OsOpenFolderJournal(const char* folder, PlatformFile** file) {
    *file = nullptr;
    std::wstring path;
    if (!Cp932ToWide(folder, &path)) return kJournalUnusable;
    if (!AllowDiskChange(kDiskCreate)) return kJournalNotCreated;
    path += kJournalName;
    const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return kJournalHeld;
        return kJournalNotCreated;
    }
    *file = new (std::nothrow) PlatformFile{handle};
    if (*file != nullptr) return kJournalOpened;
    ::CloseHandle(handle);
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return kJournalUnusable;
}

int OsRemoveFolderJournal(const char*, PlatformFile* file) {
    FILE_DISPOSITION_INFO disposition;
    disposition.DeleteFile = TRUE;
    const int removed = AllowDiskChange(kDiskDelete) &&
                        ::SetFileInformationByHandle(file->handle, FileDispositionInfo, &disposition,
                                                     sizeof disposition);
    const DWORD error = ::GetLastError();
    OsCloseFile(file);
    ::SetLastError(error);
    return removed;
}
