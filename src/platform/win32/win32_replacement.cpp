// Replacing a file in one step on Windows: the new content goes to a file
// beside the old one, is flushed, and is moved over it with
// MoveFileExW(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH). Every
// wrapper leaves GetLastError as the failing call set it.
#include <windows.h>

#include <new>
#include <string>

#include "platform/platform.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_text.h"

struct PlatformReplacement {
    PlatformFile file;       // the new file, open for writing
    std::wstring target;     // the path it replaces
    std::wstring temporary;  // the path of the new file
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
    if (!Cp932ToWide(path, &target) || !TemporaryPathOf(target, &temporary)) return nullptr;
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
    bool done = ::FlushFileBuffers(replacement->file.handle) != 0;
    done = ::CloseHandle(replacement->file.handle) != 0 && done;
    done = done && ::MoveFileExW(replacement->temporary.c_str(), replacement->target.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
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
