// Files on POSIX systems.
//
// POSIX has no share modes: a file opened here for reading can still be
// written by another process. The sequential hint is posix_fadvise.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <string>

#include "platform/disk_change_hook.h"
#include "platform/platform_files.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_text.h"

namespace {

PlatformFile* WrapDescriptor(int descriptor) {
    if (descriptor < 0) return nullptr;
    PlatformFile* file = new (std::nothrow) PlatformFile{descriptor};
    if (file == nullptr) close(descriptor);
    return file;
}

// Opens an existing regular file with flags. A folder, a device or a pipe
// is no file of the program's: it is refused, and without blocking, which
// opening a pipe that nobody writes would do.
int OpenRegularFile(const std::string& native, int flags) {
    const int descriptor = open(native.c_str(), flags | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return -1;
    struct stat info;
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) ||
        fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(descriptor);
        errno = EISDIR;
        return -1;
    }
    return descriptor;
}

}  // namespace

int WriteAll(int descriptor, const char* bytes, uint64_t count, off_t offset) {
    while (count > 0) {
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(count, uint64_t{1} << 30));
        const ssize_t put = offset < 0 ? write(descriptor, bytes, piece) : pwrite(descriptor, bytes, piece, offset);
        if (put < 0 && errno == EINTR) continue;
        // A write that takes nothing and reports no error would take
        // nothing again: that is a failure, not a reason to loop.
        if (put <= 0) return 0;
        bytes += put;
        count -= static_cast<uint64_t>(put);
        if (offset >= 0) offset += put;
    }
    return 1;
}

namespace {

// A write of count bytes that the hook allows: all, none (0), or the first
// *allowed, after which it fails as a full disk does.
int WriteAllowed(int descriptor, const void* buffer, uint32_t count, off_t offset) {
    uint64_t allowed = count;
    if (!AllowDiskChange(kDiskWrite, FileTarget(descriptor, &allowed))) return 0;
    const int injected = errno;
    if (!WriteAll(descriptor, static_cast<const char*>(buffer), std::min<uint64_t>(allowed, count), offset)) return 0;
    if (allowed >= count) return 1;
    errno = injected;
    return 0;
}

}  // namespace

PlatformFile* OsOpenForReading(const char* path) {
    std::string native;
    if (!ToNativePath(path, &native)) return nullptr;
    const int descriptor = OpenRegularFile(native, O_RDONLY);
    if (descriptor < 0) return nullptr;
    posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
    return WrapDescriptor(descriptor);
}

PlatformFile* OsOpenExistingForWriting(const char* path) {
    std::string native;
    if (!ToNativePath(path, &native)) return nullptr;
    // Without O_CREAT nothing is created.
    return WrapDescriptor(OpenRegularFile(native, O_WRONLY));
}

int OsFileLength(PlatformFile* file, uint64_t* length) {
    struct stat info;
    if (fstat(file->descriptor, &info) != 0) return 0;
    *length = static_cast<uint64_t>(info.st_size);
    return 1;
}

int OsReadFile(PlatformFile* file, void* buffer, uint32_t count, uint32_t* delivered) {
    if (!AllowDiskAccess(kAccessRead)) return 0;
    char* position = static_cast<char*>(buffer);
    uint32_t total = 0;
    while (total < count) {
        const ssize_t got = read(file->descriptor, position + total, count - total);
        if (got < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
        if (got == 0) break;
        total += static_cast<uint32_t>(got);
    }
    *delivered = total;
    return 1;
}

int OsReadFileAt(PlatformFile* file, uint64_t offset, void* buffer, uint32_t count, uint32_t* delivered) {
    return offset <= static_cast<uint64_t>(INT64_MAX) &&
           lseek(file->descriptor, static_cast<off_t>(offset), SEEK_SET) >= 0 &&
           OsReadFile(file, buffer, count, delivered);
}

int OsWriteFile(PlatformFile* file, const void* buffer, uint32_t count) {
    return WriteAllowed(file->descriptor, buffer, count, -1);
}

int OsWriteFileAt(PlatformFile* file, uint64_t offset, const void* buffer, uint32_t count) {
    if (offset > static_cast<uint64_t>(INT64_MAX) - count) return 0;
    return WriteAllowed(file->descriptor, buffer, count, static_cast<off_t>(offset));
}

int OsSkipForward(PlatformFile* file, uint32_t count) {
    return lseek(file->descriptor, static_cast<off_t>(count), SEEK_CUR) >= 0;
}

int OsFlushFile(PlatformFile* file) {
    if (!AllowDiskChange(kDiskFlushFile, FileTarget(file->descriptor))) return 0;
    while (fdatasync(file->descriptor) != 0) {
        if (errno != EINTR) return 0;
    }
    return 1;
}

int OsCutFile(PlatformFile* file, uint64_t length) {
    if (length > static_cast<uint64_t>(INT64_MAX) || !AllowDiskChange(kDiskWrite, FileTarget(file->descriptor)))
        return 0;
    const off_t end = static_cast<off_t>(length);
    return ftruncate(file->descriptor, end) == 0 && lseek(file->descriptor, end, SEEK_SET) == end;
}

void OsCloseFile(PlatformFile* file) {
    if (file == nullptr) return;
    close(file->descriptor);
    delete file;
}

std::string NativeFolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

void GiveToFolderOwner(int descriptor, const std::string& folder) {
    struct stat owner;
    if (geteuid() != 0 || stat(folder.c_str(), &owner) != 0 || owner.st_uid == 0) return;
    // Failing, the file stays root's; the update itself is not hurt by that.
    [[maybe_unused]] const int given = fchown(descriptor, owner.st_uid, owner.st_gid);
}
