// The process's current directory.
#include <unistd.h>

#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_text.h"

int OsSetCurrentFolder(const char* folder) {
    std::string native;
    if (!ToNativePath(folder, &native)) return 0;
    return chdir(native.c_str()) == 0 ? 1 : 0;
}
