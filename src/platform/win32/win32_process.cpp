// The process services on Windows: the single-instance mutex and the
// program's own folder, through the W functions.
#include <windows.h>

#include <string>

#include "common/failure_note.h"
#include "common/sjis_text.h"
#include "platform/disk_change_hook.h"
#include "platform/platform_journal.h"
#include "platform/platform_process.h"
#include "platform/win32/win32_paths.h"
#include "platform/win32/win32_text.h"

int OsTakeInstanceMutex(const char* name, PlatformMutex** mutex) {
    *mutex = nullptr;
    std::wstring wideName;
    if (!Cp932ToWide(name, &wideName) || !AllowDiskAccess(kAccessLock)) return 0;
    ::SetLastError(ERROR_SUCCESS);
    HANDLE handle = ::CreateMutexW(nullptr, TRUE, wideName.c_str());
    // A mutex that exists (access is denied to one made by an instance
    // running elevated) or that cannot be made at all: never run unguarded.
    if (handle == nullptr || ::GetLastError() == ERROR_ALREADY_EXISTS) {
        const DWORD error = ::GetLastError();
        if (handle != nullptr) ::CloseHandle(handle);
        ::SetLastError(error);
        return 0;
    }
    *mutex = reinterpret_cast<PlatformMutex*>(handle);
    return 1;
}

void OsReleaseInstanceMutex(PlatformMutex* mutex) {
    if (mutex == nullptr) return;
    HANDLE handle = reinterpret_cast<HANDLE>(mutex);
    ::ReleaseMutex(handle);
    ::CloseHandle(handle);
}

int OsEnterProgramFolder(char* folder, size_t capacity) {
    // The longest path Windows has: 32767 characters and a terminator.
    std::wstring wide(32768, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()));
    if (length == 0 || length >= wide.size()) return 0;
    wide.resize(length);
    const size_t separator = wide.find_last_of(L"\\/");
    if (separator == std::wstring::npos) return 0;
    wide.resize(separator + 1);
    if (!::SetCurrentDirectoryW(wide.c_str())) return 0;
    std::string text;
    if (capacity == 0) return 1;
    folder[0] = '\0';
    if (WideToCp932(wide.c_str(), &text) && !CopyText(folder, capacity, text.c_str())) folder[0] = '\0';
    return 1;
}

int OsEnterFolder(const char* folder) {
    std::wstring wide;
    return Cp932ToWide(folder, &wide) && ::SetCurrentDirectoryW(wide.c_str());
}

int OsLastErrorKind() {
    switch (::GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return kErrorAbsent;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
    case ERROR_DIR_NOT_EMPTY:
        return kErrorExists;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return kErrorRefused;
    default:
        return kErrorIo;
    }
}

int OsLastFailureCause() {
    switch (::GetLastError()) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return kCauseDiskFull;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return kCauseInUse;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return kCauseDenied;
    default:
        return kCauseUntold;
    }
}

void OsDescribeLastError(char* text, size_t capacity) {
    const DWORD error = ::GetLastError();
    wchar_t* message = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::wstring wide = length != 0 ? std::wstring(message, length) : std::wstring(L"unknown error");
    if (message != nullptr) ::LocalFree(message);
    while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' ')) wide.pop_back();
    FormatText(text, capacity, "%s (error %lu)", WideTextForMessage(wide.c_str()).c_str(), error);
    ::SetLastError(error);
}
