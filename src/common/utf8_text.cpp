#include "common/utf8_text.h"

#include <algorithm>
#include <cstdint>

namespace {

// Length of the UTF-8 sequence at text[i] (of length bytes) that encodes one
// character of two bytes or more, or 0 when there is none.
size_t Utf8SequenceAt(const unsigned char* text, size_t length, size_t i) {
    const unsigned char first = text[i];
    size_t width = 0;
    uint32_t lowest = 0;
    if (first >= 0xC2 && first <= 0xDF) {
        width = 2;
        lowest = 0x80;
    } else if (first >= 0xE0 && first <= 0xEF) {
        width = 3;
        lowest = 0x800;
    } else if (first >= 0xF0 && first <= 0xF4) {
        width = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (i + width > length) return 0;
    uint32_t code = first & (0x7F >> width);
    for (size_t k = 1; k < width; ++k) {
        if ((text[i + k] & 0xC0) != 0x80) return 0;
        code = code << 6 | (text[i + k] & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code >= lowest && code <= 0x10FFFF && !surrogate ? width : 0;
}

}  // namespace

size_t FindUtf8Text(const char* text, size_t length) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t first = length;
    for (size_t i = 0; i < length;) {
        if (bytes[i] < 0x80) {
            ++i;
            continue;
        }
        const size_t width = Utf8SequenceAt(bytes, length, i);
        if (width == 0) return length;
        first = std::min(first, i);
        i += width;
    }
    return first;
}

