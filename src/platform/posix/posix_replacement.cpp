// Replacing files on POSIX systems: the new content goes to a file beside the
// old one, is synced, and is renamed over it; the folder is synced after the
// rename so that the new name survives a power cut. Many files replaced as
// one are kept beside their destinations until one syncfs per volume has put
// them all on disk, then renamed, then each folder synced once.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/disk_change_hook.h"
#include "platform/platform_files.h"
#include "platform/platform_replacement.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_text.h"

struct PlatformReplacement {
    PlatformFile file;      // the new file, open for writing
    std::string target;     // the native path it replaces
    std::string temporary;  // the native path of the new file
};

struct PlatformFlushGroup {
    std::vector<int> volumes;     // one open descriptor on each volume written to
    std::vector<dev_t> devices;   // the volume of each descriptor
};

namespace {

// Appended to the native path of the file being replaced. The "é" (UTF-8
// bytes C3 A9) has no Shift_JIS form, so no name of a script can end so.
constexpr char kReplacementSuffix[] = ".new-\xC3\xA9";

// Folders are searched for leftovers this deep at most: a game's tree is far
// shallower, and a loop of bind mounts must not run on.
constexpr int kLargestFolderDepth = 32;

int SyncDescriptor(int descriptor) {
    while (fsync(descriptor) != 0) {
        if (errno != EINTR) return 0;
    }
    return 1;
}

}  // namespace

int SyncNativeFolder(const std::string& folder) {
    if (!AllowDiskChange(kDiskFlushFolder, PathTarget(folder.c_str()))) return 0;
    const int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return 0;
    const int synced = SyncDescriptor(descriptor) || errno == EINVAL;
    close(descriptor);
    return synced;
}

void RemoveNativeLeftover(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) == 0 && AllowDiskChange(kDiskDiscard, PathTarget(path.c_str())))
        unlink(path.c_str());
}

namespace {

// Puts the file at temporary in place of target. Returns 1, or 0.
int SwapNative(const std::string& temporary, const std::string& target) {
    return AllowDiskChange(kDiskSwap, PathTarget(temporary.c_str(), target.c_str())) &&
           rename(temporary.c_str(), target.c_str()) == 0;
}

// Removes the new file, keeping errno as the failure that led here set it.
void RemoveTemporary(const std::string& temporary) {
    const int error = errno;
    RemoveNativeLeftover(temporary);
    errno = error;
}

// Adds the volume of the open descriptor to group, keeping descriptor when
// the volume is new there and closing it otherwise. Returns 1, or 0.
int AddVolume(PlatformFlushGroup* group, int descriptor) {
    struct stat info;
    if (fstat(descriptor, &info) != 0) {
        close(descriptor);
        return 0;
    }
    for (const dev_t device : group->devices) {
        if (device == info.st_dev) {
            close(descriptor);
            return 1;
        }
    }
    group->volumes.push_back(descriptor);
    group->devices.push_back(info.st_dev);
    return 1;
}

int AddNativeToFlushGroup(PlatformFlushGroup* group, const std::string& native) {
    const int descriptor = open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    return descriptor >= 0 && AddVolume(group, descriptor);
}

}  // namespace

PlatformReplacement* OsBeginReplacement(const char* path) {
    std::string target;
    if (!ToNativePath(path, &target)) return nullptr;
    return BeginNativeReplacement(target);
}

