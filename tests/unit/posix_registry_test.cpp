#include "platform/posix/posix_registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        hadValue_ = old != nullptr;
        if (hadValue_) old_ = old;
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnvironment() {
        if (hadValue_) {
            setenv(name_, old_.c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    bool hadValue_ = false;
    std::string old_;
};

class PosixRegistryTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        path_ = folder_ + "/registry.reg";
        registry_ = std::make_unique<ScopedEnvironment>("UPDATER_REGISTRY", path_.c_str());
    }
    void TearDown() override {
        registry_.reset();
        TempFolderTest::TearDown();
    }

    void WriteRegistry(const std::string& content) {
        std::ofstream(path_, std::ios::binary) << content;
    }
    std::string ReadRegistry() {
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Opens subkey, sets Version to number and closes it again.
    int SetVersion(const char* subkey, uint32_t number) {
        PlatformRegistryKey* key = OsOpenRegistryKey(subkey);
        if (key == nullptr) return 0;
        const int set = OsSetRegistryBinaryNumber(key, "Version", number);
        OsCloseRegistryKey(key);
        return set;
    }

    std::string path_;
    std::unique_ptr<ScopedEnvironment> registry_;
};

// 表 (0x95 0x5C) has a '\' second byte: in the key, and before the closing
// quote of a text, where it must not escape the quote.
const char kTypesFile[] =
    "REGEDIT4\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Other]\n"
    "\"InstallFolder\"=\"wrong key\"\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\表\\Game]\n"
    "\"InstallFolder\"=\"C:\\\\Games\\\\表\"\n"
    "\"Quote\"=\"say \\\"hi\\\"\"\n"
    "\"Version\"=dword:000003fc\n"
    "\"AddContents\"=hex:01,00,00,00\n"
    "\"Long\"=hex:01,02,03,\\\n"
    "  04\n"
    "\"Expand\"=hex(2):41,00\n"
    "\"Short\"=hex:01,02\n"
    "\"Broken\"=dword:xyz\n";

}  // namespace

