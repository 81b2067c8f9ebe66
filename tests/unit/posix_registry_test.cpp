#include "platform/posix/posix_registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "platform/platform_registry.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// 表 (0x95 0x5C) has a '\' second byte: in the key, and before the closing
// quote of a text, where it must not escape the quote.
const std::string kGame = "[HKEY_CURRENT_USER\\Software\\表\\Game]";

class PosixRegistryTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        path_ = folder_ + "/registry.reg";
        registry_ = std::make_unique<ScopedEnvironment>("UPDATER_REGISTRY", path_.c_str());
    }

    static void WriteFile(const std::string& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }
    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Sets the game key's Version to 1020 (hex:fc,03,00,00).
    static int SetVersion() {
        PlatformRegistryKey* key = OsOpenRegistryKey("Software\\表\\Game");
        if (key == nullptr) return 0;
        const int set = OsSetRegistryBinaryNumber(key, "Version", 1020);
        OsCloseRegistryKey(key);
        return set;
    }
    int FilesInFolder() const {
        return static_cast<int>(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()));
    }

    std::string path_;
    std::unique_ptr<ScopedEnvironment> registry_;
};

}  // namespace

TEST(RegistryFilePath, ExplicitThenConfigHomeThenHome) {
    // path: nullptr for none.
    struct Row { const char* name; const char* registry; const char* configHome; const char* home; const char* path; }
    rows[] = {
        {"explicit wins", "/r/x.reg", "/c", "/h", "/r/x.reg"},
        {"config home", nullptr, "/c", "/h", "/c/updater/registry.reg"},
        {"empty explicit ignored", "", "/c", "/h", "/c/updater/registry.reg"},
        {"relative config home ignored", nullptr, "c", "/h", "/h/.config/updater/registry.reg"},
        {"home", nullptr, nullptr, "/h", "/h/.config/updater/registry.reg"},
        {"nothing", nullptr, nullptr, nullptr, nullptr},
    };
    for (const Row& row : rows) {
        ScopedEnvironment registry("UPDATER_REGISTRY", row.registry);
        ScopedEnvironment configHome("XDG_CONFIG_HOME", row.configHome);
        ScopedEnvironment home("HOME", row.home);
        std::string path;
        const int found = RegistryFilePath(&path);
        EXPECT_EQ(found, row.path != nullptr) << row.name;
        if (found && row.path != nullptr) {
            EXPECT_EQ(path, row.path) << row.name;
        }
    }
}

TEST_F(PosixRegistryTest, ReadsTheLastOccurrenceOfEveryValueTypeAsItsBytes) {
    WriteFile(path_, "REGEDIT4\n\n" + kGame + "\n\"Version\"=dword:00000001\n"
                     "[HKEY_CURRENT_USER\\Software\\Other]\n\"InstallFolder\"=\"wrong key\"\n\n" +
                     kGame + "\n"
                     "\"InstallFolder\"=\"C:\\\\Games\\\\表\"\n"
                     "\"Quote\"=\"say \\\"hi\\\"\"\n"
                     "\"Version\"=dword:00000002\n"
                     "\"Version\"=dword:000003fc\n"
                     "\"AddContents\"=hex:01,00,00,00\n"
                     "\"Long\"=hex:01,02,03,\\\n"
                     "  04\n"
                     "\"Expand\"=hex(2):41,00\n"
                     "\"Short\"=hex:01,02\n"
                     "\"Broken\"=dword:xyz\n");
    // Key and value names compare without case.
    PlatformRegistryKey* key = OsOpenRegistryKey("software\\表\\GAME");
    ASSERT_NE(key, nullptr);

    struct TextRow { const char* name; size_t capacity; const char* text; } texts[] = {
        {"installfolder", 12, "C:\\Games\\表"},  // 11 bytes and the zero
        {"InstallFolder", 11, nullptr},
        {"Quote", 260, "say \"hi\""},
        {"Short", 3, "\x01\x02"},  // a binary value reads as text too, its zero added
        {"Missing", 260, nullptr},
    };
    for (const TextRow& row : texts) {
        char text[260];
        EXPECT_EQ(OsQueryRegistryText(key, row.name, text, row.capacity), row.text != nullptr)
            << row.name << " in " << row.capacity;
        if (row.text != nullptr) {
            EXPECT_STREQ(text, row.text) << row.name;
        }
    }
    struct NumberRow { const char* name; int found; uint32_t value; } numbers[] = {
        {"Version", 1, 0x3FC},         // dword
        {"AddContents", 1, 1},         // hex
        {"Long", 1, 0x04030201},       // hex over two lines
        {"Short", 0, 0},               // two bytes are no number
        {"Expand", 0, 0},              // nor is a two-byte hex(2)
        {"Quote", 0, 0},               // nor a string of 9 bytes
        {"Broken", 0, 0},              // malformed data reads as missing
        {"Missing", 0, 0},
    };
    for (const NumberRow& row : numbers) {
        uint32_t value = 0;
        EXPECT_EQ(OsQueryRegistryNumber(key, row.name, &value), row.found) << row.name;
        if (row.found) {
            EXPECT_EQ(value, row.value) << row.name;
        }
    }
    OsCloseRegistryKey(key);
}

