// Scanners, keyword lookup, field copier, number parsers, field parsers.
#include "script/script_lexer.h"

#include <bit>
#include <cstring>

#include "common/ascii.h"
#include "common/sjis_text.h"

namespace {

// Character classes ----------------------------------------------------------

bool IsBlank(char c) {
    return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

bool IsLineEnd(char c) {
    return c == '\0' || c == '\n' || c == '\r';
}

bool IsTokenEnd(char c) {
    return IsLineEnd(c) || c == '\t' || c == ' ' || c == ',';
}

bool IsNameEnd(char c) {
    return IsTokenEnd(c) || c == '=';
}

bool IsBinaryLiteralEnd(char c) {
    return IsLineEnd(c) || c == '\t' || c == ' ';
}

bool IsDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}

bool StartsHexPrefix(const char* position) {
    return position[0] == '0' && (position[1] == 'x' || position[1] == 'X');
}

// Keyword and constant tables --------------------------------------------------

// Each keyword's text beside its id. Entry 0 is "REM": held in the table,
// never returned by the lookup.
struct KeywordRow {
    int id;
    const char* text;
};

constexpr KeywordRow kKeywords[] = {
    {kNoKeyword, "REM"},
    {kKeywordLabel, "Label"},                      // Label anything
    {kKeywordAppTitle, "AppTitle"},                // AppTitle = My Game
    {kKeywordBrandMenuFolder, "BrandMenuFolder"},  // BrandMenuFolder = Brand
    {kKeywordGameMenuFolder, "GameMenuFolder"},    // GameMenuFolder = My Game
    {kKeywordNewVersion, "NewVersion"},            // NewVersion = 1020, 1021
    {kKeywordRegistory, "Registory"},              // Registory = Software\Brand\Game
    {kKeywordSupportVersion, "SupportVersion"},    // SupportVersion = 1000, 1000
    {kKeywordSaveVersion, "SaveVersion"},          // SaveVersion = 1010, 1010
    {kKeywordCopyFile, "CopyFile"},                // CopyFile = std\a.dat, add\a.dat, data\a.dat
    {kKeywordShortcut, "Shortcut"},                // Shortcut = Game.lnk, Play, game.exe, -w, game.ico, bin
    {kKeywordDeleteFile, "DeleteFile"},            // DeleteFile = old.dat
    {kKeywordRenameFile, "RenameFile"},            // RenameFile = a.tmp, a.dat
    {kKeywordConvertFile, "ConvertFile"},          // ConvertFile BINARY = game.exe, 0x100, 0A1B
    {kKeywordConvertSave, "ConvertSave"},          // ConvertSave BGMNO = 100, 200, 5
    {kKeywordBinary, "BINARY"},
    {kKeywordAscii, "ASCII"},
    {kKeywordFilename, "FILENAME"},
    {kKeywordMessage, "MESSAGE"},
    {kKeywordBgmNo, "BGMNO"},
    {kKeywordLoopSeNo, "LOOPSENO"},
    {kKeywordGraphStatus, "GRAPHSTATUS"},
    {kKeywordChangeParam, "CHANGEPARAM"},
    {kKeywordAddGraph, "ADDGRAPH"},
    {kKeywordInsertGraph, "INSERTGRAPH"},
    {kKeywordChangeSe, "CHANGESE"},
    {kKeywordAddSe, "ADDSE"},
    {kKeywordCreateFolder, "CreateFolder"},        // CreateFolder = movie\op
};

// Row i holds keyword i, so that the table is read by id.
constexpr bool KeywordRowsInIdOrder() {
    int expected = 0;
    for (const KeywordRow& row : kKeywords) {
        if (row.id != expected++) return false;
    }
    return expected == kLastKeyword + 1;
}
static_assert(KeywordRowsInIdOrder(), "one row per keyword id, in id order");

struct NamedConstant {
    const char* name;  // lower case
    uint32_t value;
};

// Searched in this order; the first match wins.
constexpr NamedConstant kNamedConstants[] = {
    {"message", 1},       {"filename", 2},        {"position", 1}, {"center", 2},
    {"scale", 3},         {"rotate", 4},          {"filepos", 5},  {"clip", 6},
    {"historyconfig", 1}, {"historyexconfig", 2}, {"wakuload", 1}, {"kasaload", 2},
    {"gload", 3},
};

int LookUpNamedConstant(const char* position, uint32_t* value) {
    for (const NamedConstant& constant : kNamedConstants) {
        size_t i = 0;
        while (constant.name[i] != '\0' && LowerAscii(position[i]) == constant.name[i]) ++i;
        if (constant.name[i] == '\0' && IsNameEnd(position[i])) {
            *value = constant.value;
            return 1;
        }
    }
    return 0;
}

// Single-precision steps ---------------------------------------------------------

// Each arithmetic step of ParseReal goes through a volatile float, which
// rounds it to single precision even where the compiler keeps intermediates
// wider (x87 on 32-bit Windows), so every build computes the same value.
float RoundedProduct(float a, float b) {
    volatile float result = a * b;
    return result;
}

float RoundedSum(float a, float b) {
    volatile float result = a + b;
    return result;
}

// The single-precision value nearest one tenth, 0.100000001490116...
constexpr float kTenth = std::bit_cast<float>(0x3DCCCCCDu);

// Reads hexadecimal digits into a 32-bit value, wrapping; returns the end.
const char* ReadHexDigits(const char* position, uint32_t* value) {
    uint32_t result = 0;
    int digit;
    while ((digit = HexDigitValue(*position)) >= 0) {
        result = result * 16u + static_cast<uint32_t>(digit);
        ++position;
    }
    *value = result;
    return position;
}

const char* ReadDecimalDigits(const char* position, uint32_t* value) {
    uint32_t result = 0;
    while (IsDecimalDigit(*position)) {
        result = result * 10u + static_cast<uint32_t>(*position - '0');
        ++position;
    }
    *value = result;
    return position;
}

}  // namespace

