// Test support for the POSIX build: program paths become UTF-8 Linux paths.
#include "test_support.h"

#include "platform/posix/posix_text.h"

std::filesystem::path NativeTestPath(const char* path) {
    std::string native;
    if (!ToNativePath(path, &native)) return {};
    return std::filesystem::path(native);
}
