// The Files division of the platform layer, run against whichever layer the
// build chose (POSIX or Win32).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <set>
#include <string>

#include "package/package_digests.h"
#include "platform/platform_digest.h"
#include "platform/platform_files.h"
#include "platform/platform_replacement.h"
#include "test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

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

// A copy's digest may still be hashing when the copy returns: each digest
// keeps its own bytes in their order, whichever is finished first, bytes
// added afterwards come after the copied ones, and a digest abandoned with
// blocks in flight is let go cleanly.
TEST_F(PlatformFilesTest, DigestsOfCopiesKeepTheirOwnBytesInOrder) {
    std::string large(3 * 1024 * 1024 + 5, '\0');
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i % 251);
    ASSERT_TRUE(WriteTestFile("large.bin", large));
    ASSERT_TRUE(WriteTestFile("small.bin", "small"));
    PlatformFile* sources[] = {OsOpenForReading("large.bin"), OsOpenForReading("small.bin"),
                               OsOpenForReading("large.bin")};
    PlatformDigest* digests[] = {OsBeginSha256(), OsBeginSha256(), OsBeginSha256()};
    const uint64_t sizes[] = {large.size(), 5, large.size()};
    for (int i = 0; i < 3; ++i) {
        const std::string name = "out" + std::to_string(i) + ".bin";
        ASSERT_TRUE(WriteTestFile(name.c_str(), ""));
        PlatformFile* out = OsOpenExistingForWriting(name.c_str());
        ASSERT_TRUE(sources[i] != nullptr && digests[i] != nullptr && out != nullptr);
        EXPECT_EQ(OsCopyFileRange(sources[i], 0, sizes[i], out, digests[i]), 1) << name;
        OsCloseFile(out);
        OsCloseFile(sources[i]);
    }
    OsAbandonDigest(digests[2]);
    EXPECT_EQ(OsAddToDigest(digests[0], "tail", 4), 1);
    unsigned char got[2][kSha256Size];
    ASSERT_EQ(OsFinishDigest(digests[1], got[1]), 1);
    ASSERT_EQ(OsFinishDigest(digests[0], got[0]), 1);
    unsigned char expected[2][kSha256Size];
    ASSERT_EQ(DigestOfBytes((large + "tail").data(), large.size() + 4, expected[0]), 1);
    ASSERT_EQ(DigestOfBytes("small", 5, expected[1]), 1);
    EXPECT_EQ(std::memcmp(got[0], expected[0], kSha256Size), 0) << "the copied bytes, then the added ones";
    EXPECT_EQ(std::memcmp(got[1], expected[1], kSha256Size), 0);
    std::string copied;
    ASSERT_TRUE(ReadTestFile("out0.bin", &copied));
    EXPECT_TRUE(copied == large);
}

