// Trying an update on POSIX systems: temporary folders, hard links, and a
// registry file and Programs folder of the run's own.
#include "platform/posix/posix_trial.h"

#include <fcntl.h>
#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "common/ascii.h"
#include "common/sjis_text.h"
#include "platform/platform_files.h"
#include "platform/platform_trial.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_registry_text.h"
#include "platform/posix/posix_text.h"

namespace {

// A native path as a path of the program: Shift_JIS, '/' kept (it is never
// the second byte of a double-byte character). Returns 1 when it fits.
int ToProgramPath(const char* native, char* path, size_t capacity) {
    std::string cp932;
    return Utf8ToCp932(native, &cp932) && CopyText(path, capacity, cp932.c_str());
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    return std::remove(path);
}

}  // namespace

int OsMakeTemporaryFolder(char* path, size_t capacity) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] == '/' ? base : "/tmp") + "/updpack-try-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return 0;
    if (ToProgramPath(pattern.c_str(), path, capacity)) return 1;
    rmdir(pattern.c_str());
    return 0;
}

int OsRemoveTree(const char* path) {
    std::string native;
    if (!ToNativePath(path, &native)) return 0;
    // Depth first, links as themselves: nothing outside path is followed.
    return nftw(native.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS) == 0 || access(native.c_str(), F_OK) != 0;
}

int OsFullPath(const char* path, char* full, size_t capacity) {
    std::string native;
    char resolved[PATH_MAX];
    return ToNativePath(path, &native) && realpath(native.c_str(), resolved) != nullptr &&
           ToProgramPath(resolved, full, capacity);
}

PlatformFile* OsCreateNewFile(const char* path) {
    std::string native;
    if (!ToNativePath(path, &native)) return nullptr;
    const int descriptor = open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (descriptor < 0) return nullptr;
    PlatformFile* file = new (std::nothrow) PlatformFile{descriptor};
    if (file == nullptr) close(descriptor);
    return file;
}

int OsLinkFile(const char* existingPath, const char* newPath) {
    std::string from;
    std::string to;
    return ToNativePath(existingPath, &from) && ToNativePath(newPath, &to) && link(from.c_str(), to.c_str()) == 0;
}

int OsExpandFileArgument(const char* argument, std::vector<std::string>* paths) {
    paths->assign(1, argument);
    return 1;
}

int OsBeginPrivateRegistry(const char* folder, const char* subkey, const char* installFolder, uint32_t version,
                           uint32_t addContents) {
    std::string native;
    if (!ToNativePath(folder, &native)) return 0;
    native += "/registry.reg";
    std::string text = std::string("REGEDIT4\r\n\r\n[") + kRootPrefix + "\\" + subkey + "]\r\n\"InstallFolder\"=" +
                       RegistryQuoted(installFolder) + "\r\n\"Version\"=hex:";
    for (int i = 0; i < 4; ++i) {
        if (i > 0) text += ',';
        AppendHexByte(&text, static_cast<unsigned char>(version >> (8 * i)));
    }
    char number[16];
    std::snprintf(number, sizeof number, "%08x", addContents);
    text += std::string("\r\n\"AddContents\"=dword:") + number + "\r\n";
    if (!ReplaceNativeFile(native, text)) return 0;
    SetPrivateRegistryFile(native);
    return 1;
}

void OsEndPrivateRegistry() {
    SetPrivateRegistryFile(std::string());
}

void OsUseProgramsFolder(const char* folder) {
    std::string native;
    SetPrivateProgramsFolder(folder != nullptr && ToNativePath(folder, &native) ? native : std::string());
}
