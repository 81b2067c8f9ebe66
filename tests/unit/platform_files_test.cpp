// The Files division of the platform layer, run against whichever layer the
// build chose (POSIX or Win32).
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "platform/platform.h"
#include "test_support.h"

// Sources are compiled with a CP932 execution charset: 表 is 0x95 0x5C and
// ソ is 0x83 0x5C, both with a '\' as their second byte.

namespace {

using PlatformFilesTest = TempFolderTest;

TEST_F(PlatformFilesTest, ReadDeliversUpToTheEndThenShort) {
    ASSERT_TRUE(WriteTestFile("f.bin", "0123456789"));
    PlatformFile* file = OsOpenForReading("f.bin");
    ASSERT_NE(file, nullptr);
    uint64_t length = 0;
    ASSERT_EQ(OsFileLength(file, &length), 1);
    EXPECT_EQ(length, 10u);
    char buffer[16] = {};
    uint32_t delivered = 99;
    ASSERT_EQ(OsReadFile(file, buffer, 4, &delivered), 1);
    EXPECT_EQ(std::string(buffer, delivered), "0123");
    ASSERT_EQ(OsSkipForward(file, 3), 1);
    ASSERT_EQ(OsReadFile(file, buffer, sizeof buffer, &delivered), 1) << "a short read is no failure";
    EXPECT_EQ(std::string(buffer, delivered), "789");
    ASSERT_EQ(OsReadFile(file, buffer, sizeof buffer, &delivered), 1);
    EXPECT_EQ(delivered, 0u);
    OsCloseFile(file);
}

TEST_F(PlatformFilesTest, WhatCannotBeOpened) {
    ASSERT_TRUE(MakeTestFolder("folder"));
    EXPECT_EQ(OsOpenForReading("missing.txt"), nullptr);
    EXPECT_EQ(OsOpenForReading("folder"), nullptr) << "a folder is no file to read";
    EXPECT_EQ(OsCreateForWriting("no-such-folder\\f.txt"), nullptr) << "folders are never created";
    EXPECT_EQ(OsOpenForReading("\x81"), nullptr) << "a broken Shift_JIS name";
}

TEST_F(PlatformFilesTest, ShiftJisNamesReachTheFileSystemWhole) {
    // The 0x5C second bytes must neither split a name nor a folder.
    ASSERT_TRUE(MakeTestFolder("ソフト"));
    ASSERT_TRUE(WriteTestFile("ソフト\\表示.txt", "hyouji"));
    EXPECT_TRUE(std::filesystem::is_regular_file(NativeTestPath("ソフト\\表示.txt")));
    std::string content;
    ASSERT_TRUE(ReadTestFile("ソフト\\表示.txt", &content));
    EXPECT_EQ(content, "hyouji");
    // Exactly one entry in the folder: nothing was created under a cut name.
    const std::filesystem::directory_iterator entries(NativeTestPath("ソフト"));
    EXPECT_EQ(std::distance(entries, std::filesystem::directory_iterator()), 1);
}

}  // namespace
