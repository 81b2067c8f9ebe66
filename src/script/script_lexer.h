// The line and field lexer shared by the directive loader and the rule
// statements of Update.ini.
//
// Every routine scans the script text in place, byte by byte, without
// allocating and without writing into the text. Shift_JIS double-byte
// characters pass through as ordinary bytes: every delimiter below is under
// 0x40, and no second byte of a double-byte character is.
//
// The script text ends with a zero byte followed by spare zero bytes. A field
// list that lacks trailing fields at the very end of the text steps one byte
// further past the terminating zero per missing field, so the loader gives
// the text more spare zeros than the longest field list has fields.
//
// Scanners take a position in the text and return one; given no position
// (nullptr) they return none.
#pragma once

#include <cstddef>
#include <cstdint>

// Keyword ids. 1 to 14 and 27 are directives, 15 to 26 rule keywords; 0 is
// none. CreateFolder came later and takes the next free id, so that every
// other id stays as it was.
enum KeywordIdValue : int {
    kNoKeyword = 0,
    kKeywordLabel = 1,
    kKeywordAppTitle = 2,
    kKeywordBrandMenuFolder = 3,
    kKeywordGameMenuFolder = 4,
    kKeywordNewVersion = 5,
    kKeywordRegistory = 6,
    kKeywordSupportVersion = 7,
    kKeywordSaveVersion = 8,
    kKeywordCopyFile = 9,
    kKeywordShortcut = 10,
    kKeywordDeleteFile = 11,
    kKeywordRenameFile = 12,
    kKeywordConvertFile = 13,
    kKeywordConvertSave = 14,
    kKeywordBinary = 15,
    kKeywordAscii = 16,
    kKeywordFilename = 17,
    kKeywordMessage = 18,
    kKeywordBgmNo = 19,
    kKeywordLoopSeNo = 20,
    kKeywordGraphStatus = 21,
    kKeywordChangeParam = 22,
    kKeywordAddGraph = 23,
    kKeywordInsertGraph = 24,
    kKeywordChangeSe = 25,
    kKeywordAddSe = 26,
    kKeywordCreateFolder = 27,
};

constexpr int kFirstDirectiveKeyword = kKeywordLabel;
constexpr int kLastDirectiveKeyword = kKeywordConvertSave;
constexpr int kFirstRuleKeyword = kKeywordBinary;
constexpr int kLastRuleKeyword = kKeywordAddSe;
constexpr int kLastKeyword = kKeywordCreateFolder;

// Whether id is a directive's: Label to ConvertSave, or CreateFolder.
inline bool IsDirectiveKeyword(int id) {
    return (id >= kFirstDirectiveKeyword && id <= kLastDirectiveKeyword) || id == kKeywordCreateFolder;
}

// First byte at or after position that is no blank (TAB, LF, CR, SPACE):
// line ends are crossed.
const char* SkipBlanks(const char* position);

// First line-end byte (NUL, LF, CR) at or after position.
const char* LineEnd(const char* position);

// The first '=' before the line ends; none when the line ends first.
const char* FindEquals(const char* position);

// Line breaks from from up to (not including) to: CR LF counts once, a lone
// CR or LF once each.
uint32_t CountLineBreaks(const char* from, const char* to);

// First token-end byte (NUL, TAB, LF, CR, SPACE, ',') at or after position.
const char* TokenEnd(const char* position);

// First byte at or after position that is separator or a line-end byte. When
// the line holds no further separator this is the line end; the caller goes
// on one byte further, and SkipBlanks carries the scan onto the next line.
const char* FindSeparator(const char* position, char separator);

// Id of the keyword that is a prefix of token (case-sensitive; the first in
// id order wins), or 0. "REM" is held ahead of id 1 and never returned.
int KeywordId(const char* token);

// The keyword text of id 1-27; nullptr for any other id.
const char* KeywordText(int id);

// The byte that ends the field starting at position once past blanks, as
// ReadField reads it; *quoted (if not nullptr) tells whether a double quote
// was open there: a ',' or '=' that cuts a quoted text short.
const char* FieldEnd(const char* position, bool* quoted);

// Skips blanks from position (crossing line ends), then copies one field into
// destination, which holds capacity bytes including the terminating zero.
// NUL, TAB, LF, CR, ',' and '=' end the field even inside quotes; SPACE ends
// it outside quotes; '"' toggles quoting and is not copied. The ending byte is
// not consumed. Returns 1 when the whole field fit (also when there is no
// destination or position and nothing is copied); 0 when it was cut at a
// character boundary to fit. The destination is always terminated.
int ReadField(char* destination, size_t capacity, const char* position);

// ReadField, then FindSeparator with ',' from the same starting position;
// returns that separator position. *fits receives ReadField's result.
const char* NextField(char* destination, size_t capacity, const char* position, int* fits);

// The number parsers and field parsers below return 1 and store the value
// on success; on failure they return 0 and leave *value as it was. Integer
// arithmetic wraps at 32 bits; real arithmetic rounds every step to single
// precision.

// Optional '-' (blanks around it are skipped), then 0x hexadecimal or decimal
// digits; a text without a digit fails. Trailing text is not examined.
int ParseSigned(const char* position, int32_t* value);

// 0x hexadecimal, b binary (ending at NUL, TAB, LF, CR or SPACE; anything
// else fails), or decimal digits, where no digit at all gives 0.
int ParseUnsigned(const char* position, uint32_t* value);

// Optional '-', then 0x hexadecimal integer digits or a decimal number with
// an optional fraction. Fails only without a position.
int ParseReal(const char* position, float* value);

// A number (decimal, 0x, b, or negative) or a named constant (case-
// insensitive, ending at a name-end byte). No blanks are skipped first.
int ParseIntField(const char* position, uint32_t* value);

// A decimal or hexadecimal real, or a named constant converted to a real.
// No blanks are skipped first.
int ParseRealField(const char* position, float* value);

// 1 when the number field at position reads as the number written, 0 when
// ParseIntField would wrap it: for an unsigned field a value above
// 4294967295 (0xFFFFFFFF), for a signed one above 2147483647, and for
// either a negative number below -2147483648 or more than 32 binary digits.
// A named constant or no number at all gives 1.
int IntFieldFits(const char* position, int signedField);
