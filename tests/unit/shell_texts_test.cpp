#include "shell/shell_texts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/sjis_text.h"

// The texts with the title and the save-data notes are compared whole by the
// end-to-end runs of the updater; these tests take the versions and the cuts.

TEST(VersionTexts, TargetDropsAZeroLastDigitTooOldShowsTwoDigitsInstalledThree) {
    struct Row { VersionNumber version; const char* target; const char* tooOld; const char* installed; } rows[] = {
        {1000, "Ver.1.00", "Ver.1.00", "1.000"},
        {1020, "Ver.1.02", "Ver.1.02", "1.020"},
        {1025, "Ver.1.025", "Ver.1.02", "1.025"},
        {1001, "Ver.1.001", "Ver.1.00", "1.001"},
        {999, "Ver.0.999", "Ver.0.99", "0.999"},
        {10990, "Ver.10.99", "Ver.10.99", "10.990"},
        {123456, "Ver.123.456", "Ver.123.45", "123.456"},
        {4294967295u, "Ver.4294967.295", "Ver.4294967.29", "4294967.295"},
    };
    for (const Row& row : rows) {
        char target[kVersionTextFieldSize];
        FormatTargetVersionText(target, row.version);
        EXPECT_STREQ(target, row.target) << row.version;
        char message[kMessageSize];
        FormatTooOldMessage(message, row.version);
        EXPECT_EQ(message, std::string("このパッチを適用する前に ") + row.tooOld + " 以降にアップデートを行って下さい。")
            << row.version;
        char installed[kInstalledVersionTextSize];
        FormatInstalledVersionText(installed, row.version);
        EXPECT_STREQ(installed, row.installed) << row.version;
    }
}

namespace {

// True when text ends on a character boundary (no lead byte left alone).
bool EndsOnCharacter(const char* text) {
    for (size_t i = 0; text[i] != '\0'; ++i) {
        if (IsSjisLeadByte(static_cast<unsigned char>(text[i])) && text[++i] == '\0') return false;
    }
    return true;
}

}  // namespace

// The longest title that fits each text whole, and one byte more cut at a
// character boundary: the texts hold 259 bytes.
TEST(TitledTexts, LongTitleIsCutAtCharacterBoundary) {
    // longestTitle: bytes of title that still fit whole.
    using Format = void (*)(char (&)[kMessageSize], const char*);
    struct Row { const char* name; size_t longestTitle; Format format; } rows[] = {
        {"caption", 243, FormatTitledCaption},
        {"not installed", 163, FormatNotInstalledMessage},
        {"unusable install folder", 177, FormatUnusableFolderMessage},
        {"update sentence", 213,
         [](char (&text)[kMessageSize], const char* title) {
             FormatUpdateSentence(text, title, "Ver.4294967.295");
         }},
    };
    for (const Row& row : rows) {
        // ソ (0x83 0x5C) has a '\' second byte. An odd length ends the title
        // on an ASCII letter; the text then ends exactly at 259 bytes.
        std::string title;
        for (size_t i = 0; i < row.longestTitle / 2; ++i) title += "ソ";
        title += std::string(row.longestTitle % 2, 'A');
        char text[kMessageSize];
        row.format(text, title.c_str());
        EXPECT_EQ(std::strlen(text), kMessageSize - 1) << row.name;
        EXPECT_NE(std::strstr(text, title.c_str()), nullptr) << row.name;

        // With one more double-byte character, the cut falls inside it or
        // after it; either way no lead byte is left alone.
        title.resize(row.longestTitle - row.longestTitle % 2);
        title += "ソ";
        row.format(text, title.c_str());
        EXPECT_TRUE(EndsOnCharacter(text)) << row.name;
    }
}

TEST(CauseLines, SayTheCauseNameWhatItConcernsAndGiveBothFigures) {
    constexpr uint64_t kMegabyte = uint64_t{1} << 20;
    struct Row { const char* name; FailureNote note; const char* line; } rows[] = {
        {"nothing noted", {0, kCauseUntold, "", 0, 0}, ""},
        {"a cause without words", {1, kCauseUntold, "C:\\game\\a.dat", 0, 0}, ""},
        // Needed rounds up and free down, so that the two never read alike.
        {"disk full, figures known", {1, kCauseDiskFull, "C:\\game", 12 * kMegabyte + 1, 8 * kMegabyte - 1},
         "ディスクの空き容量が足りません。[必要 12.1 MB、空き 7.9 MB]"},
        {"disk full, figures unknown", {1, kCauseDiskFull, "C:\\game\\a.dat", 0, 0},
         "ディスクの空き容量が足りません。"},
        {"in use", {1, kCauseInUse, "C:\\game\\data\\movie.dat", 0, 0},
         "他のプログラムがファイルを使用しています。[C:\\game\\data\\movie.dat]"},
        {"denied, no name", {1, kCauseDenied, "", 0, 0}, "ファイルへのアクセスが拒否されました。"},
        {"damaged", {1, kCauseDamaged, "config.txt", 0, 0}, "更新データが破損しています。[config.txt]"},
        {"folder missing", {1, kCauseFolderMissing, "C:\\ゲーム表", 0, 0},
         "インストール先のフォルダが見つかりません。[C:\\ゲーム表]"},
    };
    for (const Row& row : rows) {
        char line[kCauseLineSize];
        EXPECT_EQ(FormatCauseLine(line, row.note), row.line[0] != '\0' ? 1 : 0) << row.name;
        EXPECT_STREQ(line, row.line) << row.name;
    }
}
