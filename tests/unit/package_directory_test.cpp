#include "package/package_directory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

// Sources are compiled with a CP932 execution charset: 表 is 0x95 0x5C and
// ソ is 0x83 0x5C, both with a '\' as their second byte.

namespace {

class PackageDirectoryTest : public TempFolderTest {
protected:
    int Inspect(const std::string& bytes) {
        EXPECT_TRUE(WriteTestFile("p.dat", bytes));
        ReleasePackageDirectory(&directory_);
        message_[0] = '\0';
        return ReadPackageDirectory("p.dat", &directory_, message_, sizeof message_);
    }

    void TearDown() override {
        ReleasePackageDirectory(&directory_);
        TempFolderTest::TearDown();
    }

    PackageDirectory directory_{};
    char message_[kPackageMessageSize];
};

TEST_F(PackageDirectoryTest, EntriesCarryTheirPositionsInEitherLayout) {
    // The last two members end exactly at the end of the file.
    const std::vector<RawEntry> entries = {{"表示.txt", 0, 4}, {"b.bin", 4, 3}, {"zero", 7, 0}};
    struct Row { char marker; PackageLayout layout; uint32_t width; } rows[] = {
        {'2', kLongNameLayout, 32}, {'\0', kShortNameLayout, 16}};
    for (const Row& row : rows) {
        ASSERT_EQ(Inspect(RawPackage(row.marker, entries, "abcdxyz")), 1) << message_;
        const uint32_t dataArea = 16 + 3 * (row.width + 8);
        EXPECT_EQ(directory_.layout, row.layout);
        EXPECT_EQ(directory_.dataAreaStart, dataArea);
        EXPECT_EQ(directory_.fileLength, dataArea + 7);
        ASSERT_EQ(directory_.count, 3u);
        for (uint32_t i = 0; i < 3; ++i) {
            EXPECT_EQ(entries[i].name, directory_.entries[i].name) << i;
            EXPECT_EQ(directory_.entries[i].offset, entries[i].offset) << i;
            EXPECT_EQ(directory_.entries[i].size, entries[i].size) << i;
            EXPECT_EQ(directory_.entries[i].dataStart, dataArea + entries[i].offset) << i;
        }
    }
}

TEST_F(PackageDirectoryTest, InconsistentPackagesAreNamedAndRefused) {
    const std::string unterminated(16, 'u');
    struct Row { const char* name; std::string bytes; const char* expected; } rows[] = {
        {"empty file", "", "truncated header"},
        {"header cut short", std::string("UPDATERPACK2\x01\0\0", 15), "truncated header"},
        {"directory past the end", RawPackage('2', {{"a", 0, 1}}, "", 2), "directory runs past the end"},
        {"count far too large", RawPackage('2', {}, "", 0xFFFFFFFFu), "directory runs past the end"},
        {"member past the end", RawPackage('2', {{"a", 0, 1}, {"b", 1, 5}}, "xyz"),
         "member \"b\" (entry 1) runs past the end"},
        {"member one byte past the end", RawPackage('2', {{"a", 1, 3}}, "abc"), "runs past the end"},
        {"offset past the end", RawPackage('1', {{"a", 0x7FFFFFFF, 1}}, "x"), "runs past the end"},
        {"name without zero", RawPackage('1', {{unterminated, 0, 1}}, "x"), "no terminating zero"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Inspect(row.bytes), 0) << row.name;
        EXPECT_NE(std::string(message_).find(row.expected), std::string::npos) << row.name << ": " << message_;
        EXPECT_EQ(directory_.entries, nullptr) << row.name;
        EXPECT_EQ(directory_.count, 0u) << row.name;
    }
    EXPECT_EQ(ReadPackageDirectory("missing.dat", &directory_, message_, sizeof message_), 0);
    EXPECT_NE(std::string(message_).find("cannot open"), std::string::npos) << message_;
}

TEST_F(PackageDirectoryTest, FindPackageEntryTakesTheFirstEqualName) {
    ASSERT_EQ(Inspect(RawPackage('2', {{"a.txt", 0, 1}, {"TITLE.OGG", 1, 1}, {"Title.ogg", 2, 1}}, "xyz")), 1);
    EXPECT_EQ(FindPackageEntry(&directory_, "title.ogg"), 1);
    EXPECT_EQ(FindPackageEntry(&directory_, "A.TXT"), 0);
    EXPECT_EQ(FindPackageEntry(&directory_, "b.txt"), -1);
}

TEST_F(PackageDirectoryTest, FirstOfEachNameIsTheEntryTheUpdaterOpens) {
    ASSERT_EQ(Inspect(RawPackage('2', {{"a.txt", 0, 1}, {"表示.txt", 0, 1}, {"A.TXT", 0, 1}, {"b", 0, 1},
                                       {"表示.TXT", 0, 1}, {"a.txt", 0, 1}},
                                 "x")),
              1) << message_;
    std::vector<uint32_t> firstOf(directory_.count);
    ASSERT_EQ(FindFirstOfEachName(&directory_, firstOf.data()), 1);
    EXPECT_EQ(firstOf, (std::vector<uint32_t>{0, 1, 0, 3, 1, 0}));
}

// Extracting every member once looked each name up from the start of the
// directory: a directory of a few megabytes took minutes.
TEST_F(PackageDirectoryTest, FirstOfEachNameInALargeDirectoryTakesOnePass) {
    std::vector<RawEntry> entries;
    for (uint32_t i = 0; i < 200000; ++i) entries.push_back({std::to_string(i) + "m", 0, 1});
    entries.push_back({"199999M", 0, 1});
    ASSERT_EQ(Inspect(RawPackage('2', entries, "x")), 1) << message_;
    std::vector<uint32_t> firstOf(directory_.count);
    ASSERT_EQ(FindFirstOfEachName(&directory_, firstOf.data()), 1);
    EXPECT_EQ(firstOf[123456], 123456u);
    EXPECT_EQ(firstOf[200000], 199999u);
}

TEST(MemberNameProblem, AcceptsPlainFileNamesOnly) {
    struct Row { const char* name; bool usable; } rows[] = {
        {"Title.ogg", true},
        {"表示.txt", true},          // trail byte 0x5C is no separator
        {"\xB1\xB2\xB3.txt", true},  // half-width katakana, single bytes
        {"..a", true}, {"", false}, {".", false}, {"..", false}, {"data\\a.txt", false}, {"data/a.txt", false},
        {"C:a.txt", false}, {"a\tb", false},
        {"a\x81", false},      // lead byte without its second byte
        {"\x81\x20x", false},  // a space cannot be a second byte
    };
    for (const Row& row : rows) {
        EXPECT_EQ(MemberNameProblem(row.name) == nullptr, row.usable) << row.name;
    }
}

}  // namespace