TEST_F(PosixRegistryTest, OpensOnlyAnExistingKeyOfTheCurrentUser) {
    EXPECT_EQ(OsOpenRegistryKey("Software\\Other"), nullptr) << "no file";
    WriteFile(path_,
              "REGEDIT4\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Machine]\n"
              "[-HKEY_CURRENT_USER\\Software\\Deleted]\n"
              "[HKEY_CURRENT_USER\\Software\\Other]\n");
    struct Row { const char* subkey; bool opens; } rows[] = {
        {"Software\\Other", true}, {"Software\\Machine", false}, {"Software\\Deleted", false},
        {"Software", false}, {"Software\\Other\\Deeper", false},
    };
    for (const Row& row : rows) {
        PlatformRegistryKey* key = OsOpenRegistryKey(row.subkey);
        EXPECT_EQ(key != nullptr, row.opens) << row.subkey;
        OsCloseRegistryKey(key);
    }
    // No file of the registry's: a pipe nobody writes is not waited for, a
    // huge file is not read.
    fs::remove(path_);
    ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);
    EXPECT_EQ(OsOpenRegistryKey("Software\\Other"), nullptr) << "a pipe";
    fs::remove(path_);
    WriteFile(path_, "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Other]\n");
    fs::resize_file(path_, (std::uintmax_t{16} << 20) + 1);
    EXPECT_EQ(OsOpenRegistryKey("Software\\Other"), nullptr) << "a file of more than 16 MiB";
}

TEST_F(PosixRegistryTest, WriteChangesOnlyTheValueLine) {
    const std::string other = "[HKEY_CURRENT_USER\\Software\\Other]\n";
    const std::string version = "\"Version\"=hex:fc,03,00,00";
    struct Row { const char* name; std::string before; std::string after; } rows[] = {
        {"replaced, every other line kept",
         "REGEDIT4\n; kept as it is\n\n" + kGame + "\n\"InstallFolder\"=\"/games/表示\"\n\"Version\"=dword:000003e8\n"
             "\"AddContents\"=dword:00000001\n\n" + other + "\"Version\"=hex:01,02,\\\n  03,04\n",
         "REGEDIT4\n; kept as it is\n\n" + kGame + "\n\"InstallFolder\"=\"/games/表示\"\n" + version + "\n"
             "\"AddContents\"=dword:00000001\n\n" + other + "\"Version\"=hex:01,02,\\\n  03,04\n"},
        {"last occurrence replaced",
         kGame + "\n\"Version\"=dword:000003e8\n" + other + "\"Version\"=dword:00000001\n" + kGame +
             "\n\"Version\"=dword:000003f2\n",
         kGame + "\n\"Version\"=dword:000003e8\n" + other + "\"Version\"=dword:00000001\n" + kGame + "\n" +
             version + "\n"},
        {"added before the next key", kGame + "\n\"InstallFolder\"=\"/g\"\n\n" + other,
         kGame + "\n\"InstallFolder\"=\"/g\"\n" + version + "\n\n" + other},
        {"added after a last line without line end", kGame + "\r\n\"InstallFolder\"=\"/g\"",
         kGame + "\r\n\"InstallFolder\"=\"/g\"\r\n" + version + "\r\n"},
        {"added to an empty key", kGame + "\n", kGame + "\n" + version + "\n"},
        {"added after a hex list left open, a blank line between",
         kGame + "\n\"Data\"=hex:01,02\\\n", kGame + "\n\"Data\"=hex:01,02\\\n\n" + version + "\n"},
        {"added after an open hex list without line end", kGame + "\n\"Data\"=hex:01\\",
         kGame + "\n\"Data\"=hex:01\\\n\n" + version + "\n"},
        {"CR LF line ends kept", "REGEDIT4\r\n\r\n" + kGame + "\r\n\"Version\"=dword:000003e8\r\n",
         "REGEDIT4\r\n\r\n" + kGame + "\r\n" + version + "\r\n"},
        {"CR line ends read and kept", "REGEDIT4\r\r" + kGame + "\r\"Version\"=dword:000003e8\r",
         "REGEDIT4\r\r" + kGame + "\r" + version + "\r"},
    };
    for (const Row& row : rows) {
        WriteFile(path_, row.before);
        EXPECT_EQ(SetVersion(), 1) << row.name;
        EXPECT_EQ(ReadFile(path_), row.after) << row.name;
    }
}

