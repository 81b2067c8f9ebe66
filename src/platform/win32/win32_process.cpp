// The process's current directory.
#include <windows.h>

#include <string>

#include "platform/platform.h"

int OsSetCurrentFolder(const char* folder) {
    const int needed = ::MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, folder, -1, nullptr, 0);
    if (needed <= 0) return 0;
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    ::MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, folder, -1, wide.data(), needed);
    return ::SetCurrentDirectoryW(wide.c_str()) ? 1 : 0;
}
