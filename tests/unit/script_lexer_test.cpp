#include "script/script_lexer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

const char* CommaSeparator(const char* text) {
    return FindSeparator(text, ',');
}

TEST(ScriptScanners, StopWhereTheirClassEnds) {
    // offset: of the result; -1 for none.
    struct Row { const char* name; const char* (*scan)(const char*); const char* text; ptrdiff_t offset; } rows[] = {
        {"SkipBlanks crosses line ends", SkipBlanks, "\r\n  x", 4},
        {"SkipBlanks stops at vertical tab", SkipBlanks, "\vx", 0},
        {"SkipBlanks stops at the terminator", SkipBlanks, " \t", 2},
        {"LineEnd at CR", LineEnd, "ab\rcd", 2},
        {"LineEnd at LF", LineEnd, "ab\ncd", 2},
        {"LineEnd at the terminator", LineEnd, "abc", 3},
        {"FindEquals on the line", FindEquals, "Key \"a\" = b", 8},
        {"FindEquals not past the line", FindEquals, "Key\n= b", -1},
        {"FindEquals at the terminator", FindEquals, "Key", -1},
        {"TokenEnd at comma", TokenEnd, "ConvertFile,BGMNO", 11},
        {"TokenEnd at space", TokenEnd, "ConvertFile BGMNO=1", 11},
        {"TokenEnd not at equals", TokenEnd, "ConvertFile=BGMNO x", 17},
        {"FindSeparator at the separator", CommaSeparator, "a b, c\nd", 3},
        {"FindSeparator not past the line", CommaSeparator, "c\nd", 1},
        {"FindSeparator at the terminator", CommaSeparator, "d", 1},
    };
    for (const Row& row : rows) {
        const char* result = row.scan(row.text);
        if (row.offset < 0) {
            EXPECT_EQ(result, nullptr) << row.name;
        } else {
            EXPECT_EQ(result, row.text + row.offset) << row.name;
        }
        EXPECT_EQ(row.scan(nullptr), nullptr) << row.name;
    }
}

TEST(KeywordIdTest, MatchesPrefixCaseSensitively) {
    struct Row { const char* token; int id; } rows[] = {
        {"CopyFileX", kKeywordCopyFile}, {"copyfile", kNoKeyword}, {"REM", kNoKeyword}, {"", kNoKeyword},
        {"Label:", kKeywordLabel}, {"Registry", kNoKeyword}, {"ADDSE", kKeywordAddSe}, {"ADDS", kNoKeyword},
        {"CreateFolder", kKeywordCreateFolder}, {"CreateFolders", kKeywordCreateFolder}, {"Create", kNoKeyword},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(KeywordId(row.token), row.id) << row.token;
    }
    EXPECT_EQ(KeywordId(nullptr), kNoKeyword);
    EXPECT_EQ(KeywordText(0), nullptr) << "REM is never an id";
}

TEST(ReadFieldTest, CopiesOneFieldAndReportsWhetherItFit) {
    struct Row { const char* name; const char* text; size_t capacity; const char* copied; int fits; } rows[] = {
        {"quotes keep spaces", "\"My Game\",next", 64, "My Game", 1},
        {"space ends outside quotes", "a b", 64, "a", 1},
        {"comma ends inside quotes", "\"a,b\"", 64, "a", 1},
        {"equals ends inside quotes", "\"a=b\"", 64, "a", 1},
        {"blanks and line ends skipped first", " \r\n\tvalue,x", 64, "value", 1},
        {"quote inside a word dropped", "a\"b c\"d e", 64, "ab cd", 1},
        {"empty quotes", "\"\",x", 64, "", 1},
        {"exact fit", "abc", 4, "abc", 1},
        {"one byte over", "abcd", 4, "abc", 0},
        {"double-byte character kept whole", "ab表", 4, "ab", 0},
        {"trail byte 0x5C is no delimiter", "表示,x", 64, "表示", 1},
        {"lead byte before a delimiter", "\x81,x", 64, "\x81", 1},
    };
    for (const Row& row : rows) {
        char destination[64];
        std::memset(destination, 'Z', sizeof destination);
        EXPECT_EQ(ReadField(destination, row.capacity, row.text), row.fits) << row.name;
        EXPECT_STREQ(destination, row.copied) << row.name;
    }
}

TEST(ParseUnsignedTest, ReadsHexBinaryAndDecimal) {
    struct Row { const char* text; int ok; uint32_t value; } rows[] = {
        {"0x1F", 1, 31}, {"0X1f", 1, 31}, {"0x", 1, 0}, {"b101", 1, 5}, {"b101,", 0, 0}, {"b102", 0, 0},
        {"42,", 1, 42}, {"", 1, 0}, {"-5", 1, 0}, {"4294967296", 1, 0}, {"0x1FFFFFFFF", 1, 0xFFFFFFFFu},
    };
    for (const Row& row : rows) {
        uint32_t value = 12345;
        EXPECT_EQ(ParseUnsigned(row.text, &value), row.ok) << row.text;
        EXPECT_EQ(value, row.ok ? row.value : 12345u) << row.text;
    }
    uint32_t value = 0;
    EXPECT_EQ(ParseUnsigned(nullptr, &value), 0);
}

