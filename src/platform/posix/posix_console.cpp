// Standard output and standard error, written as UTF-8.
#include <cstdio>
#include <string>

#include "common/text_conversion.h"
#include "platform/platform_dialog.h"
#include "platform/posix/posix_text.h"

namespace {

const std::string kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

void WriteConverted(std::FILE* stream, const char* text) {
    const std::string utf8 = OsTextAsUtf8(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

}  // namespace

int OsTextToUtf8(const char* text, std::string* utf8) {
    return Cp932ToUtf8(text, utf8);
}

std::string OsTextAsUtf8(const char* text) {
    return ConvertReplacingBadCharacters(text, Cp932ToUtf8, kReplacementCharacter);
}

void OsWriteOutput(const char* text) {
    WriteConverted(stdout, text);
}

void OsWriteUtf8Output(const char* utf8) {
    std::fputs(utf8, stdout);
    std::fflush(stdout);
}

void OsWriteUtf8Error(const char* utf8) {
    std::fputs(utf8, stderr);
    std::fflush(stderr);
}

void OsWriteError(const char* text) {
    WriteConverted(stderr, text);
}
