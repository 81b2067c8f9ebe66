// The journal of a folder on POSIX systems: a file in the folder, locked with
// flock for as long as it is open. The lock ends with the process, however it
// ends, and any user who can write the folder meets it, whatever their
// environment.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <string>

#include "platform/disk_change_hook.h"
#include "platform/platform_files.h"
#include "platform/platform_journal.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_text.h"

namespace {

// The journal's name in its folder. The "é" (UTF-8 bytes C3 A9) has no
// Shift_JIS form, so no name of a script can be this one.
constexpr char kJournalName[] = "Update.journal-\xC3\xA9";

// An updater that removed its journal may have done so between this one's
// open and its lock: the lock is then on a file nobody else can find, and
// the open is tried again.
constexpr int kLockAttempts = 3;

int JournalPath(const char* folder, std::string* path) {
    if (!ToNativePath(folder, path)) return 0;
    *path += "/";
    *path += kJournalName;
    return 1;
}

// Whether descriptor is still the file that path names.
bool StillNamedBy(int descriptor, const std::string& path) {
    struct stat open;
    struct stat named;
    return fstat(descriptor, &open) == 0 && stat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

// Makes the name of the journal just created at path, open as descriptor,
// survive a power cut. Returns kJournalOpened, or kJournalNotCreated after
// removing it.
int FlushNewJournal(const std::string& path, int descriptor) {
    if (SyncNativeFolder(NativeFolderOf(path))) return kJournalOpened;
    const int error = errno;
    close(descriptor);
    unlink(path.c_str());
    errno = error;
    return kJournalNotCreated;
}

// Opens path, creating it when missing, and refuses anything but a plain
// file of that one name (a folder, a pipe, a device, a link or a hard link
// planted there). Returns a FolderJournalResult; *descriptor is the open file
// for kJournalOpened.
int OpenJournalFile(const std::string& path, int* descriptor) {
    constexpr int kFlags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    *descriptor = open(path.c_str(), kFlags);
    if (*descriptor < 0 && errno == ENOENT) {
        if (!AllowDiskChange(kDiskCreate, PathTarget(path.c_str()))) return kJournalNotCreated;
        *descriptor = open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0644);
        if (*descriptor >= 0) return FlushNewJournal(path, *descriptor);
        // Another updater may have made it meanwhile.
        if (errno == EEXIST) *descriptor = open(path.c_str(), kFlags);
    }
    struct stat info;
    if (*descriptor < 0) {
        const int error = errno;
        if (lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) return kJournalNotAFile;
        errno = error;
        return kJournalNotCreated;
    }
    // A file with other names may lie outside the game: it is never written
    // through this one.
    if (fstat(*descriptor, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink > 1) {
        close(*descriptor);
        return kJournalNotAFile;
    }
    return kJournalOpened;
}

// Opens path as the journal and locks it. Returns a FolderJournalResult;
// *descriptor is the locked file for kJournalOpened.
int OpenAndLock(const std::string& path, int* descriptor) {
    const int result = OpenJournalFile(path, descriptor);
    if (result != kJournalOpened) return result;
    if (!AllowDiskAccess(kAccessLock) || flock(*descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(*descriptor);
        errno = error;
        return error == EWOULDBLOCK ? kJournalHeld : kJournalUnusable;
    }
    fcntl(*descriptor, F_SETFL, fcntl(*descriptor, F_GETFL) & ~O_NONBLOCK);
    return kJournalOpened;
}

}  // namespace

int OsOpenFolderJournal(const char* folder, PlatformFile** file) {
    *file = nullptr;
    std::string path;
    if (!JournalPath(folder, &path)) return kJournalUnusable;
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        int descriptor = -1;
        const int result = OpenAndLock(path, &descriptor);
        if (result != kJournalOpened) return result;
        if (StillNamedBy(descriptor, path)) {
            GiveToFolderOwner(descriptor, NativeFolderOf(path));
            *file = new (std::nothrow) PlatformFile{descriptor};
            if (*file != nullptr) return kJournalOpened;
            close(descriptor);
            errno = ENOMEM;
            return kJournalUnusable;
        }
        close(descriptor);
    }
    errno = EAGAIN;
    return kJournalUnusable;
}

int OsRemoveFolderJournal(const char* folder, PlatformFile* file) {
    std::string path;
    const int removed = JournalPath(folder, &path) && AllowDiskChange(kDiskDelete, PathTarget(path.c_str())) &&
                        unlink(path.c_str()) == 0 && SyncNativeFolder(NativeFolderOf(path));
    const int error = errno;
    OsCloseFile(file);
    errno = error;
    return removed;
}
