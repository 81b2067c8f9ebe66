#include "platform/posix/posix_text.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "common/sjis_text.h"

namespace {

// True when text is plain ASCII, which reads the same in CP932 and UTF-8.
bool IsAscii(const char* text) {
    for (; *text != '\0'; ++text) {
        if (static_cast<unsigned char>(*text) >= 0x80) return false;
    }
    return true;
}

int Convert(const char* from, const char* to, const char* text, std::string* out) {
    if (IsAscii(text)) {
        *out = text;
        return 1;
    }
    iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) return 0;
    size_t inLeft = std::strlen(text);
    // Three output bytes per input byte cover every CP932 <-> UTF-8 case.
    std::string buffer(inLeft * 3 + 4, '\0');
    char* in = const_cast<char*>(text);
    char* outPos = buffer.data();
    size_t outLeft = buffer.size();
    const size_t result = iconv(converter, &in, &inLeft, &outPos, &outLeft);
    iconv_close(converter);
    if (result == static_cast<size_t>(-1) || inLeft != 0) return 0;
    buffer.resize(buffer.size() - outLeft);
    *out = std::move(buffer);
    return 1;
}

}  // namespace

int Cp932ToUtf8(const char* text, std::string* utf8) {
    return Convert("CP932", "UTF-8", text, utf8);
}

int Utf8ToCp932(const char* text, std::string* cp932) {
    return Convert("UTF-8", "CP932", text, cp932);
}

int ToNativePath(const char* path, std::string* native) {
    if (!Cp932ToUtf8(path, native)) return 0;
    for (char& c : *native) {
        if (c == '\\') c = '/';
    }
    return 1;
}

std::string WithLinuxSeparators(const char* line) {
    std::string shown = line;
    size_t wordStart = 0;
    for (size_t i = 0; i < shown.size(); i += SjisCharacterWidth(shown.c_str() + i)) {
        const char c = shown[i];
        if (c == ' ' || c == '"' || c == '[' || c == '(') {
            wordStart = i + 1;
        } else if (c == '\\' && shown.compare(wordStart, 5, "HKEY_") != 0) {
            shown[i] = '/';
        }
    }
    return shown;
}