TEST(ParseIntFieldTest, TakesNumbersAndNamedConstants) {
    struct Row { const char* text; int ok; uint32_t value; } rows[] = {
        {"Scale", 1, 3}, {"scalex", 0, 0}, {"scale=", 1, 3}, {"b1", 1, 1}, {"b1,", 0, 0}, {"bgm", 0, 0},
        {"-1", 1, 0xFFFFFFFFu}, {"- 7", 1, 0xFFFFFFF9u}, {"-0x10", 1, 0xFFFFFFF0u}, {"-4294967295", 1, 1},
        {"-x", 0, 0}, {"-", 0, 0}, {" 5", 0, 0}, {"clip\t", 1, 6},
    };
    for (const Row& row : rows) {
        uint32_t value = 777;
        EXPECT_EQ(ParseIntField(row.text, &value), row.ok) << row.text;
        EXPECT_EQ(value, row.ok ? row.value : 777u) << row.text;
    }
}

TEST(ParseRealTest, RoundsEveryStepToSinglePrecision) {
    // The bit patterns of the step-by-step single-precision results. Rows
    // marked "stepwise" differ from the correctly rounded value that strtof
    // or double arithmetic would give.
    struct Row { const char* text; uint32_t bits; } rows[] = {
        {"1.5", 0x3FC00000u}, {"-.25", 0xBE800000u}, {"0x10.5", 0x41800000u}, {"abc", 0x00000000u},
        {"0.05", 0x3D4CCCCEu},        // stepwise; correctly rounded 0x3D4CCCCD
        {"9.999999", 0x411FFFFEu},    // stepwise; correctly rounded 0x411FFFFF
        {"3.14159265", 0x40490FD9u},  // stepwise; correctly rounded 0x40490FDB
        {"1.7777777", 0x3FE38E39u},   // stepwise; in double arithmetic 0x3FE38E38
    };
    for (const Row& row : rows) {
        float value = 42.0f;
        EXPECT_EQ(ParseReal(row.text, &value), 1) << row.text;
        EXPECT_EQ(std::bit_cast<uint32_t>(value), row.bits) << row.text;
    }
    float value = 42.0f;
    EXPECT_EQ(ParseReal(nullptr, &value), 0);
    EXPECT_EQ(value, 42.0f);
}

TEST(ParseRealFieldTest, TakesRealsAndNamedConstants) {
    struct Row { const char* text; int ok; float value; } rows[] = {
        {"center", 1, 2.0f}, {".5", 1, 0.5f}, {"-1.5", 1, -1.5f}, {"b1", 0, 0.0f}, {" 1", 0, 0.0f},
    };
    for (const Row& row : rows) {
        float value = 9.0f;
        EXPECT_EQ(ParseRealField(row.text, &value), row.ok) << row.text;
        EXPECT_EQ(value, row.ok ? row.value : 9.0f) << row.text;
    }
}

TEST(IntFieldFitsTest, TellsTheNumbersThatWouldWrap) {
    struct Row { const char* text; int signedField; int fits; } rows[] = {
        {"4294967295", 0, 1},          {"4294967296", 0, 0},           {"99999999999999999999", 0, 0},
        {"0xFFFFFFFF", 0, 1},          {"0x00000000FFFFFFFF", 0, 1},   {"0x100000000", 0, 0},
        {"2147483647", 1, 1},          {"2147483648", 1, 0},           {"0x80000000", 1, 0},
        {"-1", 0, 1},                  {"-2147483648", 1, 1},          {"- 2147483649", 0, 0},
        {"-0x80000001", 1, 0},         {"b11", 0, 1},                  {"scale", 0, 1},
        {"x", 0, 1},                   {"12abc", 0, 1},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(IntFieldFits(row.text, row.signedField), row.fits) << row.text;
    }
    const std::string bits32 = "b" + std::string(32, '1');
    EXPECT_EQ(IntFieldFits(bits32.c_str(), 0), 1);
    EXPECT_EQ(IntFieldFits((bits32 + "0").c_str(), 0), 0) << "33 binary digits";
    EXPECT_EQ(IntFieldFits(bits32.c_str(), 1), 0) << "32 binary digits read negative in a signed field";
    EXPECT_EQ(IntFieldFits(nullptr, 0), 1);
}

TEST(CountLineBreaksTest, CountsCrLfOnce) {
    const std::string text = "a\r\nb\rc\nd\n\ne";
    EXPECT_EQ(CountLineBreaks(text.c_str(), text.c_str() + text.size()), 5u);
    EXPECT_EQ(CountLineBreaks(text.c_str(), text.c_str() + 2), 0u) << "up to the LF of a CR LF";
    EXPECT_EQ(CountLineBreaks(text.c_str(), text.c_str()), 0u);
}

}  // namespace
