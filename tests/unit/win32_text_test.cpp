#include "platform/win32/win32_text.h"

#include <gtest/gtest.h>

#include <string>

// Sources are compiled with a CP932 execution charset, so "表示" here is the
// Shift_JIS bytes 0x95 0x5C 0x8E 0xA6; u8"表示" is its UTF-8.

TEST(Win32Text, ShiftJisAndUtf8RoundTripThroughUtf16) {
    struct Row { const char* name; const char* cp932; const char8_t* utf8; std::wstring wide; } rows[] = {
        {"empty", "", u8"", L""},
        {"ascii", "Update.ini", u8"Update.ini", L"Update.ini"},
        {"trail byte 0x5C", "表示\\ソ.dat", u8"表示\\ソ.dat", L"\u8868\u793A\\\u30BD.dat"},
        {"half-width katakana", "\xB1", u8"ｱ", L"\uFF71"},
        {"message text", "更新は完了しました。", u8"更新は完了しました。",
         L"\u66F4\u65B0\u306F\u5B8C\u4E86\u3057\u307E\u3057\u305F\u3002"},
    };
    for (const Row& row : rows) {
        const std::string utf8 = reinterpret_cast<const char*>(row.utf8);
        std::wstring wide;
        ASSERT_EQ(Cp932ToWide(row.cp932, &wide), 1) << row.name;
        EXPECT_EQ(wide, row.wide) << row.name;
        ASSERT_EQ(Utf8ToWide(utf8.c_str(), &wide), 1) << row.name;
        EXPECT_EQ(wide, row.wide) << row.name;
        std::string back;
        ASSERT_EQ(WideToCp932(row.wide.c_str(), &back), 1) << row.name;
        EXPECT_EQ(back, row.cp932) << row.name;
        ASSERT_EQ(WideToUtf8(row.wide.c_str(), &back), 1) << row.name;
        EXPECT_EQ(back, utf8) << row.name;
    }
}

TEST(Win32Text, TextsTheOtherSideCannotHoldAreRefused) {
    std::wstring wide;
    EXPECT_EQ(Cp932ToWide("a\x81", &wide), 0) << "lead byte without its second byte";
    std::string narrow;
    EXPECT_EQ(WideToCp932(L"caf\u00E9", &narrow), 0) << "no CP932 character, not even a best fit";
    EXPECT_EQ(WideToUtf8(L"\xD800x", &narrow), 0) << "unpaired surrogate";
    EXPECT_EQ(Utf8ToWide("\xC3", &wide), 0) << "cut UTF-8 sequence";
}
