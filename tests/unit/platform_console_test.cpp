#include <gtest/gtest.h>

#include <string>

#include "platform/platform_dialog.h"

namespace {

TEST(PlatformConsole, WritesUtf8AndReplacesWhatIsNoCharacter) {
    struct Row { const char* name; const char* text; const char8_t* utf8; } rows[] = {
        {"ASCII and backslash", "a\\b", u8"a\\b"},
        {"double-byte with 0x5C second byte", "表示", u8"表示"},
        {"half-width katakana", "\xB1", u8"ｱ"},
        {"lead byte before no second byte", "x\x81 y", u8"x\uFFFD y"},
        {"unassigned pair replaced whole", "x\x85\x40\\y", u8"x\uFFFD\\y"},
        {"lone lead byte at the end", "x\x81", u8"x\uFFFD"},
    };
    for (const Row& row : rows) {
        testing::internal::CaptureStdout();
        OsWriteOutput(row.text);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), reinterpret_cast<const char*>(row.utf8)) << row.name;
        testing::internal::CaptureStderr();
        OsWriteError(row.text);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), reinterpret_cast<const char*>(row.utf8)) << row.name;
        EXPECT_EQ(OsTextAsUtf8(row.text), reinterpret_cast<const char*>(row.utf8)) << row.name;
    }
}

TEST(PlatformConsole, WritesUtf8TextAsItIs) {
    const char* utf8 = reinterpret_cast<const char*>(u8"{\"AppTitle\": \"表示\\\\ｱ\"}\n");
    testing::internal::CaptureStdout();
    OsWriteUtf8Output(utf8);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), utf8);
}

}  // namespace
