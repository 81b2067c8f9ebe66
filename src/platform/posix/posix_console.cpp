// Standard output and standard error, written as UTF-8.
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_text.h"

namespace {

void WriteConverted(std::FILE* stream, const char* text) {
    const std::string utf8 = Cp932ToUtf8Replacing(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

}  // namespace

void OsWriteOutput(const char* text) {
    WriteConverted(stdout, text);
}

void OsWriteError(const char* text) {
    WriteConverted(stderr, text);
}
