// updpack's entry point on Windows: arguments arrive as UTF-16 (wmain, linked
// with -municode) and are converted with code page 932 whatever the system's
// code page is; output is UTF-8.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/win32_text.h"
#include "updpack.h"

int ToolTextToUtf8(const char* text, std::string* utf8) {
    std::wstring wide;
    return Cp932ToWide(text, &wide) && WideToUtf8(wide.c_str(), utf8);
}

int ToolFileNameKey(const char* name, std::string* key) {
    std::wstring wide;
    return Cp932ToWide(name, &wide) && WideToUpperCase(&wide) && WideToUtf8(wide.c_str(), key);
}

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> texts(static_cast<size_t>(argc));
    std::vector<char*> arguments(static_cast<size_t>(argc) + 1, nullptr);
    for (int i = 0; i < argc; ++i) {
        if (!WideToCp932(argv[i], &texts[i])) {
            std::string utf8;
            WideToUtf8(argv[i], &utf8);
            std::fprintf(stderr, "updpack: \"%s\" cannot be written in Shift_JIS (code page 932)\n", utf8.c_str());
            return 2;
        }
        arguments[i] = texts[i].data();
    }
    return RunUpdpack(argc, arguments.data());
}
