#include "shell/shell_texts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/sjis_text.h"

namespace {

// A title of count double-byte characters (ソ: 0x83 0x5C, a '\' second byte).
std::string DoubleByteTitle(size_t count) {
    std::string title;
    for (size_t i = 0; i < count; ++i) title += "ソ";
    return title;
}

// True when text ends on a character boundary (no lead byte left alone).
bool EndsOnCharacter(const char* text) {
    size_t i = 0;
    while (text[i] != '\0') {
        if (IsSjisLeadByte(static_cast<unsigned char>(text[i]))) {
            if (text[i + 1] == '\0') return false;
            i += 2;
        } else {
            ++i;
        }
    }
    return true;
}

}  // namespace

TEST(FormatTargetVersionText, ThreeDigitsOnlyWhenTheLastIsNotZero) {
    struct Row { VersionNumber version; const char* text; } rows[] = {
        {1000, "Ver.1.00"},   {1020, "Ver.1.02"},   {1025, "Ver.1.025"},
        {1100, "Ver.1.10"},   {1001, "Ver.1.001"},  {10000, "Ver.10.00"},
        {0, "Ver.0.00"},      {4294967295u, "Ver.4294967.295"},
    };
    for (const Row& row : rows) {
        char text[kVersionTextFieldSize];
        FormatTargetVersionText(text, row.version);
        EXPECT_STREQ(text, row.text) << row.version;
    }
}

TEST(FormatTooOldMessage, AlwaysTwoDigits) {
    struct Row { VersionNumber support; const char* version; } rows[] = {
        {1010, "Ver.1.01"}, {1015, "Ver.1.01"}, {1000, "Ver.1.00"}, {10990, "Ver.10.99"},
    };
    for (const Row& row : rows) {
        char message[kMessageSize];
        FormatTooOldMessage(message, row.support);
        const std::string expected =
            std::string("このパッチを適用する前に ") + row.version + " 以降にアップデートを行って下さい。";
        EXPECT_EQ(message, expected) << row.support;
    }
}

TEST(FormatInstalledVersionText, MajorInDecimalThenThreeDigits) {
    struct Row { VersionNumber version; const char* text; } rows[] = {
        {1000, "1.000"}, {1020, "1.020"}, {1025, "1.025"}, {999, "0.999"},
        {10000, "10.000"}, {123456, "123.456"}, {4294967295u, "4294967.295"},
    };
    for (const Row& row : rows) {
        char text[kInstalledVersionTextSize];
        FormatInstalledVersionText(text, row.version);
        EXPECT_STREQ(text, row.text) << row.version;
    }
}

TEST(TitledTexts, ReadAsTheUserSeesThem) {
    char caption[kMessageSize];
    FormatTitledCaption(caption, "ゲーム");
    EXPECT_STREQ(caption, "『ゲーム』アップデート");
    char message[kMessageSize];
    FormatNotInstalledMessage(message, "ゲーム");
    EXPECT_STREQ(message,
                 "『ゲーム』がインストールされていません。インストールが終了してから再度アップデートを行って下さいませ。");
    char sentence[kMessageSize];
    FormatUpdateSentence(sentence, "ゲーム", "Ver.1.02");
    EXPECT_STREQ(sentence, "『ゲーム』 を Ver.1.02 にアップデートします。");
}

// The longest title that fits each text whole, and one byte more cut at a
// character boundary: the texts hold 259 bytes.
TEST(TitledTexts, LongTitleIsCutAtCharacterBoundary) {
    struct Row {
        const char* name;
        size_t longestTitle;  // bytes of title that still fit whole
        void (*format)(char (&)[kMessageSize], const char*);
    } rows[] = {
        {"caption", 243, FormatTitledCaption},
        {"not installed", 163, FormatNotInstalledMessage},
        {"update sentence", 213,
         [](char (&text)[kMessageSize], const char* title) {
             FormatUpdateSentence(text, title, "Ver.4294967.295");
         }},
    };
    for (const Row& row : rows) {
        // An odd length ends the title on an ASCII letter; the text then ends
        // exactly at 259 bytes.
        std::string title = DoubleByteTitle(row.longestTitle / 2) + std::string(row.longestTitle % 2, 'A');
        char text[kMessageSize];
        row.format(text, title.c_str());
        EXPECT_EQ(std::strlen(text), kMessageSize - 1) << row.name;
        EXPECT_NE(std::strstr(text, title.c_str()), nullptr) << row.name;

        // With one more double-byte character, the cut falls inside it or
        // after it; either way no lead byte is left alone.
        title = DoubleByteTitle(row.longestTitle / 2 + 1);
        row.format(text, title.c_str());
        EXPECT_LE(std::strlen(text), kMessageSize - 1) << row.name;
        EXPECT_TRUE(EndsOnCharacter(text)) << row.name;
    }
}

TEST(SaveDataNote, RemovalBelowSaveVersion) {
    EXPECT_STREQ(SaveDataNote(1000, 1010), kSaveRemovalNote);
    EXPECT_STREQ(SaveDataNote(1010, 1010), kSaveCarryOverNote);
    EXPECT_STREQ(kSaveRemovalNote,
                 "※このバージョンのアップデートの適用では、以前のプレイデータやセーブデータは削除されます。");
}
