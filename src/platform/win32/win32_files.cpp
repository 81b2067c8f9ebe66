// Files on Windows, through the W functions.
//
// Paths arrive as Shift_JIS and are converted with code page 932 before the
// call, so a name such as 表示.txt (whose second byte is 0x5C) reaches the
// file system whole. Every wrapper leaves GetLastError as the failing call
// set it.
#include <windows.h>

#include <new>
#include <string>

#include "platform/disk_change_hook.h"
#include "platform/platform.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_text.h"

namespace {

PlatformFile* OpenWithCreateFile(const char* path, DWORD access, DWORD share, DWORD disposition,
                                 DWORD flags) {
    std::wstring wide;
    if (!Cp932ToWide(path, &wide)) return nullptr;
    const HANDLE handle = ::CreateFileW(wide.c_str(), access, share, nullptr, disposition, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    PlatformFile* file = new (std::nothrow) PlatformFile{handle};
    if (file == nullptr) {
        ::CloseHandle(handle);
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return file;
}

}  // namespace

PlatformFile* OsOpenForReading(const char* path) {
    return OpenWithCreateFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL);
}

PlatformFile* OsOpenExistingForWriting(const char* path) {
    return OpenWithCreateFile(path, GENERIC_WRITE, FILE_SHARE_WRITE, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL);
}

int OsFileLength(PlatformFile* file, uint64_t* length) {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file->handle, &size)) return 0;
    *length = static_cast<uint64_t>(size.QuadPart);
    return 1;
}

int OsReadFile(PlatformFile* file, void* buffer, uint32_t count, uint32_t* delivered) {
    // One ReadFile may deliver less than asked (pipes, network shares); go on
    // until the count is complete or the file ends.
    char* position = static_cast<char*>(buffer);
    uint32_t total = 0;
    while (total < count) {
        DWORD got = 0;
        if (!::ReadFile(file->handle, position + total, count - total, &got, nullptr)) return 0;
        if (got == 0) break;
        total += got;
    }
    *delivered = total;
    return 1;
}

int OsReadFileAt(PlatformFile* file, uint64_t offset, void* buffer, uint32_t count, uint32_t* delivered) {
    if (offset > static_cast<uint64_t>(INT64_MAX)) return 0;
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    return ::SetFilePointerEx(file->handle, position, nullptr, FILE_BEGIN) &&
           OsReadFile(file, buffer, count, delivered);
}

int OsWriteFile(PlatformFile* file, const void* buffer, uint32_t count) {
    if (!AllowDiskChange(kDiskWrite)) return 0;
    const char* position = static_cast<const char*>(buffer);
    uint32_t total = 0;
    while (total < count) {
        DWORD put = 0;
        if (!::WriteFile(file->handle, position + total, count - total, &put, nullptr)) return 0;
        if (put == 0) {
            ::SetLastError(ERROR_WRITE_FAULT);
            return 0;
        }
        total += put;
    }
    return 1;
}

int OsWriteFileAt(PlatformFile* file, uint64_t offset, const void* buffer, uint32_t count) {
    if (offset > static_cast<uint64_t>(INT64_MAX)) return 0;
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(file->handle, position, nullptr, FILE_BEGIN)) return 0;
    return OsWriteFile(file, buffer, count);
}

int OsSkipForward(PlatformFile* file, uint32_t count) {
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(count);
    return ::SetFilePointerEx(file->handle, distance, nullptr, FILE_CURRENT) ? 1 : 0;
}

int OsFlushFile(PlatformFile* file) {
    return AllowDiskChange(kDiskFlush) && ::FlushFileBuffers(file->handle);
}

int OsEmptyFile(PlatformFile* file) {
    if (!AllowDiskChange(kDiskWrite)) return 0;
    LARGE_INTEGER start;
    start.QuadPart = 0;
    return ::SetFilePointerEx(file->handle, start, nullptr, FILE_BEGIN) && ::SetEndOfFile(file->handle);
}

void OsCloseFile(PlatformFile* file) {
    if (file == nullptr) return;
    ::CloseHandle(file->handle);
    delete file;
}
