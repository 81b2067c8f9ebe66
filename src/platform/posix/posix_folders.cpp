// Folder listings on POSIX systems: readdir, with names converted from UTF-8
// to Shift_JIS.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "common/sjis_text.h"
#include "platform/disk_change_hook.h"
#include "platform/platform_files.h"
#include "platform/posix/posix_text.h"

struct PlatformFolderListing {
    DIR* folder;
};

namespace {

// Whether the entry is a folder; a link counts as what it points to.
bool IsFolderEntry(DIR* folder, const dirent* entry) {
    if (entry->d_type == DT_DIR) return true;
    if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK) return false;
    struct stat info;
    return fstatat(dirfd(folder), entry->d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

PlatformFolderListing* OsOpenFolderListing(const char* folder) {
    std::string native;
    if (!ToNativePath(folder, &native) || !AllowDiskAccess(kAccessList)) return nullptr;
    DIR* opened = opendir(native.c_str());
    if (opened == nullptr) return nullptr;
    PlatformFolderListing* listing = new (std::nothrow) PlatformFolderListing{opened};
    if (listing == nullptr) closedir(opened);
    return listing;
}

int OsNextFolderEntry(PlatformFolderListing* listing, char* name, size_t capacity, int* isFolder) {
    if (!AllowDiskAccess(kAccessList)) return -1;
    for (;;) {
        // readdir tells the end from a failure by errno alone.
        errno = 0;
        const dirent* entry = readdir(listing->folder);
        if (entry == nullptr) return errno == 0 ? 0 : -1;
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        std::string text;
        if (!Utf8ToCp932(entry->d_name, &text) || text.size() >= capacity) continue;
        CopyText(name, capacity, text.c_str());
        *isFolder = IsFolderEntry(listing->folder, entry) ? 1 : 0;
        return 1;
    }
}

void OsCloseFolderListing(PlatformFolderListing* listing) {
    if (listing == nullptr) return;
    closedir(listing->folder);
    delete listing;
}

int OsFolderIsMissing(const char* folder) {
    std::string native;
    struct stat info;
    if (!ToNativePath(folder, &native) || stat(native.c_str(), &info) == 0) return 0;
    return errno == ENOENT || errno == ENOTDIR;
}
