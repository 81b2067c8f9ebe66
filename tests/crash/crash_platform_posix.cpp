// The crash-testing layer's system operations on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "crash_platform.h"

void SetInjectedError(const char* name) {
    if (std::strcmp(name, "ENOSPC") == 0) {
        errno = ENOSPC;
    } else if (std::strcmp(name, "EACCES") == 0) {
        errno = EACCES;
    } else if (std::strcmp(name, "EROFS") == 0) {
        errno = EROFS;
    } else {
        errno = EIO;
    }
}

namespace {

FileKey KeyOf(const struct stat& info) {
    return FileKey{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

std::string DescriptorLink(intptr_t file) {
    return "/proc/self/fd/" + std::to_string(file);
}

}  // namespace

int KeyOfPath(const NativePath& path, FileKey* key) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) return 0;
    *key = KeyOf(info);
    return 1;
}

int KeyOfOpenFile(intptr_t file, FileKey* key) {
    struct stat info;
    if (fstat(static_cast<int>(file), &info) != 0) return 0;
    *key = KeyOf(info);
    return 1;
}

int PathOfOpenFile(intptr_t file, NativePath* path) {
    char target[4096];
    const ssize_t length = readlink(DescriptorLink(file).c_str(), target, sizeof target - 1);
    if (length <= 0) return 0;
    path->assign(target, static_cast<size_t>(length));
    return 1;
}

int ReadFileContent(const NativePath& path, intptr_t openFile, std::string* content) {
    // Through /proc a descriptor open for writing only can still be read.
    const std::string source = openFile >= 0 ? DescriptorLink(openFile) : path;
    const int descriptor = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return 0;
    content->clear();
    char buffer[65536];
    ssize_t got = 0;
    while ((got = read(descriptor, buffer, sizeof buffer)) > 0) content->append(buffer, static_cast<size_t>(got));
    close(descriptor);
    return got == 0;
}

int RewriteFileContent(const NativePath& path, intptr_t openFile, const std::string& content) {
    const std::string target = openFile >= 0 ? DescriptorLink(openFile) : path;
    const int descriptor = open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (descriptor < 0) return 0;
    bool written = ftruncate(descriptor, 0) == 0;
    for (size_t done = 0; written && done < content.size();) {
        const ssize_t put = pwrite(descriptor, content.data() + done, content.size() - done, static_cast<off_t>(done));
        written = put > 0;
        if (written) done += static_cast<size_t>(put);
    }
    close(descriptor);
    return written;
}

int LinkFile(const NativePath& existing, const NativePath& newName) {
    return link(existing.c_str(), newName.c_str()) == 0;
}

int ReadRegistryValue(intptr_t, const NativePath&, RegistryValueBefore*) {
    return 0;
}

void RestoreRegistryValue(const RegistryValueBefore&) {}

NativePath NativeEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string NarrowText(const NativePath& path) {
    return path;
}
