// Shift_JIS-aware text helpers over fixed, zero-terminated byte fields.
//
// Every text inside the program is Shift_JIS (code page 932). A double-byte
// character starts with a lead byte (0x81-0x9F, 0xE0-0xFC); its second byte
// may be 0x5C ('\') or an ASCII letter (the exact definition is below). The
// helpers here never split such a character, never take its second byte for a
// separator and never fold it as a letter.
#pragma once

#include <cstddef>

constexpr size_t kPathFieldSize = 260;  // a path holds at most 259 bytes

// The one definition of a Shift_JIS double-byte character, which the lexer,
// the consoles, the JSON output, the registry file and every helper here
// share: a lead byte (0x81-0x9F, 0xE0-0xFC) followed by a second byte of
// 0x40-0x7E or 0x80-0xFC. A lead byte followed by anything else (a zero, a
// control byte, a comma) is a character of its own, one byte wide, and the
// byte after it starts the next character.
inline bool IsSjisLeadByte(unsigned char value) {
    return (value >= 0x81 && value <= 0x9F) || (value >= 0xE0 && value <= 0xFC);
}

inline bool IsSjisTrailByte(unsigned char value) {
    return value >= 0x40 && value <= 0xFC && value != 0x7F;
}

// Width in bytes of the character at text (zero-terminated): 2 for a
// double-byte character, otherwise 1.
inline size_t SjisCharacterWidth(const char* text) {
    return IsSjisLeadByte(static_cast<unsigned char>(text[0])) &&
                   IsSjisTrailByte(static_cast<unsigned char>(text[1]))
               ? 2
               : 1;
}

// The same for the character at text[index] of a text of length bytes that
// need not be terminated: a lead byte in the last place is one byte wide.
inline size_t SjisCharacterWidthIn(const char* text, size_t length, size_t index) {
    return index + 1 < length ? SjisCharacterWidth(text + index) : 1;
}

// Length of the longest prefix of text, at most maxBytes long, that ends on a
// character boundary.
size_t FitToCharBoundary(const char* text, size_t maxBytes);

// Copies text into dest, which holds capacity bytes including the terminator.
// Returns 1 when the whole text fit, 0 when it had to be cut (at a character
// boundary). dest is always terminated when capacity is not 0.
int CopyText(char* dest, size_t capacity, const char* text);

template <size_t Capacity>
int CopyText(char (&dest)[Capacity], const char* text) {
    return CopyText(dest, Capacity, text);
}

// Start of the base name of path: the text after its last '\' separator, or
// the whole path when it has none. A 0x5C that is the second byte of a
// double-byte character is not a separator; '/' is not one either.
const char* BaseNameOf(const char* path);

// The same for a path a person gives on a command line: after its last '\'
// or '/', or after a drive such as "C:".
const char* ArgumentBaseNameOf(const char* path);

// Whether path names its place on its own: it begins with a separator ('\'
// or '/', a root or network path) or names a drive ("C:").
bool IsAbsolutePath(const char* path);

// Whether name, joined below a folder, stays inside it: it does not begin
// with a separator ('\' or '/', so no root or network path), names no drive
// ("C:"), and has no part of dots alone beyond one ("..", and "..." that
// Windows reads as ".."). Double-byte characters are kept whole.
bool StaysInsideFolder(const char* name);

// Compares two texts without regard to the case of single-byte ASCII letters;
// double-byte characters compare exactly. Returns 1 when equal.
int EqualsNoCase(const char* a, const char* b);

// Lowers the ASCII letters of the single-byte characters among the length
// bytes at text, in place; double-byte characters stay as they are. Two texts
// that EqualsNoCase finds equal are equal byte for byte once folded.
void FoldAsciiCase(char* text, size_t length);

// Compares a name field of fieldWidth bytes with name, like EqualsNoCase. The
// field ends at its first zero byte or at its width, whichever comes first, so
// a field without a terminator never matches a name longer than the field.
int FieldEqualsNoCase(const char* field, size_t fieldWidth, const char* name);

// snprintf into dest; a result that does not fit is cut at a character
// boundary. Returns 1 when the whole result fit, 0 when it was cut.
int FormatText(char* dest, size_t capacity, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Index of the first byte of the length bytes at text that is no part of a
// valid Shift_JIS character: a lead byte without a second byte of 0x40-0x7E
// or 0x80-0xFC after it, or a byte that starts no character (0x80, 0xA0,
// 0xFD-0xFF). length when every character is valid.
size_t FindBadSjisByte(const char* text, size_t length);

// dest := folder + '\' + name. Returns 0 and leaves dest empty when the joined
// path does not fit capacity (terminator included).
int JoinPath(char* dest, size_t capacity, const char* folder, const char* name);
