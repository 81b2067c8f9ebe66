// The POSIX layer's open file, shared by the files of this folder that work
// on open descriptors.
#pragma once

struct PlatformFile {
    int descriptor;
};
