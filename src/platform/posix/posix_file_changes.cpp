// File changes on POSIX systems: delete, rename without replacing, folder
// creation, and the byte-range copy that extracts a package member.
//
// The copy runs in the kernel (copy_file_range) and falls back to pread and
// pwrite through one 1 MiB buffer where the kernel refuses, so memory stays
// bounded whatever the size of a member. A copy that is digested goes
// through the digest's own two buffers from the start: each block is read
// once and hashed by another thread while it is written and the next one
// read, which may go on after the copy returns, so that the hashing costs
// the copies little more than a second core.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "platform/disk_change_hook.h"
#include "platform/platform_files.h"
#include "platform/posix/posix_digest.h"
#include "platform/posix/posix_file_changes.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_text.h"

namespace {

constexpr size_t kChunkSize = kDigestBlockSize;
// One copy_file_range call asks for at most this much; the kernel caps a
// single call near 2 GiB anyway.
constexpr uint64_t kKernelStep = uint64_t{1} << 30;

// Errors with which copy_file_range says it cannot copy between these files
// (another file system, an old kernel, a file system without support).
bool KernelRefusedCopy(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// Reads up to count bytes at offset. The bytes read, 0 at the end of the
// file, or -1 when reading failed.
ssize_t ReadAt(int in, char* bytes, size_t count, off_t offset) {
    for (;;) {
        const ssize_t got = pread(in, bytes, count, offset);
        if (got >= 0 || errno != EINTR) return got;
    }
}

// The calling thread's copy buffer of kChunkSize bytes, allocated once: a
// fresh buffer for each file would cost its pages' first touch every time.
// nullptr when it cannot be had.
char* CopyBuffer() {
    thread_local std::unique_ptr<char[]> buffer;
    if (!buffer) buffer.reset(new (std::nothrow) char[kChunkSize]);
    return buffer.get();
}

}  // namespace

int CopyRangeInChunks(int in, off_t inOffset, int out, off_t outOffset, uint64_t count, PlatformDigest* digest) {
    while (count > 0) {
        // A digested copy goes through the digest's own buffers, each block
        // hashed by another thread while it is written and the next one read.
        char* const buffer = digest != nullptr ? NextDigestBlock(digest) : CopyBuffer();
        if (buffer == nullptr) {
            errno = ENOMEM;
            return 0;
        }
        const ssize_t got = ReadAt(in, buffer, static_cast<size_t>(std::min<uint64_t>(count, kChunkSize)),
                                   inOffset);
        if (got <= 0) return 0;
        if (digest != nullptr) HashInBackground(digest, static_cast<size_t>(got));
        if (!WriteAll(out, buffer, static_cast<uint64_t>(got), outOffset)) return 0;
        inOffset += got;
        outOffset += got;
        count -= static_cast<uint64_t>(got);
    }
    return 1;
}

namespace {

// Copies count bytes from in at inOffset to out at outOffset in the kernel,
// without moving either file position. Returns 1, or 0 when a read or write
// failed or in ended early.
int CopyInKernel(int in, off_t inOffset, int out, off_t outOffset, uint64_t count) {
    while (count > 0) {
        const ssize_t copied =
            copy_file_range(in, &inOffset, out, &outOffset, static_cast<size_t>(std::min(count, kKernelStep)), 0);
        if (copied > 0) {
            count -= static_cast<uint64_t>(copied);
            continue;
        }
        if (copied < 0 && errno == EINTR) continue;
        if (copied < 0 && !KernelRefusedCopy(errno)) return 0;
        // Refused, or nothing copied (the source ended, or a file system that
        // copies nothing this way): the portable path copies the rest or
        // finds the end of the source.
        return CopyRangeInChunks(in, inOffset, out, outOffset, count, nullptr);
    }
    return 1;
}

}  // namespace

int RenameWithoutReplaceFlag(const char* from, const char* to) {
    struct stat info;
    if (lstat(from, &info) != 0) return 0;
    if (!S_ISDIR(info.st_mode)) {
        // link() fails when to exists, so nothing can be replaced.
        if (link(from, to) == 0) {
            if (unlink(from) == 0) return 1;
            unlink(to);
            return 0;
        }
        if (errno != EPERM && errno != EOPNOTSUPP) return 0;
    }
    // Folders cannot be hard-linked. rename() can only replace an empty folder
    // here (a file or a full folder at to makes it fail), and only one created
    // between this check and the rename.
    if (lstat(to, &info) == 0 || errno != ENOENT) return 0;
    return rename(from, to) == 0;
}

int OsDeleteFile(const char* path) {
    std::string native;
    if (!ToNativePath(path, &native) || !AllowDiskChange(kDiskDelete, PathTarget(native.c_str()))) return 0;
    return unlink(native.c_str()) == 0;
}

int OsRenameNoReplace(const char* oldPath, const char* newPath) {
    std::string from;
    std::string to;
    if (!ToNativePath(oldPath, &from) || !ToNativePath(newPath, &to) ||
        !AllowDiskChange(kDiskRename, PathTarget(from.c_str(), to.c_str())))
        return 0;
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 1;
    if (errno != EINVAL && errno != ENOSYS) return 0;
    return RenameWithoutReplaceFlag(from.c_str(), to.c_str());
}

int OsCreateFolder(const char* path) {
    std::string native;
    if (!ToNativePath(path, &native) || !AllowDiskChange(kDiskFolder, PathTarget(native.c_str()))) return 0;
    if (mkdir(native.c_str(), 0755) != 0) return 0;
    const int folder = open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        GiveToFolderOwner(folder, NativeFolderOf(native));
        close(folder);
    }
    return 1;
}

