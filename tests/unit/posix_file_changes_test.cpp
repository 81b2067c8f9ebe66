#include "platform/posix/posix_file_changes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "package/package_digests.h"
#include "platform/platform_digest.h"
#include "platform/platform_files.h"
#include "platform/platform_replacement.h"
#include "test_support.h"

namespace {

using PosixFileChangesTest = TempFolderTest;

// The fallback copy is only taken where the kernel refuses copy_file_range,
// or where the copy is hashed, so it is exercised directly.
TEST_F(PosixFileChangesTest, ChunkedCopyCopiesAndHashesExactlyTheRange) {
    std::string source(2 * 1024 * 1024 + 100, '\0');
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<char>(i % 251);
    ASSERT_TRUE(WriteTestFile("source.bin", source));
    ASSERT_TRUE(WriteTestFile("out.bin", "head"));
    const int in = open("source.bin", O_RDONLY);
    const int out = open("out.bin", O_WRONLY);
    const uint64_t count = source.size() - 7 - 3;
    PlatformDigest* digest = OsBeginSha256();
    EXPECT_EQ(CopyRangeInChunks(in, 7, out, 4, count, digest), 1);
    unsigned char copiedDigest[kSha256Size];
    unsigned char rangeDigest[kSha256Size];
    ASSERT_EQ(OsFinishDigest(digest, copiedDigest), 1);
    ASSERT_EQ(DigestOfBytes(source.data() + 7, count, rangeDigest), 1);
    EXPECT_EQ(std::memcmp(copiedDigest, rangeDigest, kSha256Size), 0) << "every chunk is hashed once, in order";
    EXPECT_EQ(CopyRangeInChunks(in, 7, out, 4, source.size(), nullptr), 0) << "the source ends early";
    close(in);
    close(out);
    std::string copied;
    ASSERT_TRUE(ReadTestFile("out.bin", &copied));
    ASSERT_GE(copied.size(), 4 + count);
    EXPECT_EQ(copied.substr(0, 4), "head");
    EXPECT_TRUE(copied.compare(4, count, source, 7, count) == 0);
}

TEST_F(PosixFileChangesTest, RangeCopyLeavesTheDestinationAfterItsBytes) {
    ASSERT_TRUE(WriteTestFile("source.bin", "0123456789"));
    PlatformFile* source = OsOpenForReading("source.bin");
    ASSERT_TRUE(WriteTestFile("out.bin", ""));
    PlatformFile* destination = OsOpenExistingForWriting("out.bin");
    ASSERT_TRUE(source != nullptr && destination != nullptr);
    EXPECT_EQ(OsCopyFileRange(source, 2, 5, destination, nullptr), 1);
    EXPECT_EQ(OsWriteFile(destination, "|", 1), 1);
    EXPECT_EQ(OsCopyFileRange(source, 8, 3, destination, nullptr), 0) << "the source ends early";
    OsCloseFile(source);
    OsCloseFile(destination);
    std::string copied;
    ASSERT_TRUE(ReadTestFile("out.bin", &copied));
    EXPECT_EQ(copied.substr(0, 6), "23456|");
}

TEST_F(PosixFileChangesTest, FallbackRenameNeverReplaces) {
    ASSERT_TRUE(WriteTestFile("a.dat", "a"));
    ASSERT_TRUE(WriteTestFile("taken.dat", "taken"));
    ASSERT_TRUE(MakeTestFolder("dir"));
    ASSERT_TRUE(MakeTestFolder("empty"));
    EXPECT_EQ(RenameWithoutReplaceFlag("a.dat", "taken.dat"), 0);
    EXPECT_EQ(RenameWithoutReplaceFlag("dir", "empty"), 0) << "an empty folder is not replaced";
    EXPECT_EQ(RenameWithoutReplaceFlag("a.dat", "b.dat"), 1);
    EXPECT_EQ(RenameWithoutReplaceFlag("dir", "dir2"), 1);
    std::string content;
    EXPECT_TRUE(ReadTestFile("b.dat", &content) && content == "a");
    EXPECT_TRUE(ReadTestFile("taken.dat", &content) && content == "taken");
    EXPECT_FALSE(ReadTestFile("a.dat", &content));
    struct stat info;
    EXPECT_EQ(stat("dir2", &info), 0);
    EXPECT_NE(stat("dir", &info), 0);
}

}  // namespace

// Run as root, what the program replaces keeps its owner, and what it makes
// goes to the owner of its folder, so that the game can still write it.
TEST_F(PosixFileChangesTest, FilesAndFoldersKeepTheirOwners) {
    if (geteuid() != 0) GTEST_SKIP() << "only root can give files away";
    ASSERT_TRUE(MakeTestFolder("game"));
    ASSERT_TRUE(WriteTestFile("game\\old.dat", "old"));
    ASSERT_EQ(chown((folder_ + "/game").c_str(), 1234, 1234), 0);
    ASSERT_EQ(chown((folder_ + "/game/old.dat").c_str(), 4321, 4321), 0);
    for (const char* name : {"game\\old.dat", "game\\new.dat"}) {
        PlatformReplacement* replacement = OsBeginReplacement(name);
        ASSERT_NE(replacement, nullptr);
        ASSERT_EQ(OsCommitReplacement(replacement), 1);
    }
    ASSERT_EQ(OsCreateFolder("game\\menu"), 1);
    struct Row { const char* path; uid_t owner; } rows[] = {
        {"/game/old.dat", 4321}, {"/game/new.dat", 1234}, {"/game/menu", 1234},
    };
    for (const Row& row : rows) {
        struct stat info;
        ASSERT_EQ(stat((folder_ + row.path).c_str(), &info), 0) << row.path;
        EXPECT_EQ(info.st_uid, row.owner) << row.path;
    }
}
