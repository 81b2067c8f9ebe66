// updpack's entry point on Linux: arguments and output are UTF-8.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/posix/posix_text.h"
#include "updpack.h"

int ToolTextToUtf8(const char* text, std::string* utf8) {
    return Cp932ToUtf8(text, utf8);
}

int ToolFileNameKey(const char* name, std::string* key) {
    return ToNativePath(name, key);
}

int main(int argc, char** argv) {
    std::vector<std::string> texts(static_cast<size_t>(argc));
    std::vector<char*> arguments(static_cast<size_t>(argc) + 1, nullptr);
    for (int i = 0; i < argc; ++i) {
        if (!Utf8ToCp932(argv[i], &texts[i])) {
            std::fprintf(stderr, "updpack: \"%s\" cannot be written in Shift_JIS (code page 932)\n", argv[i]);
            return 2;
        }
        arguments[i] = texts[i].data();
    }
    return RunUpdpack(argc, arguments.data());
}
