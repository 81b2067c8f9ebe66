// Single-byte ASCII helpers: the case of letters and hexadecimal digits.
//
// Callers working on Shift_JIS text apply them to single-byte characters
// only: the second byte of a double-byte character may be an ASCII letter or
// digit and is never folded or read as a digit (sjis_text.h tells the two
// apart).
#pragma once

#include <string>

// c with an upper-case ASCII letter turned into lower case; any other byte
// as it is.
inline char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Value of the hexadecimal digit c (0-9, a-f, A-F), or -1 for any other byte.
inline int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Appends byte to text as two lower-case hexadecimal digits.
inline void AppendHexByte(std::string* text, unsigned char byte) {
    constexpr char kDigits[] = "0123456789abcdef";
    text->push_back(kDigits[byte >> 4]);
    text->push_back(kDigits[byte & 0xF]);
}
