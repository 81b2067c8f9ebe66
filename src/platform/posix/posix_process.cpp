// The process services on POSIX systems: the single-instance guard and the
// program's own folder.
//
// The named mutex is an exclusive, non-blocking lock on a lock file named
// after it, in $XDG_RUNTIME_DIR (else /tmp, with the user id in the name so
// that users stay apart as sessions do on Windows). The lock is held while
// the file stays open and ends with the process. A lock that cannot be taken
// (a folder planted at its path, a runtime folder that refuses files) counts as
// held: the updater never runs unguarded.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "common/failure_note.h"
#include "common/sjis_text.h"
#include "platform/disk_change_hook.h"
#include "platform/platform_journal.h"
#include "platform/platform_process.h"
#include "platform/posix/posix_text.h"

struct PlatformMutex {
    int descriptor;  // the open lock file, locked exclusively
};

namespace {

// The lock file's path for the mutex name. Returns 0 on a bad name.
int InstanceLockPath(const char* name, std::string* path) {
    std::string fileName;
    if (!Cp932ToUtf8(name, &fileName)) return 0;
    for (char& c : fileName) {
        if (c == '/') c = '_';
    }
    const char* runtimeFolder = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeFolder != nullptr && runtimeFolder[0] == '/') {
        *path = std::string(runtimeFolder) + "/" + fileName + ".lock";
    } else {
        *path = "/tmp/" + fileName + "-" + std::to_string(getuid()) + ".lock";
    }
    return 1;
}

}  // namespace

int OsTakeInstanceMutex(const char* name, PlatformMutex** mutex) {
    *mutex = nullptr;
    std::string path;
    if (!InstanceLockPath(name, &path) || !AllowDiskAccess(kAccessLock)) return 0;
    // No symbolic links: in /tmp another user could plant one. A folder or
    // anything else planted at the path is refused too, never passed over.
    const int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (descriptor < 0) return 0;
    struct stat info;
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) || flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(descriptor);
        errno = error;
        return 0;
    }
    *mutex = new (std::nothrow) PlatformMutex{descriptor};
    if (*mutex == nullptr) close(descriptor);
    return *mutex != nullptr;
}

void OsReleaseInstanceMutex(PlatformMutex* mutex) {
    if (mutex == nullptr) return;
    close(mutex->descriptor);
    delete mutex;
}

int OsEnterProgramFolder(char* folder, size_t capacity) {
    char native[4096];
    const ssize_t length = readlink("/proc/self/exe", native, sizeof native - 1);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof native - 1) return 0;
    native[length] = '\0';
    char* lastSlash = std::strrchr(native, '/');
    if (lastSlash == nullptr) return 0;
    lastSlash[1] = '\0';
    if (chdir(native) != 0) return 0;
    std::string text;
    folder[0] = '\0';
    if (capacity == 0 || !Utf8ToCp932(native, &text)) return 1;
    // '/' is never the second byte of a double-byte character.
    for (char& c : text) {
        if (c == '/') c = '\\';
    }
    if (!CopyText(folder, capacity, text.c_str())) folder[0] = '\0';
    return 1;
}

int OsEnterFolder(const char* folder) {
    std::string native;
    return ToNativePath(folder, &native) && chdir(native.c_str()) == 0;
}

int OsLastErrorKind() {
    switch (errno) {
    case ENOENT:
    case ENOTDIR:
        return kErrorAbsent;
    case EEXIST:
    case ENOTEMPTY:
        return kErrorExists;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ETXTBSY:
    case EBUSY:
        return kErrorRefused;
    default:
        return kErrorIo;
    }
}

int OsLastFailureCause() {
    switch (errno) {
    case ENOSPC:
    case EDQUOT:
        return kCauseDiskFull;
    case EBUSY:
    case ETXTBSY:
        return kCauseInUse;
    case EACCES:
    case EPERM:
    case EROFS:
        return kCauseDenied;
    default:
        return kCauseUntold;
    }
}

void OsDescribeLastError(char* text, size_t capacity) {
    const int error = errno;
    std::string message;
    if (!Utf8ToCp932(std::strerror(error), &message)) message = "unknown error";
    FormatText(text, capacity, "%s (errno %d)", message.c_str(), error);
}
