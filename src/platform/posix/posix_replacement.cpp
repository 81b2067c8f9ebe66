// Replacing a file in one step on POSIX systems: the new content goes to a
// file beside the old one, is synced, and is renamed over it; the folder is
// synced after the rename so that the new name survives a power cut.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_text.h"

struct PlatformReplacement {
    PlatformFile file;      // the new file, open for writing
    std::string target;     // the native path it replaces
    std::string temporary;  // the native path of the new file
};

namespace {

// Appended to the native path of the file being replaced. The "é" (UTF-8
// bytes C3 A9) has no Shift_JIS form, so no name of a script can end so.
constexpr char kReplacementSuffix[] = ".new-\xC3\xA9";

int SyncDescriptor(int descriptor) {
    while (fsync(descriptor) != 0) {
        if (errno != EINTR) return 0;
    }
    return 1;
}

// Syncs the folder that holds path, so that a rename in it is on disk. File
// systems that cannot sync a folder say so with EINVAL; that is no failure.
void SyncFolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return;
    SyncDescriptor(descriptor);
    close(descriptor);
}

// Removes the new file, keeping errno as the failure that led here set it.
void RemoveTemporary(const std::string& temporary) {
    const int error = errno;
    unlink(temporary.c_str());
    errno = error;
}

}  // namespace

PlatformReplacement* OsBeginReplacement(const char* path) {
    std::string target;
    if (!ToNativePath(path, &target)) return nullptr;
    return BeginNativeReplacement(target);
}

PlatformReplacement* BeginNativeReplacement(const std::string& target) {
    PlatformReplacement* replacement = new (std::nothrow) PlatformReplacement{{-1}, target, target};
    if (replacement == nullptr) return nullptr;
    replacement->temporary += kReplacementSuffix;
    const int descriptor =
        open(replacement->temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (descriptor < 0) {
        delete replacement;
        return nullptr;
    }
    // The new file keeps the permissions of the one it replaces, such as an
    // executable's.
    struct stat old;
    if (stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) fchmod(descriptor, old.st_mode & 07777);
    replacement->file.descriptor = descriptor;
    return replacement;
}

PlatformFile* OsReplacementFile(PlatformReplacement* replacement) {
    return &replacement->file;
}

int OsCommitReplacement(PlatformReplacement* replacement) {
    bool done = SyncDescriptor(replacement->file.descriptor);
    // close() reports write errors that only show when the data leaves the
    // cache, such as a full disk on a network file system.
    done = close(replacement->file.descriptor) == 0 && done;
    done = done && rename(replacement->temporary.c_str(), replacement->target.c_str()) == 0;
    if (done) {
        SyncFolderOf(replacement->target);
    } else {
        RemoveTemporary(replacement->temporary);
    }
    delete replacement;
    return done ? 1 : 0;
}

void OsAbandonReplacement(PlatformReplacement* replacement) {
    if (replacement == nullptr) return;
    const int error = errno;
    close(replacement->file.descriptor);
    unlink(replacement->temporary.c_str());
    delete replacement;
    errno = error;
}

void OsRemoveReplacementLeftover(const char* path) {
    std::string native;
    if (!ToNativePath(path, &native)) return;
    native += kReplacementSuffix;
    unlink(native.c_str());
}
