#include "package/member_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

class MemberReaderTest : public TempFolderTest {
protected:
    // Opens name and reads it whole; returns false when it cannot be opened.
    bool ReadWhole(const char* name, const char* package, std::string* content,
                   PackageMember* opened = nullptr) {
        PackageMember* member = OpenMember(name, package);
        if (member == nullptr) return false;
        if (opened != nullptr) *opened = *member;
        content->assign(MemberSize(member), '\0');
        const int read = ReadMember(member, content->data());
        CloseMember(member);
        EXPECT_EQ(read, 1) << name;
        return read == 1;
    }
};

TEST_F(MemberReaderTest, MarkerTwoSelectsLongNamesAnyOtherShortNames) {
    struct Row { char marker; uint32_t width; } rows[] = {{'2', 32}, {'1', 16}, {'\0', 16}, {'3', 16}};
    for (const Row& row : rows) {
        ASSERT_TRUE(WriteTestFile("p.dat", RawPackage(row.marker, {{"a.txt", 0, 10}, {"b.txt", 10, 5}},
                                                      "0123456789HELLO")));
        const uint32_t dataArea = 16 + 2 * (row.width + 8);
        PackageMember record;
        std::string content;
        ASSERT_TRUE(ReadWhole("b.txt", "p.dat", &content, &record)) << int(row.marker);
        EXPECT_EQ(content, "HELLO") << int(row.marker);
        EXPECT_EQ(record.dataOffset, dataArea + 10) << int(row.marker);
        ASSERT_TRUE(ReadWhole("a.txt", "p.dat", &content, &record)) << int(row.marker);
        EXPECT_EQ(content, "0123456789") << int(row.marker);
        EXPECT_EQ(record.dataOffset, dataArea) << int(row.marker);
    }
}

TEST_F(MemberReaderTest, LooseFileFirstThenFirstMemberOfTheBaseName) {
    ASSERT_TRUE(WriteTestFile("p.dat", RawPackage('2', {{"TITLE.OGG", 0, 3}, {"a.txt", 3, 3}, {"A.TXT", 6, 3},
                                                         {"表示.txt", 9, 2}, {"ソ.dat", 11, 1}, {"loose.txt", 12, 6}},
                                                   "oggonetwohiXpacked")));
    ASSERT_TRUE(WriteTestFile("loose.txt", "loose!"));
    ASSERT_TRUE(WriteTestFile("zero.txt", ""));
    // 表 and ソ have a '\' second byte, which must not be taken for a separator.
    struct Row { const char* name; const char* content; int32_t kind; } rows[] = {
        {"data\\bgm\\Title.ogg", "ogg", kMemberPacked},
        {"a.txt", "one", kMemberPacked},
        {"data\\表示.txt", "hi", kMemberPacked},
        {"ソ.dat", "X", kMemberPacked},
        {"loose.txt", "loose!", kMemberLoose},
        {"zero.txt", "", kMemberLoose},
    };
    for (const Row& row : rows) {
        PackageMember record;
        std::string content;
        ASSERT_TRUE(ReadWhole(row.name, "p.dat", &content, &record)) << row.name;
        EXPECT_EQ(content, row.content) << row.name;
        EXPECT_EQ(record.kind, row.kind) << row.name;
    }
}

TEST_F(MemberReaderTest, NotFoundCases) {
    ASSERT_TRUE(WriteTestFile("p.dat", RawPackage('2', {{"empty.txt", 0, 0}, {"", 0, 4}}, "data")));
    ASSERT_TRUE(WriteTestFile("none.dat", RawPackage('2', {}, "")));
    EXPECT_EQ(OpenMember("empty.txt", "p.dat"), nullptr) << "size 0 is not found";
    EXPECT_EQ(OpenMember("missing.txt", "p.dat"), nullptr);
    EXPECT_EQ(OpenMember("empty.txt", "none.dat"), nullptr) << "N = 0";
    EXPECT_EQ(OpenMember("empty.txt", nullptr), nullptr) << "no package named";
    EXPECT_EQ(OpenMember("empty.txt", "no-such-package.dat"), nullptr);
    // A name ending in '\' has an empty base name: it matches the empty field.
    PackageMember* emptyName = OpenMember("folder\\", "p.dat");
    ASSERT_NE(emptyName, nullptr);
    EXPECT_EQ(MemberSize(emptyName), 4u);
    CloseMember(emptyName);
}

