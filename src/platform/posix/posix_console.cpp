// Standard output and standard error, written as UTF-8.
#include <cstdio>
#include <string>

#include "common/sjis_text.h"
#include "platform/platform.h"
#include "platform/posix/posix_text.h"

namespace {

constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// text as UTF-8. When the whole text does not convert, each character is
// converted alone and one that does not becomes U+FFFD, so nothing of the
// rest is lost.
std::string ToUtf8Replacing(const char* text) {
    std::string utf8;
    if (Cp932ToUtf8(text, &utf8)) return utf8;
    utf8.clear();
    size_t i = 0;
    while (text[i] != '\0') {
        const size_t width = SjisCharacterWidth(text + i);
        const char character[3] = {text[i], width == 2 ? text[i + 1] : '\0', '\0'};
        std::string converted;
        utf8 += Cp932ToUtf8(character, &converted) ? converted : kReplacementCharacter;
        i += width;
    }
    return utf8;
}

void WriteConverted(std::FILE* stream, const char* text) {
    const std::string utf8 = ToUtf8Replacing(text);
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