// Scanners -------------------------------------------------------------------

const char* SkipBlanks(const char* position) {
    if (position == nullptr) return nullptr;
    while (IsBlank(*position)) ++position;
    return position;
}

const char* LineEnd(const char* position) {
    if (position == nullptr) return nullptr;
    while (!IsLineEnd(*position)) ++position;
    return position;
}

const char* FindEquals(const char* position) {
    if (position == nullptr) return nullptr;
    while (!IsLineEnd(*position)) {
        if (*position == '=') return position;
        ++position;
    }
    return nullptr;
}

uint32_t CountLineBreaks(const char* from, const char* to) {
    uint32_t breaks = 0;
    for (const char* p = from; p < to; ++p) {
        if (*p == '\n' || (*p == '\r' && p[1] != '\n')) ++breaks;
    }
    return breaks;
}

const char* TokenEnd(const char* position) {
    if (position == nullptr) return nullptr;
    while (!IsTokenEnd(*position)) ++position;
    return position;
}

const char* FindSeparator(const char* position, char separator) {
    if (position == nullptr) return nullptr;
    while (*position != separator && !IsLineEnd(*position)) ++position;
    return position;
}

// Keywords ---------------------------------------------------------------------

int KeywordId(const char* token) {
    if (token == nullptr || token[0] == '\0') return kNoKeyword;
    for (int id = kFirstDirectiveKeyword; id <= kLastKeyword; ++id) {
        const char* keyword = kKeywords[id].text;
        if (std::strncmp(token, keyword, std::strlen(keyword)) == 0) return id;
    }
    return kNoKeyword;
}

const char* KeywordText(int id) {
    if (id < kFirstDirectiveKeyword || id > kLastKeyword) return nullptr;
    return kKeywords[id].text;
}

// Fields ---------------------------------------------------------------------------

const char* FieldEnd(const char* position, bool* quoted) {
    position = SkipBlanks(position);
    if (position == nullptr) return nullptr;
    bool inside = false;
    for (;; position += SjisCharacterWidth(position)) {
        const char c = *position;
        if (c == '\0' || c == '\t' || c == '\n' || c == '\r' || c == ',' || c == '=') break;
        if (c == ' ' && !inside) break;
        if (c == '"') inside = !inside;
    }
    if (quoted != nullptr) *quoted = inside;
    return position;
}

int ReadField(char* destination, size_t capacity, const char* position) {
    if (destination == nullptr || position == nullptr || capacity == 0) return 1;
    position = SkipBlanks(position);
    const char* end = FieldEnd(position, nullptr);
    size_t length = 0;
    int fits = 1;
    while (position < end) {
        if (*position == '"') {
            ++position;
            continue;
        }
        // A double-byte character is copied whole or not at all. Its second
        // byte is never a delimiter, so it cannot end the field.
        const size_t width = SjisCharacterWidth(position);
        if (length + width > capacity - 1) {
            fits = 0;
            break;
        }
        std::memcpy(destination + length, position, width);
        length += width;
        position += width;
    }
    destination[length] = '\0';
    return fits;
}

const char* NextField(char* destination, size_t capacity, const char* position, int* fits) {
    *fits = ReadField(destination, capacity, position);
    return FindSeparator(position, ',');
}

// Numbers ----------------------------------------------------------------------------