// FieldEqualsNoCase is tested through this reader.
TEST_F(MemberReaderTest, NameFieldWithoutTerminatorMatchesOnlyItsFullWidth) {
    const std::string full(16, 'n');  // fills the short-name field, no zero
    ASSERT_TRUE(WriteTestFile("p.dat", RawPackage('1', {{full, 0, 2}, {"next", 2, 2}}, "abcd")));
    std::string content;
    ASSERT_TRUE(ReadWhole(full.c_str(), "p.dat", &content));
    EXPECT_EQ(content, "ab");
    EXPECT_EQ(OpenMember((full + "x").c_str(), "p.dat"), nullptr);
    ASSERT_TRUE(ReadWhole("next", "p.dat", &content));
    EXPECT_EQ(content, "cd");
}

TEST_F(MemberReaderTest, ShortReadOfTruncatedMemberFails) {
    ASSERT_TRUE(WriteTestFile("p.dat", RawPackage('2', {{"big.bin", 0, 100}}, "only ten b")));
    PackageMember* member = OpenMember("big.bin", "p.dat");
    ASSERT_NE(member, nullptr);
    std::string buffer(MemberSize(member), '\0');
    EXPECT_EQ(ReadMember(member, buffer.data()), 0);
    CloseMember(member);
    EXPECT_EQ(ReadMember(nullptr, buffer.data()), 0);
}

// The name fields are read in pieces: entries in later pieces, and the last
// one, are found as well as the first.
TEST_F(MemberReaderTest, EntriesInEveryPieceOfALongDirectoryAreFound) {
    std::vector<RawEntry> entries;
    std::string data;
    for (int i = 0; i < 5000; ++i) {
        entries.push_back({std::to_string(100000 + i), static_cast<uint32_t>(data.size()), 5});
        data += std::to_string(10000 + i);
    }
    for (char marker : {'2', '1'}) {
        ASSERT_TRUE(WriteTestFile("p.dat", RawPackage(marker, entries, data)));
        for (int i : {0, 2047, 2048, 4095, 4096, 4999}) {
            std::string content;
            ASSERT_TRUE(ReadWhole(std::to_string(100000 + i).c_str(), "p.dat", &content)) << i;
            EXPECT_EQ(content, std::to_string(10000 + i)) << i;
        }
        EXPECT_EQ(OpenMember("105000", "p.dat"), nullptr);
    }
}

// A large package whose member count is damaged once made the lookup hold the
// whole directory the count claims, as much as the file has.
TEST_F(MemberReaderTest, DamagedCountInALargePackageKeepsMemorySmall) {
    std::string bytes = RawPackage('2', {{"a.txt", 0, 1}}, "x", 0x7FFFFFFF);
    ASSERT_TRUE(WriteTestFile("p.dat", bytes));
    std::filesystem::resize_file(NativeTestPath("p.dat"), 100u << 20);  // sparse: zero name fields
    TakeLargestAllocation();
    EXPECT_EQ(OpenMember("b.txt", "p.dat"), nullptr);
    EXPECT_LT(TakeLargestAllocation(), 1u << 20);
}

TEST_F(MemberReaderTest, TruncatedDirectoryAndHeaderFindNothing) {
    // Count claims a million entries; only one is present.
    std::string bytes = RawPackage('2', {{"a.txt", 0, 1}}, "", 1000000);
    ASSERT_TRUE(WriteTestFile("p.dat", bytes));
    EXPECT_EQ(OpenMember("b.txt", "p.dat"), nullptr);
    // The entry's name is present but its position pair is not.
    EXPECT_EQ(OpenMember("a.txt", "p.dat"), nullptr);
    ASSERT_TRUE(WriteTestFile("short.dat", "abc"));
    EXPECT_EQ(OpenMember("a.txt", "short.dat"), nullptr);
}

}  // namespace
