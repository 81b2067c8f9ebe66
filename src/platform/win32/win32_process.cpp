// The process's current directory.
#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/win32_text.h"

int OsSetCurrentFolder(const char* folder) {
    std::wstring wide;
    if (!Cp932ToWide(folder, &wide)) return 0;
    return ::SetCurrentDirectoryW(wide.c_str()) ? 1 : 0;
}