namespace {

// Skips blanks, then an optional '-' and the blanks after it, noting the
// sign in *negative. Returns where the number's digits start, or nullptr.
const char* SkipBlanksAndSign(const char* position, bool* negative) {
    position = SkipBlanks(position);
    if (position == nullptr || *position != '-') return position;
    *negative = true;
    return SkipBlanks(position + 1);
}

}  // namespace

int ParseSigned(const char* position, int32_t* value) {
    bool negative = false;
    position = SkipBlanksAndSign(position, &negative);
    if (position == nullptr) return 0;
    uint32_t magnitude = 0;
    if (StartsHexPrefix(position)) {
        ReadHexDigits(position + 2, &magnitude);
    } else {
        if (!IsDecimalDigit(*position)) return 0;
        ReadDecimalDigits(position, &magnitude);
    }
    *value = static_cast<int32_t>(negative ? 0u - magnitude : magnitude);
    return 1;
}

int ParseUnsigned(const char* position, uint32_t* value) {
    position = SkipBlanks(position);
    if (position == nullptr) return 0;
    uint32_t result = 0;
    if (StartsHexPrefix(position)) {
        ReadHexDigits(position + 2, &result);
    } else if (*position == 'b') {
        for (++position; !IsBinaryLiteralEnd(*position); ++position) {
            if (*position != '0' && *position != '1') return 0;
            result = result * 2u + static_cast<uint32_t>(*position - '0');
        }
    } else {
        ReadDecimalDigits(position, &result);
    }
    *value = result;
    return 1;
}

int ParseReal(const char* position, float* value) {
    bool negative = false;
    position = SkipBlanksAndSign(position, &negative);
    if (position == nullptr) return 0;
    float result = 0.0f;
    if (StartsHexPrefix(position)) {
        int digit;
        for (position += 2; (digit = HexDigitValue(*position)) >= 0; ++position) {
            result = RoundedSum(RoundedProduct(result, 16.0f), static_cast<float>(digit));
        }
    } else {
        for (; IsDecimalDigit(*position); ++position) {
            result = RoundedSum(RoundedProduct(result, 10.0f), static_cast<float>(*position - '0'));
        }
        if (*position == '.') {
            float scale = 1.0f;
            for (++position; IsDecimalDigit(*position); ++position) {
                scale = RoundedProduct(scale, kTenth);
                result = RoundedSum(result, RoundedProduct(static_cast<float>(*position - '0'), scale));
            }
        }
    }
    *value = negative ? -result : result;
    return 1;
}

int ParseIntField(const char* position, uint32_t* value) {
    if (position == nullptr) return 0;
    if (IsDecimalDigit(*position)) return ParseUnsigned(position, value);
    if (*position == '-') {
        int32_t signedValue = 0;
        if (!ParseSigned(position, &signedValue)) return 0;
        *value = static_cast<uint32_t>(signedValue);
        return 1;
    }
    if (*position == 'b' && ParseUnsigned(position, value)) return 1;
    return LookUpNamedConstant(position, value);
}

int ParseRealField(const char* position, float* value) {
    if (position == nullptr) return 0;
    if (IsDecimalDigit(*position) || *position == '-' || *position == '.') return ParseReal(position, value);
    uint32_t constant = 0;
    if (!LookUpNamedConstant(position, &constant)) return 0;
    *value = static_cast<float>(constant);
    return 1;
}

namespace {

// Reads digits of base from position (binary, decimal or hexadecimal) into a
// value that stops growing past 2^33, so that it tells whether the digits
// exceed 32 bits.
uint64_t SaturatedDigits(const char* position, int base) {
    constexpr uint64_t kCeiling = uint64_t{1} << 33;
    uint64_t value = 0;
    for (;; ++position) {
        const int digit = HexDigitValue(*position);
        if (digit < 0 || digit >= base) return value;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (value > kCeiling) value = kCeiling;
    }
}

}  // namespace

int IntFieldFits(const char* position, int signedField) {
    if (position == nullptr) return 1;
    bool negative = false;
    uint64_t value = 0;
    if (IsDecimalDigit(*position) || *position == '-') {
        const char* digits = SkipBlanksAndSign(position, &negative);
        value = StartsHexPrefix(digits) ? SaturatedDigits(digits + 2, 16) : SaturatedDigits(digits, 10);
    } else if (*position == 'b') {
        value = SaturatedDigits(position + 1, 2);
    } else {
        return 1;
    }
    if (negative) return value <= uint64_t{0x80000000u};
    return value <= (signedField ? uint64_t{0x7FFFFFFFu} : uint64_t{0xFFFFFFFFu});
}
