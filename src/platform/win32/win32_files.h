// The Win32 layer's open file, shared by the files of this folder that work
// on open handles.
#pragma once

#include <windows.h>

struct PlatformFile {
    HANDLE handle;
};