TEST_F(PlatformFilesTest, WhatCannotBeOpened) {
    ASSERT_TRUE(MakeTestFolder("folder"));
    EXPECT_EQ(OsOpenForReading("missing.txt"), nullptr);
    EXPECT_EQ(OsOpenForReading("folder"), nullptr) << "a folder is no file to read";
    EXPECT_EQ(OsOpenExistingForWriting("no-such-folder\\f.txt"), nullptr) << "nothing is created";
    EXPECT_EQ(OsOpenForReading("\x81"), nullptr) << "a broken Shift_JIS name";
#ifndef _WIN32
    // A pipe named like a save or a patched file must not hang the update.
    ASSERT_EQ(mkfifo(NativeTestPath("pipe").c_str(), 0600), 0);
    EXPECT_EQ(OsOpenForReading("pipe"), nullptr);
    EXPECT_EQ(OsOpenExistingForWriting("pipe"), nullptr);
#endif
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

// The entries of a folder of the test, as native names.
std::set<std::filesystem::path> FolderEntries(const char* folder) {
    std::set<std::filesystem::path> names;
    for (const auto& entry : std::filesystem::directory_iterator(NativeTestPath(folder)))
        names.insert(entry.path().filename());
    return names;
}

bool WriteAll(PlatformReplacement* replacement, const std::string& bytes) {
    return OsWriteFile(OsReplacementFile(replacement), bytes.data(), static_cast<uint32_t>(bytes.size())) == 1;
}

TEST_F(PlatformFilesTest, ReplacementShowsTheOldContentUntilItIsCommitted) {
    ASSERT_TRUE(MakeTestFolder("ソフト"));
    ASSERT_TRUE(WriteTestFile("ソフト\\表示.txt", "old"));
    PlatformReplacement* replacement = OsBeginReplacement("ソフト\\表示.txt");
    ASSERT_NE(replacement, nullptr);
    ASSERT_TRUE(WriteAll(replacement, "the new content"));
    std::string content;
    ASSERT_TRUE(ReadTestFile("ソフト\\表示.txt", &content));
    EXPECT_EQ(content, "old");
    EXPECT_EQ(FolderEntries("ソフト").size(), 2u) << "the new file lies beside the old one";
    ASSERT_EQ(OsCommitReplacement(replacement), 1);
    ASSERT_TRUE(ReadTestFile("ソフト\\表示.txt", &content));
    EXPECT_EQ(content, "the new content");
    EXPECT_EQ(FolderEntries("ソフト"), std::set<std::filesystem::path>{NativeTestPath("ソフト\\表示.txt").filename()});

    // A file that does not exist yet is created the same way.
    replacement = OsBeginReplacement("ソフト\\新.txt");
    ASSERT_NE(replacement, nullptr);
    ASSERT_TRUE(WriteAll(replacement, "created"));
    ASSERT_EQ(OsCommitReplacement(replacement), 1);
    ASSERT_TRUE(ReadTestFile("ソフト\\新.txt", &content));
    EXPECT_EQ(content, "created");
    EXPECT_EQ(FolderEntries("ソフト").size(), 2u);
}

TEST_F(PlatformFilesTest, AbandonedAndInterruptedReplacementsLeaveTheOldFile) {
    ASSERT_TRUE(WriteTestFile("save.dat", "old"));
    const std::set<std::filesystem::path> before = FolderEntries(".");
    PlatformReplacement* replacement = OsBeginReplacement("save.dat");
    ASSERT_NE(replacement, nullptr);
    ASSERT_TRUE(WriteAll(replacement, "half"));
    // The new file's name, to leave one behind later as a killed run would.
    const std::set<std::filesystem::path> during = FolderEntries(".");
    std::filesystem::path leftover;
    std::set_difference(during.begin(), during.end(), before.begin(), before.end(), &leftover);
    ASSERT_FALSE(leftover.empty());
    OsAbandonReplacement(replacement);
    std::string content;
    ASSERT_TRUE(ReadTestFile("save.dat", &content));
    EXPECT_EQ(content, "old");
    EXPECT_EQ(FolderEntries("."), before);

    ASSERT_TRUE(WriteTestFile("other.dat", "x"));
    std::filesystem::copy_file(NativeTestPath("other.dat"), leftover);
    OsRemoveReplacementLeftover("other.dat");
    EXPECT_TRUE(std::filesystem::exists(leftover)) << "only the leftover of the named file goes";
    OsRemoveReplacementLeftover("save.dat");
    EXPECT_FALSE(std::filesystem::exists(leftover));
    ASSERT_TRUE(ReadTestFile("save.dat", &content));
    EXPECT_EQ(content, "old");

    EXPECT_EQ(OsBeginReplacement("no-such-folder\\f.txt"), nullptr);
}

TEST_F(PlatformFilesTest, FolderListingNamesFilesAndFolders) {
    ASSERT_TRUE(MakeTestFolder("list\\sub"));
    ASSERT_TRUE(WriteTestFile("list\\save001.sav", "1"));
    ASSERT_TRUE(WriteTestFile("list\\表示.txt", "2"));
    // A name Shift_JIS cannot hold is passed over.
    std::filesystem::path accented = NativeTestPath("list");
    accented /= std::filesystem::path(u8"caf\u00e9.txt");
    std::filesystem::copy_file(NativeTestPath("list\\save001.sav"), accented);

    PlatformFolderListing* listing = OsOpenFolderListing("list");
    ASSERT_NE(listing, nullptr);
    std::set<std::string> found;
    char name[260];
    int isFolder = -1;
    while (OsNextFolderEntry(listing, name, sizeof name, &isFolder) == 1) {
        found.insert(std::string(name) + (isFolder ? "/" : ""));
    }
    OsCloseFolderListing(listing);
    EXPECT_EQ(found, (std::set<std::string>{"sub/", "save001.sav", "表示.txt"}));

    // A name that does not fit the caller's field is passed over too.
    listing = OsOpenFolderListing("list");
    ASSERT_NE(listing, nullptr);
    found.clear();
    while (OsNextFolderEntry(listing, name, 9, &isFolder) == 1) found.insert(name);
    OsCloseFolderListing(listing);
    EXPECT_EQ(found, (std::set<std::string>{"sub", "表示.txt"}));

    EXPECT_EQ(OsOpenFolderListing("missing"), nullptr);
    EXPECT_EQ(OsOpenFolderListing("list\\save001.sav"), nullptr);
}

}  // namespace
