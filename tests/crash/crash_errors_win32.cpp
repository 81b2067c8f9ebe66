#include <windows.h>

#include <cstring>

#include "crash_errors.h"

void SetInjectedError(const char* name) {
    if (std::strcmp(name, "ENOSPC") == 0) {
        ::SetLastError(ERROR_DISK_FULL);
    } else if (std::strcmp(name, "EACCES") == 0) {
        ::SetLastError(ERROR_ACCESS_DENIED);
    } else if (std::strcmp(name, "EROFS") == 0) {
        ::SetLastError(ERROR_WRITE_PROTECT);
    } else {
        ::SetLastError(ERROR_IO_DEVICE);
    }
}
