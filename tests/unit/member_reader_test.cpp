#include "package/member_reader.h"

#include <gtest/gtest.h>

#include <string>

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
        const int waited = WaitMember(member);
        CloseMember(member);
        EXPECT_EQ(read, 1) << name;
        EXPECT_EQ(waited, 1) << name;
        return read == 1;
    }
};

TEST_F(MemberReaderTest, LongNameLayoutPlacesDataAfterFortyBytesPerEntry) {
    const std::string data = "0123456789HELLOworld";
    ASSERT_TRUE(WriteTestFile("p.dat", RawPackage('2', {{"first.txt", 0, 10}, {"second.txt", 10, 5}}, data)));
    PackageMember record;
    std::string content;
    ASSERT_TRUE(ReadWhole("second.txt", "p.dat", &content, &record));
    EXPECT_EQ(content, "HELLO");
    EXPECT_EQ(record.kind, kMemberPacked);
    EXPECT_EQ(record.dataOffset, 16u + 80u + 10u);
    EXPECT_EQ(record.size, 5u);
    ASSERT_TRUE(ReadWhole("first.txt", "p.dat", &content, &record));
    EXPECT_EQ(content, "0123456789");
    EXPECT_EQ(record.dataOffset, 16u + 80u);
}

TEST_F(MemberReaderTest, AnyOtherMarkerSelectsShortNameLayout) {
    for (char marker : {'1', '\0', '3'}) {
        ASSERT_TRUE(WriteTestFile("p.dat", RawPackage(marker, {{"a.txt", 0, 3}, {"b.txt", 3, 2}}, "abcde")));
        PackageMember record;
        std::string content;
        ASSERT_TRUE(ReadWhole("b.txt", "p.dat", &content, &record)) << int(marker);
        EXPECT_EQ(content, "de");
        EXPECT_EQ(record.dataOffset, 16u + 48u + 3u);
    }
}

TEST_F(MemberReaderTest, LooseFileTakesPrecedence) {
    ASSERT_TRUE(WriteTestFile("p.dat", RawPackage('2', {{"Update.ini", 0, 6}}, "packed")));
    ASSERT_TRUE(WriteTestFile("Update.ini", "loose!"));
    PackageMember record;
    std::string content;
    ASSERT_TRUE(ReadWhole("Update.ini", "p.dat", &content, &record));
    EXPECT_EQ(content, "loose!");
    EXPECT_EQ(record.kind, kMemberLoose);
    EXPECT_EQ(record.dataOffset, 0u);
}

TEST_F(MemberReaderTest, BaseNameMatchesWithoutRegardToCase) {
    ASSERT_TRUE(WriteTestFile("p.dat", RawPackage('2', {{"TITLE.OGG", 0, 3}}, "ogg")));
    std::string content;
    ASSERT_TRUE(ReadWhole("data\\bgm\\Title.ogg", "p.dat", &content));
    EXPECT_EQ(content, "ogg");
}

TEST_F(MemberReaderTest, FirstOfDuplicateEntriesWins) {
    ASSERT_TRUE(WriteTestFile("p.dat", RawPackage('2', {{"a.txt", 0, 3}, {"A.TXT", 3, 3}}, "onetwo")));
    std::string content;
    ASSERT_TRUE(ReadWhole("a.txt", "p.dat", &content));
    EXPECT_EQ(content, "one");
}

TEST_F(MemberReaderTest, NameWithBackslashTrailByteIsFound) {
    // 表示.txt in the package, asked for below a folder: the 0x5C of 表 must
    // not be taken for a separator.
    ASSERT_TRUE(WriteTestFile("p.dat", RawPackage('2', {{"表示.txt", 0, 2}, {"ソ.dat", 2, 1}}, "hiX")));
    std::string content;
    ASSERT_TRUE(ReadWhole("data\\表示.txt", "p.dat", &content));
    EXPECT_EQ(content, "hi");
    ASSERT_TRUE(ReadWhole("ソ.dat", "p.dat", &content));
    EXPECT_EQ(content, "X");
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

TEST_F(MemberReaderTest, ZeroLengthLooseFileOpens) {
    ASSERT_TRUE(WriteTestFile("zero.txt", ""));
    PackageMember* member = OpenMember("zero.txt", nullptr);
    ASSERT_NE(member, nullptr);
    EXPECT_EQ(MemberSize(member), 0u);
    char byte = 'x';
    EXPECT_EQ(ReadMember(member, &byte), 1);
    CloseMember(member);
}

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
    EXPECT_EQ(WaitMember(member), 0);
    CloseMember(member);
    EXPECT_EQ(ReadMember(nullptr, buffer.data()), 0);
    EXPECT_EQ(WaitMember(nullptr), 0);
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
