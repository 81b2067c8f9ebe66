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
#include "platform/platform_files.h"
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
    if (!AllowDiskAccess(kAccessRead)) return 0;
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

int WriteAll(HANDLE output, const char* bytes, uint64_t count) {
    while (count > 0) {
        DWORD put = 0;
        const DWORD piece = static_cast<DWORD>(count < (DWORD{1} << 30) ? count : (DWORD{1} << 30));
        if (!::WriteFile(output, bytes, piece, &put, nullptr)) return 0;
        if (put == 0) {
            ::SetLastError(ERROR_WRITE_FAULT);
            return 0;
        }
        bytes += put;
        count -= put;
    }
    return 1;
}

int WriteAllowed(HANDLE output, const void* buffer, uint64_t count) {
    uint64_t allowed = count;
    if (!AllowDiskChange(kDiskWrite, FileTarget(reinterpret_cast<intptr_t>(output), &allowed))) return 0;
    const DWORD injected = ::GetLastError();
    if (!WriteAll(output, static_cast<const char*>(buffer), allowed < count ? allowed : count)) return 0;
    if (allowed >= count) return 1;
    ::SetLastError(injected);
    return 0;
}

int OsWriteFile(PlatformFile* file, const void* buffer, uint32_t count) {
    return WriteAllowed(file->handle, buffer, count);
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
    return AllowDiskChange(kDiskFlushFile, FileTarget(reinterpret_cast<intptr_t>(file->handle))) &&
           ::FlushFileBuffers(file->handle);
}

int OsCutFile(PlatformFile* file, uint64_t length) {
    if (length > static_cast<uint64_t>(INT64_MAX) ||
        !AllowDiskChange(kDiskWrite, FileTarget(reinterpret_cast<intptr_t>(file->handle))))
        return 0;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(length);
    return ::SetFilePointerEx(file->handle, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file->handle);
}

void OsCloseFile(PlatformFile* file) {
    if (file == nullptr) return;
    ::CloseHandle(file->handle);
    delete file;
}
