// Test support for the Windows build.
#include "test_support.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/win32/win32_text.h"

namespace {

// msvcrt turns "\n" into "\r\n" on a text-mode stream; the test list that
// ctest reads through Wine must keep plain line ends.
const bool g_binaryOutput = [] {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return true;
}();

}  // namespace

std::filesystem::path NativeTestPath(const char* path) {
    std::wstring wide;
    if (!Cp932ToWide(path, &wide)) return {};
    return std::filesystem::path(wide);
}
