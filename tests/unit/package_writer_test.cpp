#include "package/package_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "package/member_reader.h"
#include "package/package_directory.h"
#include "test_support.h"

// Sources are compiled with a CP932 execution charset: 表 is 0x95 0x5C and
// ソ is 0x83 0x5C, both with a '\' as their second byte.

namespace {

class PackageWriterTest : public TempFolderTest {
protected:
    int Write(PackageLayout layout, const std::vector<PackageSource>& sources) {
        message_[0] = '\0';
        return WritePackage("p.dat", layout, sources.data(), static_cast<uint32_t>(sources.size()), message_,
                            sizeof message_);
    }

    // Opens name through the member reader and returns its bytes.
    std::string ReadBack(const char* name, uint32_t* dataOffset = nullptr) {
        PackageMember* member = OpenMember(name, "p.dat");
        if (member == nullptr) return "<not found>";
        std::string content(MemberSize(member), '\0');
        const int read = ReadMember(member, content.data());
        if (dataOffset != nullptr) *dataOffset = member->dataOffset;
        CloseMember(member);
        return read ? content : "<unreadable>";
    }

    char message_[kPackageMessageSize];
};

// Bytes that differ from position to position, so that a member copied from
// the wrong offset or a chunk written twice cannot compare equal.
std::string Pattern(size_t length) {
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

TEST_F(PackageWriterTest, RoundTripThroughReaderInBothLayouts) {
    const std::string big = Pattern(200000);  // spans several copy chunks
    // Sources in a folder of their own, so that the reader cannot open them
    // loose in place of the members.
    ASSERT_TRUE(MakeTestFolder("src"));
    ASSERT_TRUE(WriteTestFile("src\\Update.ini", "[Update]\r\n"));
    ASSERT_TRUE(WriteTestFile("src\\表示.txt", "hyouji"));
    ASSERT_TRUE(WriteTestFile("src\\big.bin", big));
    ASSERT_TRUE(WriteTestFile("src\\abc.txt", "abc"));
    const std::vector<PackageSource> sources = {{"Update.ini", "src\\Update.ini"},
                                                {"表示.txt", "src\\表示.txt"},
                                                {"big.bin", "src\\big.bin"},
                                                {"abc.txt", "src\\abc.txt"}};

    struct Row { const char* name; PackageLayout layout; char marker; uint32_t width; } rows[] = {
        {"long names", kLongNameLayout, '2', 32},
        {"short names", kShortNameLayout, '1', 16},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(Write(row.layout, sources), kPackageWritten) << row.name << ": " << message_;
        std::string bytes;
        ASSERT_TRUE(ReadTestFile("p.dat", &bytes));
        const uint32_t dataArea = 16 + 5 * (row.width + 8);
        const size_t list = dataArea + 10 + 6 + big.size() + 3;
        // The digest list: the directory's line, then one line a member.
        ASSERT_EQ(bytes.size(), list + 77 + 77 + 75 + 74 + 74) << row.name;
        EXPECT_EQ(bytes.substr(0, 11), "UPDATER+SHA") << row.name;
        EXPECT_EQ(bytes[11], row.marker) << row.name;
        EXPECT_EQ(ReadLittleEndian32(reinterpret_cast<const unsigned char*>(&bytes[12])), 5u) << row.name;
        EXPECT_EQ(bytes.substr(list + 77 + 77 + 75 + 74),
                  "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad  abc.txt\n")
            << row.name << ": the SHA-256 of \"abc\" (FIPS 180-2)";
        // The second name field, zero-padded to its width.
        std::string field = "表示.txt";
        field.resize(row.width, '\0');
        EXPECT_EQ(bytes.substr(16 + row.width, row.width), field) << row.name;

        uint32_t dataOffset = 0;
        EXPECT_EQ(ReadBack("UPDATE.INI", &dataOffset), "[Update]\r\n") << row.name;
        EXPECT_EQ(dataOffset, dataArea) << row.name;
        EXPECT_EQ(ReadBack("data\\表示.txt", &dataOffset), "hyouji") << row.name;
        EXPECT_EQ(dataOffset, dataArea + 10) << row.name;
        EXPECT_EQ(ReadBack("big.bin", &dataOffset), big) << row.name;
        EXPECT_EQ(dataOffset, dataArea + 16) << row.name;
    }
}

TEST_F(PackageWriterTest, NamesFillingTheirFieldAreStoredWithoutTerminatorRoom) {
    ASSERT_TRUE(WriteTestFile("a", "A"));
    const std::string longest(31, 'L');
    const std::string shortest(15, 'S');
    ASSERT_EQ(Write(kLongNameLayout, {{longest.c_str(), "a"}}), kPackageWritten) << message_;
    EXPECT_EQ(ReadBack(longest.c_str()), "A");
    ASSERT_EQ(Write(kShortNameLayout, {{shortest.c_str(), "a"}}), kPackageWritten) << message_;
    EXPECT_EQ(ReadBack(shortest.c_str()), "A");
}

// Names are checked by MemberNameProblem and compared by EqualsNoCase, both
// tested on their own; these rows show that the writer asks them.
TEST_F(PackageWriterTest, RefusalsLeaveAnExistingPackageUntouched) {
    ASSERT_TRUE(WriteTestFile("a.txt", "a"));
    ASSERT_TRUE(WriteTestFile("b.txt", "b"));
    ASSERT_TRUE(WriteTestFile("empty.txt", ""));
    ASSERT_TRUE(MakeTestFolder("sub"));
    const std::string name32(32, 'n');
    struct Row { const char* name; std::vector<PackageSource> sources; const char* expected; } rows[] = {
        {"32 bytes in long layout", {{name32.c_str(), "a.txt"}}, "at most 31"},
        {"letter case duplicate", {{"Title.ogg", "a.txt"}, {"TITLE.OGG", "b.txt"}}, "letter case"},
        {"the digest list's name", {{"@sha256sums", "a.txt"}}, "digest list"},
        {"folder separator", {{"data\\a.txt", "a.txt"}}, "separator"},
        {"missing source", {{"a.txt", "a.txt"}, {"c.txt", "c.txt"}}, "cannot open"},
        {"empty source", {{"empty.txt", "empty.txt"}}, "size 0"},
        {"package as its own source", {{"p.dat", ".\\p.dat"}}, "itself"},
        {"package through another path", {{"p.dat", "sub\\..\\p.dat"}}, "itself"},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(WriteTestFile("p.dat", "previous package"));
        EXPECT_EQ(Write(kLongNameLayout, row.sources), kPackageRefused) << row.name;
        EXPECT_NE(std::string(message_).find(row.expected), std::string::npos) << row.name << ": " << message_;
        std::string bytes;
        ASSERT_TRUE(ReadTestFile("p.dat", &bytes));
        EXPECT_EQ(bytes, "previous package") << row.name;
    }
}

// The package's own file was once told by comparing path strings: a create
// over one of its sources through another name emptied that source, and the
// failed package was then removed with it.
TEST_F(PackageWriterTest, SourceThatIsThePackageByIdentityIsRefused) {
    ASSERT_TRUE(WriteTestFile("notes.txt", "my notes"));
    std::error_code error;
    std::filesystem::create_hard_link(NativeTestPath("notes.txt"), NativeTestPath("link.txt"), error);
    const bool linked = !error;
    const PackageSource notes{"notes.txt", "notes.txt"};
    EXPECT_EQ(WritePackage(".\\notes.txt", kLongNameLayout, &notes, 1, message_, sizeof message_), kPackageRefused);
    if (linked) {
        EXPECT_EQ(WritePackage("link.txt", kLongNameLayout, &notes, 1, message_, sizeof message_), kPackageRefused)
            << "a hard link is the same file";
    }
    std::string bytes;
    ASSERT_TRUE(ReadTestFile("notes.txt", &bytes));
    EXPECT_EQ(bytes, "my notes");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), std::filesystem::directory_iterator()),
              linked ? 2 : 1)
        << "nothing left beside the source";
}

}  // namespace