int OsFileStamp(const char* path, uint64_t* size, uint64_t* written) {
    std::string native;
    struct stat info;
    if (!ToNativePath(path, &native) || stat(native.c_str(), &info) != 0) return 0;
    *size = static_cast<uint64_t>(info.st_size);
    *written = static_cast<uint64_t>(info.st_mtim.tv_sec) * 1000000000u + static_cast<uint64_t>(info.st_mtim.tv_nsec);
    return 1;
}

int OsIsFolder(const char* path) {
    std::string native;
    struct stat info;
    return ToNativePath(path, &native) && stat(native.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int OsHasOtherNames(const char* path) {
    std::string native;
    struct stat info;
    if (!ToNativePath(path, &native) || lstat(native.c_str(), &info) != 0) return 0;
    return S_ISLNK(info.st_mode) || (S_ISREG(info.st_mode) && info.st_nlink > 1);
}

int OsIsSameFile(PlatformFile* file, const char* path) {
    std::string native;
    if (!ToNativePath(path, &native)) return 0;
    struct stat named;
    struct stat open;
    if (stat(native.c_str(), &named) != 0 || fstat(file->descriptor, &open) != 0) return 0;
    return named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

int OsCopyFileRange(PlatformFile* source, uint64_t offset, uint64_t count, PlatformFile* destination,
                    PlatformDigest* digest) {
    const off_t start = lseek(destination->descriptor, 0, SEEK_CUR);
    constexpr uint64_t kLargestOffset = static_cast<uint64_t>(INT64_MAX);
    if (start < 0 || count > kLargestOffset - static_cast<uint64_t>(start) || offset > kLargestOffset - count)
        return 0;
    uint64_t allowed = count;
    if (!AllowDiskAccess(kAccessRead) || !AllowDiskChange(kDiskWrite, FileTarget(destination->descriptor, &allowed)))
        return 0;
    const int injected = errno;
    const uint64_t length = std::min(allowed, count);
    const off_t in = static_cast<off_t>(offset);
    const int copied = digest != nullptr
                           ? CopyRangeInChunks(source->descriptor, in, destination->descriptor, start, length, digest)
                           : CopyInKernel(source->descriptor, in, destination->descriptor, start, length);
    if (!copied) return 0;
    // Start writing the copied range to disk now, so that the flush that
    // makes a new file durable finds most of it written.
    const off_t end = start + static_cast<off_t>(length);
    sync_file_range(destination->descriptor, start, end - start, SYNC_FILE_RANGE_WRITE);
    if (lseek(destination->descriptor, end, SEEK_SET) < 0) return 0;
    if (allowed >= count) return 1;
    errno = injected;
    return 0;
}