PlatformReplacement* BeginNativeReplacement(const std::string& target) {
    const std::string temporary = target + kReplacementSuffix;
    if (!AllowDiskChange(kDiskCreate, PathTarget(temporary.c_str()))) return nullptr;
    PlatformReplacement* replacement = new PlatformReplacement{{-1}, target, temporary};
    const int descriptor =
        open(replacement->temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (descriptor < 0) {
        delete replacement;
        return nullptr;
    }
    // The new file keeps the permissions of the one it replaces, such as an
    // executable's, and its owner.
    struct stat old;
    if (stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        if (geteuid() == 0) {
            // Failing, the file stays root's, as it would have been anyway.
            [[maybe_unused]] const int given = fchown(descriptor, old.st_uid, old.st_gid);
        }
        fchmod(descriptor, old.st_mode & 07777);
    } else {
        GiveToFolderOwner(descriptor, NativeFolderOf(target));
    }
    replacement->file.descriptor = descriptor;
    return replacement;
}

int ReplaceNativeFile(const std::string& native, const std::string& content) {
    PlatformReplacement* replacement = BeginNativeReplacement(native);
    if (replacement == nullptr) return 0;
    for (size_t written = 0; written < content.size();) {
        const uint32_t piece = static_cast<uint32_t>(std::min<size_t>(content.size() - written, size_t{1} << 20));
        if (!OsWriteFile(&replacement->file, content.data() + written, piece)) {
            OsAbandonReplacement(replacement);
            return 0;
        }
        written += piece;
    }
    return OsCommitReplacement(replacement);
}

PlatformFile* OsReplacementFile(PlatformReplacement* replacement) {
    return &replacement->file;
}

int OsCommitReplacement(PlatformReplacement* replacement) {
    bool done = AllowDiskChange(kDiskFlushFile, FileTarget(replacement->file.descriptor)) &&
                SyncDescriptor(replacement->file.descriptor);
    // close() reports write errors that only show when the data leaves the
    // cache, such as a full disk on a network file system.
    done = close(replacement->file.descriptor) == 0 && done;
    done = done && SwapNative(replacement->temporary, replacement->target);
    if (done) {
        done = SyncNativeFolder(NativeFolderOf(replacement->target));
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
    RemoveNativeLeftover(replacement->temporary);
    delete replacement;
    errno = error;
}

void OsRemoveReplacementLeftover(const char* path) {
    std::string native;
    if (!ToNativePath(path, &native)) return;
    RemoveNativeLeftover(native + kReplacementSuffix);
}

namespace {

bool EndsWithSuffix(const char* name) {
    const size_t length = std::strlen(name);
    const size_t suffix = sizeof kReplacementSuffix - 1;
    return length > suffix && std::memcmp(name + length - suffix, kReplacementSuffix, suffix) == 0;
}

void RemoveStagedBelow(const std::string& folder, int depth) {
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr) return;
    while (const dirent* entry = readdir(listing)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        const std::string path = folder + "/" + entry->d_name;
        struct stat info;
        if (lstat(path.c_str(), &info) != 0) continue;
        if (S_ISDIR(info.st_mode) && depth < kLargestFolderDepth) {
            RemoveStagedBelow(path, depth + 1);
        } else if (S_ISREG(info.st_mode) && EndsWithSuffix(entry->d_name)) {
            RemoveNativeLeftover(path);
        }
    }
    closedir(listing);
}

}  // namespace

void OsRemoveStagedFiles(const char* folder) {
    std::string native;
    if (ToNativePath(folder, &native)) RemoveStagedBelow(native, 0);
}

PlatformFlushGroup* OsBeginFlushGroup(const char* folder) {
    std::string native;
    if (!ToNativePath(folder, &native)) return nullptr;
    PlatformFlushGroup* group = new PlatformFlushGroup;
    const int descriptor = open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0 || !AddVolume(group, descriptor)) {
        OsEndFlushGroup(group);
        return nullptr;
    }
    return group;
}

int OsAddToFlushGroup(PlatformFlushGroup* group, const char* path) {
    std::string native;
    return ToNativePath(path, &native) && AddNativeToFlushGroup(group, native);
}

int OsKeepReplacement(PlatformReplacement* replacement, PlatformFlushGroup* group) {
    bool kept = close(replacement->file.descriptor) == 0;
    kept = kept && AddNativeToFlushGroup(group, replacement->temporary);
    if (!kept) RemoveTemporary(replacement->temporary);
    delete replacement;
    return kept ? 1 : 0;
}

int OsFlushGroup(PlatformFlushGroup* group) {
    if (!AllowDiskChange(kDiskFlushVolume, PathTarget(nullptr))) return 0;
    // syncfs reports the write-back failures of its volume since the
    // descriptor was opened, which was before the group's files were written.
    for (const int volume : group->volumes) {
        if (syncfs(volume) != 0) return 0;
    }
    return 1;
}

void OsEndFlushGroup(PlatformFlushGroup* group) {
    if (group == nullptr) return;
    const int error = errno;
    for (const int volume : group->volumes) close(volume);
    delete group;
    errno = error;
}

int OsSwapInReplacement(const char* path) {
    std::string target;
    if (!ToNativePath(path, &target)) return kSwapFailed;
    const std::string temporary = target + kReplacementSuffix;
    struct stat info;
    if (lstat(temporary.c_str(), &info) != 0) return errno == ENOENT ? kNothingStaged : kSwapFailed;
    return SwapNative(temporary, target) ? kSwapDone : kSwapFailed;
}

int OsFlushFolder(const char* folder) {
    std::string native;
    return ToNativePath(folder, &native) && SyncNativeFolder(native);
}

int OsFreeSpace(const char* folder, uint64_t* bytes) {
    std::string native;
    struct statvfs volume;
    if (!ToNativePath(folder, &native) || statvfs(native.c_str(), &volume) != 0) return 0;
    *bytes = static_cast<uint64_t>(volume.f_bavail) * volume.f_frsize;
    return 1;
}
