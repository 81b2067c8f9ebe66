#include "package/package_digests.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "package/package_format.h"
#include "platform/platform_digest.h"
#include "test_support.h"

namespace {

// SHA-256 of "abc", from the standard's own example (FIPS 180-2).
constexpr char kAbcDigest[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

class PackageDigestsTest : public TempFolderTest {
protected:
    // Reads p.dat holding bytes. Returns the result; message_ says why.
    int Read(const std::string& bytes) {
        EXPECT_TRUE(WriteTestFile("p.dat", bytes));
        ReleasePackageDigests(&digests_);
        message_[0] = '\0';
        return ReadPackageDigests("p.dat", &digests_, message_, sizeof message_);
    }

    void TearDown() override {
        ReleasePackageDigests(&digests_);
        TempFolderTest::TearDown();
    }

    PackageDigests digests_{};
    char message_[kPackageMessageSize];
};

// Where a byte of the package lies: in a name field, a position pair or a
// member's data, by entry.
size_t NameField(size_t entry) { return 16 + 32 * entry; }
size_t SizeField(size_t entry, size_t count) { return 16 + 32 * count + 8 * entry + 4; }

TEST_F(PackageDigestsTest, EveryDamageOfAPackageWithDigestsIsFound) {
    // Entries: Update.ini, b.dat, abc.txt, then the list (entry 3).
    const std::string whole =
        DigestedPackage({{"Update.ini", "AppTitle = A\r\n"}, {"b.dat", "bbbb"}, {"abc.txt", "abc"}});
    ASSERT_FALSE(whole.empty());
    const size_t data = 16 + 4 * 40;
    const size_t list = data + 14 + 4 + 3;
    using Damage = std::function<void(std::string&)>;
    // told: what the message says; damaged: the entries FindDamagedMembers names.
    struct Row {
        const char* name;
        Damage damage;
        int result;
        const char* told;
        std::vector<uint32_t> damaged;
    } rows[] = {
        {"whole", [](std::string&) {}, kDigestsListed, "", {}},
        {"a bit of a member's data", [&](std::string& p) { p[data + 14 + 1] ^= 0x01; }, kDigestsListed, "", {1}},
        {"a bit of the script", [&](std::string& p) { p[data] ^= 0x40; }, kDigestsListed, "", {0}},
        {"a bit of a name", [](std::string& p) { p[NameField(1)] ^= 0x02; }, kPackageDamaged,
         "does not list member \"`.dat\" (entry 1)", {}},
        {"a size that stays inside the file", [](std::string& p) { p[SizeField(1, 4)] ^= 0x01; }, kPackageDamaged,
         "the header or directory does not match its digest", {}},
        {"a bit of the tag", [](std::string& p) { p[3] ^= 0x01; }, kPackageDamaged,
         "the header or directory does not match its digest", {}},
        {"the list's name", [](std::string& p) { p[NameField(3)] ^= 0x01; }, kPackageDamaged,
         "\"@SHA256SUMS\" is not in its directory", {}},
        {"a digit of the list in upper case", [&](std::string& p) { p[list + 77] = 'A'; }, kPackageDamaged,
         "does not list member \"Update.ini\" (entry 0)", {}},
        {"a name of the list", [&](std::string& p) { p[list + 77 + 66] ^= 0x01; }, kPackageDamaged,
         "does not list member \"Update.ini\" (entry 0)", {}},
        {"the list's size", [](std::string& p) { p[SizeField(3, 4)] ^= 0x04; }, kPackageDamaged,
         "is damaged: it has 296 bytes, where the list of this directory has 300", {}},
        {"cut short", [](std::string& p) { p.pop_back(); }, kPackageDamaged, "runs past the end of the file", {}},
        {"made without a list", [](std::string& p) {
             p = RawPackage('2', {{"a.dat", 0, 3}}, "abc");
         }, kDigestsAbsent, "", {}},
    };
    for (const Row& row : rows) {
        std::string bytes = whole;
        row.damage(bytes);
        EXPECT_EQ(Read(bytes), row.result) << row.name << ": " << message_;
        EXPECT_NE(std::strstr(message_, row.told), nullptr) << row.name << ": " << message_;
        std::vector<uint32_t> damaged;
        EXPECT_EQ(FindDamagedMembers("p.dat", digests_, &damaged), row.result == kDigestsListed ? 1 : 0) << row.name;
        EXPECT_EQ(damaged, row.damaged) << row.name;
    }

    // The member the updater opens for a name has the digest listed for it.
    ASSERT_EQ(Read(whole), kDigestsListed) << message_;
    const unsigned char* abc = ListedDigestOf(&digests_, "data\\ABC.TXT");
    ASSERT_NE(abc, nullptr);
    unsigned char digest[kSha256Size];
    std::memcpy(digest, abc, kSha256Size);
    EXPECT_EQ(DigestText(digest), kAbcDigest);
    EXPECT_EQ(ListedDigestOf(&digests_, kDigestListName), nullptr);
    EXPECT_EQ(ListedDigestOf(&digests_, "missing.dat"), nullptr);
}

}  // namespace
