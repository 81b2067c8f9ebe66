#include <cerrno>
#include <cstring>

#include "crash_errors.h"

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