// A last value whose hex list ends in a continuation mark once took the
// added Version line into its list: the update said it was done, and the
// next run read the old version.
TEST_F(PosixRegistryTest, VersionAddedAfterAnOpenHexListReadsBack) {
    for (const std::string tail : {"\"Data\"=hex:01,\\\n", "\"Data\"=hex:01\\\n", "\"Data\"=hex:01\\"}) {
        WriteFile(path_, kGame + "\n" + tail);
        PlatformRegistryKey* key = OsOpenRegistryKey("Software\\表\\Game");
        ASSERT_NE(key, nullptr);
        char before[16] = {};
        const int dataBefore = OsQueryRegistryText(key, "Data", before, sizeof before);
        OsCloseRegistryKey(key);

        ASSERT_EQ(SetVersion(), 1) << tail;
        key = OsOpenRegistryKey("Software\\表\\Game");
        ASSERT_NE(key, nullptr);
        uint32_t version = 0;
        EXPECT_EQ(OsQueryRegistryNumber(key, "Version", &version), 1) << tail;
        EXPECT_EQ(version, 1020u) << tail;
        char after[16] = {};
        EXPECT_EQ(OsQueryRegistryText(key, "Data", after, sizeof after), dataBefore) << tail;
        EXPECT_STREQ(after, before) << tail;
        OsCloseRegistryKey(key);
    }
}

// Each continuation line once made the reader parse the whole value so far
// again: a value of a few megabytes took hours.
TEST_F(PosixRegistryTest, LongContinuedHexListIsReadInOnePass) {
    std::string content = kGame + "\n\"Long\"=hex:01,02,03,04";
    for (int i = 0; i < 400000; ++i) content += ",\\\n  ff";
    WriteFile(path_, content + "\n\"Version\"=dword:000003e8\n");
    PlatformRegistryKey* key = OsOpenRegistryKey("Software\\表\\Game");
    ASSERT_NE(key, nullptr);
    uint32_t version = 0;
    EXPECT_EQ(OsQueryRegistryNumber(key, "Version", &version), 1);
    EXPECT_EQ(version, 1000u);
    EXPECT_EQ(OsQueryRegistryNumber(key, "Long", &version), 0) << "400004 bytes are no number";
    OsCloseRegistryKey(key);
}

// The rewrite makes a new file and renames it over the old one: through a
// symbolic link it replaces the file the link names, a hard link taken before
// still holds the old content, nothing is left beside it, and the file keeps
// its permissions.
TEST_F(PosixRegistryTest, RewriteReplacesTheFileWhole) {
    const std::string real = folder_ + "/real.reg";
    const std::string before = kGame + "\n\"Version\"=dword:000003e8\n";
    WriteFile(real, before);
    chmod(real.c_str(), 0640);
    fs::create_hard_link(real, folder_ + "/before.reg");
    fs::create_symlink(real, path_);
    ASSERT_EQ(SetVersion(), 1);

    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_EQ(ReadFile(real), kGame + "\n\"Version\"=hex:fc,03,00,00\n");
    EXPECT_EQ(ReadFile(folder_ + "/before.reg"), before);
    EXPECT_EQ(FilesInFolder(), 3);
    struct stat info;
    ASSERT_EQ(stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(PosixRegistryTest, FailedRewriteIsReportedAndLeavesNothingBehind) {
    WriteFile(path_, kGame + "\n");
    PlatformRegistryKey* key = OsOpenRegistryKey("Software\\表\\Game");
    ASSERT_NE(key, nullptr);
    // A folder now stands where the file was, and no file replaces a folder.
    fs::remove(path_);
    fs::create_directories(path_ + "/inside");
    EXPECT_EQ(OsSetRegistryBinaryNumber(key, "Version", 1020), 0);
    OsCloseRegistryKey(key);
    EXPECT_EQ(FilesInFolder(), 1);
}
