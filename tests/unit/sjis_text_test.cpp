#include "common/sjis_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

// Sources are compiled with a CP932 execution charset: 表 is 0x95 0x5C and
// ソ is 0x83 0x5C, both with a '\' as their second byte.

TEST(BaseNameOf, SplitsAtLastSeparatorOnly) {
    // argument: ArgumentBaseNameOf, which also splits at '/' and a drive.
    struct Row { const char* name; const char* path; const char* base; const char* argument; } rows[] = {
        {"plain", "Title.ogg", "Title.ogg", "Title.ogg"},
        {"folders", "data\\bgm\\Title.ogg", "Title.ogg", "Title.ogg"},
        {"trailing separator", "data\\", "", ""},
        {"slash is no separator", "data/Title.ogg", "data/Title.ogg", "Title.ogg"},
        {"drive", "C:Title.ogg", "C:Title.ogg", "Title.ogg"},
        {"trail byte 0x5C kept", "表示.txt", "表示.txt", "表示.txt"},
        {"trail byte after folder", "data\\ソフト\\表.dat", "表.dat", "表.dat"},
        {"trail byte ends folder", "表\\a.txt", "a.txt", "a.txt"},
    };
    for (const Row& row : rows) {
        EXPECT_STREQ(BaseNameOf(row.path), row.base) << row.name;
        EXPECT_STREQ(ArgumentBaseNameOf(row.path), row.argument) << row.name;
    }
}

TEST(StaysInsideFolder, RefusesRootsDrivesAndDotParts) {
    struct Row { const char* name; bool inside; } rows[] = {
        {"a.dat", true}, {"data\\bgm\\a.ogg", true}, {".\\a.dat", true}, {"a..b\\..c", true}, {"", true},
        {"ソ..", true},  // 0x83 0x5C: a trail byte, no separator
        {"..", false}, {"..\\a", false}, {"data\\..\\..\\a", false}, {"data/../a", false},
        {"...\\a", false}, {".. \\a", false}, {"\\a", false}, {"/etc/hostname", false},
        {"\\\\server\\share\\a", false}, {"C:\\a", false}, {"c:a", false},
    };
    for (const Row& row : rows) EXPECT_EQ(StaysInsideFolder(row.name), row.inside) << row.name;
}

TEST(EqualsNoCase, FoldsAsciiLettersOnly) {
    EXPECT_TRUE(EqualsNoCase("TITLE.OGG", "Title.ogg"));
    EXPECT_FALSE(EqualsNoCase("Title.ogg", "Title.og"));
    EXPECT_TRUE(EqualsNoCase("", ""));
    // ａ (0x82 0x81) and Ａ (0x82 0x60): a double-byte pair compares exactly.
    EXPECT_FALSE(EqualsNoCase("ａ", "Ａ"));
    EXPECT_TRUE(EqualsNoCase("表A", "表a"));
    // A lead byte then 'a': the trail byte is no letter.
    EXPECT_FALSE(EqualsNoCase("\x83\x61", "\x83\x41"));
}

TEST(CopyText, CutsAtCharacterBoundary) {
    char small[4];
    EXPECT_EQ(CopyText(small, "abc"), 1);
    EXPECT_STREQ(small, "abc");
    EXPECT_EQ(CopyText(small, "abcd"), 0);
    EXPECT_STREQ(small, "abc");
    // "a表" is three bytes and fits; "ab表" would split 表 at the fourth byte.
    EXPECT_EQ(CopyText(small, "a表"), 1);
    EXPECT_EQ(CopyText(small, "ab表"), 0);
    EXPECT_STREQ(small, "ab");
}

TEST(FormatText, CutsResultAtCharacterBoundary) {
    char text[6];
    EXPECT_EQ(FormatText(text, sizeof text, "%s", "ab"), 1);
    EXPECT_STREQ(text, "ab");
    EXPECT_EQ(FormatText(text, 5, "『%s』", "x"), 0);  // 『 and 』 are two bytes each
    EXPECT_STREQ(text, "『x");
}

TEST(FindBadSjisByte, FindsTheFirstByteThatIsNoCharacter) {
    // bad: the index found; npos for none, which the function gives as the
    // text's length.
    constexpr size_t kNone = std::string::npos;
    struct Row { const char* name; std::string text; size_t bad; } rows[] = {
        {"ASCII and double-byte characters", "a表ソ\xB1z", kNone},
        {"empty", "", kNone},
        {"lead byte before a control byte", "ab\x81\n", 2},
        {"lead byte before 0x7F", "\x81\x7F", 0},
        {"lead byte before 0xFD", "x\xE0\xFD", 1},
        {"lead byte at the end", "x\x9F", 1},
        {"0x80 alone", "\x80", 0},
        {"0xA0 alone", "x\xA0", 1},
        {"0xFF alone", "xy\xFF", 2},
        {"UTF-8 of 白 happens to read as Shift_JIS", "\xE7\x99\xBD", kNone},
    };
    for (const Row& row : rows) {
        const size_t bad = row.bad == kNone ? row.text.size() : row.bad;
        EXPECT_EQ(FindBadSjisByte(row.text.data(), row.text.size()), bad) << row.name;
    }
}

// Every helper measures characters with SjisCharacterWidth; a lead byte
// followed by no possible second byte (a comma, a control byte, 0x7F, 0xFD)
// stands alone, so cutting after it keeps the byte after it whole.
TEST(SjisCharacterWidth, OneDefinitionForEveryLeadAndSecondByte) {
    for (int lead : {0x81, 0x9F, 0xE0, 0xFC}) {
        for (int second = 1; second <= 0xFF; ++second) {
            const char text[] = {static_cast<char>(lead), static_cast<char>(second), 'x', '\0'};
            const bool pair = (second >= 0x40 && second <= 0x7E) || (second >= 0x80 && second <= 0xFC);
            SCOPED_TRACE(testing::Message() << std::hex << lead << " " << second);
            EXPECT_EQ(SjisCharacterWidth(text), pair ? 2u : 1u);
            EXPECT_EQ(SjisCharacterWidthIn(text, 1, 0), 1u) << "a lead byte in the last place";
            EXPECT_EQ(FitToCharBoundary(text, 1), pair ? 0u : 1u);
            char cut[2];
            CopyText(cut, text);
            EXPECT_EQ(std::strlen(cut), pair ? 0u : 1u);
        }
    }
}

TEST(FitToCharBoundary, SecondByteBelow0x40IsNoPartOfTheCharacter) {
    EXPECT_EQ(FitToCharBoundary("\x81,x", 1), 1u);
    EXPECT_STREQ(BaseNameOf("\x81\x09\\name"), "name");
}
