// File changes on Windows: delete, rename without replacing, folder
// creation, and the byte-range copy that extracts a package member.
//
// MoveFileW never replaces an existing file or folder, which is what a rename
// of the update needs. The copy goes through one 1 MiB buffer, so memory stays
// bounded whatever the size of a member, also in a 32-bit process; a digested
// copy goes through the digest's own two, each block hashed by another
// thread while it is written, which may go on after the copy returns. Every wrapper
// leaves GetLastError as the failing call set it.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "platform/disk_change_hook.h"
#include "platform/platform_files.h"
#include "platform/win32/win32_digest.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_text.h"

namespace {

constexpr DWORD kChunkSize = kDigestBlockSize;

// The calling thread's copy buffer of kChunkSize bytes, allocated once: a
// fresh buffer for each file would cost its pages' first touch every time.
// nullptr, with the last error set, when it cannot be had.
char* CopyBuffer() {
    thread_local std::unique_ptr<char[]> buffer;
    if (!buffer) buffer.reset(new (std::nothrow) char[kChunkSize]);
    if (!buffer) ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return buffer.get();
}

// Copies count bytes from source's position to destination's; unless digest
// is nullptr, through the digest's own buffers, each block hashed by another
// thread while it is written and the next one read.
int CopyInChunks(HANDLE source, HANDLE destination, uint64_t count, PlatformDigest* digest) {
    while (count > 0) {
        char* const buffer = digest != nullptr ? NextDigestBlock(digest) : CopyBuffer();
        if (buffer == nullptr) return 0;
        const DWORD wanted = static_cast<DWORD>(std::min<uint64_t>(count, kChunkSize));
        DWORD got = 0;
        if (!::ReadFile(source, buffer, wanted, &got, nullptr)) return 0;
        if (got == 0) {
            ::SetLastError(ERROR_HANDLE_EOF);
            return 0;
        }
        if (digest != nullptr) HashInBackground(digest, got);
        if (!WriteAll(destination, buffer, got)) return 0;
        count -= got;
    }
    return 1;
}

}  // namespace

int OsDeleteFile(const char* path) {
    std::wstring wide;
    return Cp932ToWide(path, &wide) && AllowDiskChange(kDiskDelete, PathTarget(wide.c_str())) &&
           ::DeleteFileW(wide.c_str());
}

int OsRenameNoReplace(const char* oldPath, const char* newPath) {
    std::wstring from;
    std::wstring to;
    return Cp932ToWide(oldPath, &from) && Cp932ToWide(newPath, &to) &&
           AllowDiskChange(kDiskRename, PathTarget(from.c_str(), to.c_str())) &&
           ::MoveFileW(from.c_str(), to.c_str());
}

int OsCreateFolder(const char* path) {
    std::wstring wide;
    return Cp932ToWide(path, &wide) && AllowDiskChange(kDiskFolder, PathTarget(wide.c_str())) &&
           ::CreateDirectoryW(wide.c_str(), nullptr);
}

int OsFileStamp(const char* path, uint64_t* size, uint64_t* written) {
    std::wstring wide;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!Cp932ToWide(path, &wide) || !::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return 0;
    *size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    *written = (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
    return 1;
}

int OsIsFolder(const char* path) {
    std::wstring wide;
    if (!Cp932ToWide(path, &wide)) return 0;
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int OsHasOtherNames(const char* path) {
    std::wstring wide;
    if (!Cp932ToWide(path, &wide)) return 0;
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return 0;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return 1;
    const HANDLE file = ::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION info;
    const bool shared = ::GetFileInformationByHandle(file, &info) && info.nNumberOfLinks > 1;
    ::CloseHandle(file);
    return shared;
}

int OsIsSameFile(PlatformFile* file, const char* path) {
    std::wstring wide;
    if (!Cp932ToWide(path, &wide)) return 0;
    // Reading attributes only is not refused by the share modes of handles
    // that are already open, such as the one in file.
    const HANDLE named = ::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (named == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION namedInfo;
    BY_HANDLE_FILE_INFORMATION openInfo;
    const bool same = ::GetFileInformationByHandle(named, &namedInfo) &&
                      ::GetFileInformationByHandle(file->handle, &openInfo) &&
                      namedInfo.dwVolumeSerialNumber == openInfo.dwVolumeSerialNumber &&
                      namedInfo.nFileIndexHigh == openInfo.nFileIndexHigh &&
                      namedInfo.nFileIndexLow == openInfo.nFileIndexLow;
    ::CloseHandle(named);
    return same;
}

int OsCopyFileRange(PlatformFile* source, uint64_t offset, uint64_t count, PlatformFile* destination,
                    PlatformDigest* digest) {
    if (offset > static_cast<uint64_t>(INT64_MAX)) return 0;
    uint64_t allowed = count;
    if (!AllowDiskAccess(kAccessRead) ||
        !AllowDiskChange(kDiskWrite, FileTarget(reinterpret_cast<intptr_t>(destination->handle), &allowed)))
        return 0;
    const DWORD injected = ::GetLastError();
    LARGE_INTEGER start;
    start.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(source->handle, start, nullptr, FILE_BEGIN) ||
        !CopyInChunks(source->handle, destination->handle, std::min(allowed, count), digest))
        return 0;
    if (allowed >= count) return 1;
    ::SetLastError(injected);
    return 0;
}