TEST(RegistryFilePath, ExplicitThenConfigHomeThenHome) {
    struct Row {
        const char* name;
        const char* registry;
        const char* configHome;
        const char* home;
        const char* path;  // nullptr: no path
    } rows[] = {
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

TEST_F(PosixRegistryTest, ReadsEveryValueTypeAsItsBytes) {
    WriteRegistry(kTypesFile);
    // Key and value names compare without case.
    PlatformRegistryKey* key = OsOpenRegistryKey("software\\表\\GAME");
    ASSERT_NE(key, nullptr);

    char text[260];
    EXPECT_EQ(OsQueryRegistryText(key, "installfolder", text, sizeof text), 1);
    EXPECT_STREQ(text, "C:\\Games\\表");
    EXPECT_EQ(OsQueryRegistryText(key, "Quote", text, sizeof text), 1);
    EXPECT_STREQ(text, "say \"hi\"");

    struct Row { const char* name; int found; uint32_t value; } rows[] = {
        {"Version", 1, 0x3FC},         // dword
        {"AddContents", 1, 1},         // hex
        {"Long", 1, 0x04030201},       // hex over two lines
        {"Short", 0, 0},               // two bytes are no number
        {"Expand", 0, 0},              // nor is a two-byte hex(2)
        {"Quote", 0, 0},               // nor a string of 9 bytes
        {"Broken", 0, 0},              // malformed data reads as missing
        {"Missing", 0, 0},
    };
    for (const Row& row : rows) {
        uint32_t value = 0;
        EXPECT_EQ(OsQueryRegistryNumber(key, row.name, &value), row.found) << row.name;
        if (row.found) {
            EXPECT_EQ(value, row.value) << row.name;
        }
    }
    OsCloseRegistryKey(key);
}

TEST_F(PosixRegistryTest, TextMustFitWithItsZero) {
    WriteRegistry(kTypesFile);
    PlatformRegistryKey* key = OsOpenRegistryKey("Software\\表\\Game");
    ASSERT_NE(key, nullptr);
    // "C:\Games\表" is 11 bytes.
    char text[12];
    EXPECT_EQ(OsQueryRegistryText(key, "InstallFolder", text, 12), 1);
    EXPECT_EQ(OsQueryRegistryText(key, "InstallFolder", text, 11), 0);
    // A binary value is read as text too; a terminating zero is added.
    EXPECT_EQ(OsQueryRegistryText(key, "Short", text, 3), 1);
    EXPECT_STREQ(text, "\x01\x02");
    EXPECT_EQ(OsQueryRegistryText(key, "Missing", text, sizeof text), 0);
    OsCloseRegistryKey(key);
}

TEST_F(PosixRegistryTest, OpensOnlyAnExistingKeyOfTheCurrentUser) {
    EXPECT_EQ(OsOpenRegistryKey("Software\\Other"), nullptr) << "no file";
    WriteRegistry(
        "REGEDIT4\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Machine]\n"
        "[-HKEY_CURRENT_USER\\Software\\Deleted]\n"
        "[HKEY_CURRENT_USER\\Software\\Other]\n");
    struct Row { const char* subkey; bool opens; } rows[] = {
        {"Software\\Other", true},
        {"Software\\Machine", false},
        {"Software\\Deleted", false},
        {"Software", false},
        {"Software\\Other\\Deeper", false},
    };
    for (const Row& row : rows) {
        PlatformRegistryKey* key = OsOpenRegistryKey(row.subkey);
        EXPECT_EQ(key != nullptr, row.opens) << row.subkey;
        OsCloseRegistryKey(key);
    }
}

TEST_F(PosixRegistryTest, LastOccurrenceCounts) {
    WriteRegistry(
        "[HKEY_CURRENT_USER\\Software\\Game]\n"
        "\"Version\"=dword:000003e8\n"
        "\"Version\"=dword:000003f2\n"
        "[HKEY_CURRENT_USER\\Software\\Other]\n"
        "\"Version\"=dword:00000001\n"
        "[HKEY_CURRENT_USER\\Software\\Game]\n"
        "\"Version\"=dword:000003fc\n"
        "\"AddContents\"=dword:00000000\n");
    PlatformRegistryKey* key = OsOpenRegistryKey("Software\\Game");
    ASSERT_NE(key, nullptr);
    uint32_t value = 0;
    EXPECT_EQ(OsQueryRegistryNumber(key, "Version", &value), 1);
    EXPECT_EQ(value, 0x3FCu);
    // The write replaces the occurrence that counts, so it reads back.
    EXPECT_EQ(OsSetRegistryBinaryNumber(key, "Version", 1030), 1);
    OsCloseRegistryKey(key);
    key = OsOpenRegistryKey("Software\\Game");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(OsQueryRegistryNumber(key, "Version", &value), 1);
    EXPECT_EQ(value, 1030u);
    OsCloseRegistryKey(key);
}

TEST_F(PosixRegistryTest, WriteReplacesOnlyTheValueLine) {
    const std::string before =
        "REGEDIT4\n"
        "; kept as it is\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\表\\Game]\n"
        "\"InstallFolder\"=\"/games/表示\"\n"
        "\"Version\"=dword:000003e8\n"
        "\"AddContents\"=dword:00000001\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\Other]\n"
        "\"Version\"=hex:01,02,\\\n"
        "  03,04\n";
    WriteRegistry(before);
    ASSERT_EQ(SetVersion("Software\\表\\Game", 1020), 1);
    std::string expected = before;
    expected.replace(expected.find("dword:000003e8"), 14, "hex:fc,03,00,00");
    EXPECT_EQ(ReadRegistry(), expected);
}

TEST_F(PosixRegistryTest, WriteAddsMissingValueAtEndOfTheKey) {
    struct Row { const char* name; std::string before; std::string after; } rows[] = {
        {"before the next key",
         "[HKEY_CURRENT_USER\\Software\\Game]\n\"InstallFolder\"=\"/g\"\n\n[HKEY_CURRENT_USER\\Software\\Next]\n",
         "[HKEY_CURRENT_USER\\Software\\Game]\n\"InstallFolder\"=\"/g\"\n\"Version\"=hex:fc,03,00,00\n\n"
         "[HKEY_CURRENT_USER\\Software\\Next]\n"},
        {"last line without line end",
         "[HKEY_CURRENT_USER\\Software\\Game]\r\n\"InstallFolder\"=\"/g\"",
         "[HKEY_CURRENT_USER\\Software\\Game]\r\n\"InstallFolder\"=\"/g\"\r\n\"Version\"=hex:fc,03,00,00\r\n"},
        {"empty key",
         "[HKEY_CURRENT_USER\\Software\\Game]\n",
         "[HKEY_CURRENT_USER\\Software\\Game]\n\"Version\"=hex:fc,03,00,00\n"},
    };
    for (const Row& row : rows) {
        WriteRegistry(row.before);
        EXPECT_EQ(SetVersion("Software\\Game", 1020), 1) << row.name;
        EXPECT_EQ(ReadRegistry(), row.after) << row.name;
    }
}

TEST_F(PosixRegistryTest, WriteKeepsCrLfLineEnds) {
    WriteRegistry("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Game]\r\n\"Version\"=dword:000003e8\r\n");
    ASSERT_EQ(SetVersion("Software\\Game", 1020), 1);
    EXPECT_EQ(ReadRegistry(), "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Game]\r\n\"Version\"=hex:fc,03,00,00\r\n");
}

// The rewrite makes a new file and renames it over the old one: a hard link
// taken before still holds the old content, nothing is left beside it, and
// the file keeps its permissions.
TEST_F(PosixRegistryTest, RewriteReplacesTheFileWhole) {
    const std::string before = "[HKEY_CURRENT_USER\\Software\\Game]\n\"Version\"=dword:000003e8\n";
    WriteRegistry(before);
    chmod(path_.c_str(), 0640);
    fs::create_hard_link(path_, folder_ + "/before.reg");
    ASSERT_EQ(SetVersion("Software\\Game", 1020), 1);

    std::ifstream old(folder_ + "/before.reg", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), std::istreambuf_iterator<char>()), before);
    int files = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder_)) {
        ++files;
        EXPECT_TRUE(entry.path().filename() == "registry.reg" || entry.path().filename() == "before.reg")
            << entry.path();
    }
    EXPECT_EQ(files, 2);
    struct stat info;
    ASSERT_EQ(stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(PosixRegistryTest, RewriteThroughSymbolicLinkKeepsTheLink) {
    const std::string target = folder_ + "/real.reg";
    std::ofstream(target, std::ios::binary) << "[HKEY_CURRENT_USER\\Software\\Game]\n";
    fs::create_symlink(target, path_);
    ASSERT_EQ(SetVersion("Software\\Game", 1020), 1);
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_EQ(ReadRegistry(), "[HKEY_CURRENT_USER\\Software\\Game]\n\"Version\"=hex:fc,03,00,00\n");
}
