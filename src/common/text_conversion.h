// Converting Shift_JIS text for output where nothing of it may be lost: the
// consoles and the plan's JSON.
#pragma once

#include "common/sjis_text.h"

// Converts the zero-terminated Shift_JIS text with convert, a function that
// converts a whole zero-terminated text into *out and returns 1, or returns 0
// when the text holds a byte or pair that is no character. When the whole
// text does not convert, each character is converted alone and one that does
// not becomes replacement, so the rest of the text still shows.
template <typename Out, typename Convert>
Out ConvertReplacingBadCharacters(const char* text, Convert convert, const Out& replacement) {
    Out whole;
    if (convert(text, &whole)) return whole;
    whole.clear();
    for (size_t i = 0; text[i] != '\0';) {
        const size_t width = SjisCharacterWidth(text + i);
        const char character[3] = {text[i], width == 2 ? text[i + 1] : '\0', '\0'};
        Out converted;
        whole += convert(character, &converted) ? converted : replacement;
        i += width;
    }
    return whole;
}
