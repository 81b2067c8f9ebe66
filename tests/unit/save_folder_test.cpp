#include "convert/save_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "script/rule_tables.h"
#include "convert/save_conversion.h"
#include "convert/save_format.h"
#include "platform/platform_replacement.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kStateSectionLength = kMinStateLength;
// The header, an empty graph section, then the message word in the state.
constexpr size_t kMessageWordOffset = kSaveHeaderSize + kEntryCountSize + kMessageOffset;

// The smallest well-formed save: no graph entries, no middle section, and a
// state section whose message word is message.
std::string SaveWithMessage(uint32_t message) {
    std::string save(8 + 4 + kStateSectionLength, '\0');
    save[0] = 4;  // graph section length: the entry count alone
    for (size_t i = 0; i < 4; ++i) save[kMessageWordOffset + i] = static_cast<char>(message >> (8 * i));
    return save;
}

void AddMessageRule(uint32_t from, uint32_t to) {
    ConvertRulePayload payload{};
    payload.message = {from, to};
    ASSERT_EQ(AddRule(kRuleMessage, payload), 1);
}

// Leaves a new file beside path, as a run killed while writing it does.
void LeaveNewFileBeside(const char* path) {
    PlatformFlushGroup* group = OsBeginFlushGroup(".");
    ASSERT_NE(group, nullptr);
    const unsigned char byte = 'n';
    EXPECT_EQ(StoreWholeFile(path, &byte, 1, group), 1);
    OsEndFlushGroup(group);
}

constexpr char kBackupName[] = "backup-1000-1020";

std::string BackupOf(const char* folder) {
    return std::string(folder) + "\\" + kBackupName;
}

int Convert(const char* folder) {
    return ConvertSaves(folder, BackupOf(folder).c_str());
}

std::string Content(const char* path) {
    std::string content;
    return ReadTestFile(path, &content) ? content : "<missing>";
}

// The message word of the save at path: what a conversion changed; -1 when
// the file is not the converted form of a SaveWithMessage save.
int64_t MessageOf(const char* path) {
    const std::string content = Content(path);
    if (content.size() != 8 + 4 + kStateSectionLength) return -1;
    uint32_t message = 0;
    for (size_t i = 0; i < 4; ++i)
        message |= static_cast<uint32_t>(static_cast<unsigned char>(content[kMessageWordOffset + i])) << (8 * i);
    return content == SaveWithMessage(message) ? int64_t{message} : -1;
}

std::set<std::string> Entries(const char* folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(NativeTestPath(folder)))
        names.insert(entry.path().filename().string());
    return names;
}

class SaveFolderTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        ClearRules();
        ASSERT_TRUE(MakeTestFolder("game"));
    }
    void TearDown() override {
        ClearRules();
        TempFolderTest::TearDown();
    }
};

TEST_F(SaveFolderTest, SaveFolderComesFromTheLooseInstallIniOrDefaults) {
    const struct {
        const char* name;
        bool present;  // whether Install.ini exists
        std::string content;
        const char* folder;
    } rows[] = {
        {"no file", false, "", "game\\save"},
        {"whole rest", true, "save=D:\\Saves", "D:\\Saves"},
        {"ends at the line break", true, "save=D:\\Saves\r\nnext=1\r\n", "D:\\Saves"},
        {"a root or network path", true, "save=\\\\server\\saves", "\\\\server\\saves"},
        {"relative: below the install folder, as the game reads it", true, "save=savedir", "game\\savedir"},
        {"ends at a lone line feed", true, "save=セーブ\\表\n", "game\\セーブ\\表"},
        {"case-sensitive name", true, "Save=D:\\Saves", "game\\save"},
        {"blank before it", true, " save=D:\\Saves", "game\\save"},
        {"empty folder", true, "save=\r\n", "game\\save"},
        {"too long for a path", true, "save=" + std::string(260, 'd'), "game\\save"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::error_code ignored;
        fs::remove(NativeTestPath("game\\Install.ini"), ignored);
        if (row.present) {
            ASSERT_TRUE(WriteTestFile("game\\Install.ini", row.content));
        }
        char folder[kPathFieldSize];
        LocateSaveFolder("game", folder);
        EXPECT_STREQ(folder, row.folder);
    }

    // An install folder so long that its save folder does not fit: no folder.
    char folder[kPathFieldSize];
    LocateSaveFolder(std::string(255, 'g').c_str(), folder);
    EXPECT_STREQ(folder, "");
}

TEST_F(SaveFolderTest, ResetPutsTheSaveDataAsideAndNothingElse) {
    ASSERT_TRUE(MakeTestFolder("game\\save"));
    const std::set<std::string> saveData = {"syssave.dat", "QSAVE.SAV", "qsave.gra", "save000.sav", "SAVE999.SAV",
                                            "Thumb000.Gra", "thumb999.gra"};
    const std::set<std::string> others = {"save1000.sav", "config.dat", "save01.sav", "saveabc.sav"};
    for (const std::set<std::string>& names : {saveData, others}) {
        for (const std::string& name : names) ASSERT_TRUE(WriteTestFile(("game\\save\\" + name).c_str(), name));
    }
    LeaveNewFileBeside("game\\save\\save000.sav");
    ASSERT_EQ(ResetSaveData("game\\save", "game\\save\\backup-1000-1020"), 1);
    std::set<std::string> left = others;
    left.insert(kBackupName);
    EXPECT_EQ(Entries("game\\save"), left);
    EXPECT_EQ(Entries("game\\save\\backup-1000-1020"), saveData) << "nothing is deleted";
    EXPECT_EQ(Content("game\\save\\backup-1000-1020\\SAVE999.SAV"), "SAVE999.SAV");

    // A save written again after an interrupted reset goes beside the one
    // kept then.
    ASSERT_TRUE(WriteTestFile("game\\save\\save000.sav", "newer"));
    ASSERT_EQ(ResetSaveData("game\\save", "game\\save\\backup-1000-1020"), 1);
    EXPECT_EQ(Content("game\\save\\backup-1000-1020\\save000.sav"), "save000.sav");
    EXPECT_EQ(Content("game\\save\\backup-1000-1020\\save000.sav.2"), "newer");

    EXPECT_EQ(ResetSaveData("game\\missing", "game\\missing\\backup-1000-1020"), 1) << "no folder, nothing to do";
    EXPECT_FALSE(fs::exists(NativeTestPath("game\\missing")));
    ASSERT_TRUE(WriteTestFile("save000.sav", "x"));
    EXPECT_EQ(ResetSaveData("", "backup"), 1) << "an empty folder names nothing, not the current one";
    EXPECT_EQ(Content("save000.sav"), "x");
}

TEST_F(SaveFolderTest, SweepConvertsExactlyTheNumberedSaves) {
    ASSERT_TRUE(MakeTestFolder("s\\save003.sav"));
    const std::string old = SaveWithMessage(100);
    for (const char* name : {"save001.sav", "SAVE002.SAV", "save表01.sav", "save01.sav", "save0001.sav",
                             "save001.sav.bak", "qsave.sav"}) {
        ASSERT_TRUE(WriteTestFile((std::string("s\\") + name).c_str(), old));
    }
    ASSERT_TRUE(WriteTestFile("s\\save004.sav", "too short to be a save"));
    ASSERT_TRUE(WriteTestFile("s\\save005.sav", SaveWithMessage(7)));
    const std::set<std::string> before = Entries("s");
    AddMessageRule(100, 200);

    EXPECT_EQ(Convert("s"), 1);

    for (const char* name : {"s\\save001.sav", "s\\SAVE002.SAV", "s\\save表01.sav"}) {
        EXPECT_EQ(MessageOf(name), 200) << name;
    }
    for (const char* name : {"s\\save01.sav", "s\\save0001.sav", "s\\save001.sav.bak", "s\\qsave.sav"}) {
        EXPECT_EQ(MessageOf(name), 100) << name;
    }
    EXPECT_EQ(Content("s\\save004.sav"), "too short to be a save");
    EXPECT_EQ(MessageOf("s\\save005.sav"), 7);
    std::set<std::string> after = before;
    after.insert(kBackupName);
    EXPECT_EQ(Entries("s"), after) << "no file stays behind";
    const std::set<std::string> kept = Entries(BackupOf("s").c_str());
    EXPECT_TRUE(kept.size() == 3 && kept.count("save001.sav") == 1 && kept.count("SAVE002.SAV") == 1)
        << "the originals of the saves converted, and only those";
}

TEST_F(SaveFolderTest, EveryConversionIsMadeFromTheOriginalOnce) {
    // MESSAGE 100 -> 200 -> 300 in one conversion; a second conversion of the
    // same save would move 200 on to 300 as well, so the results tell.
    ASSERT_TRUE(MakeTestFolder("s"));
    ASSERT_TRUE(WriteTestFile("s\\save001.sav", SaveWithMessage(100)));
    ASSERT_TRUE(WriteTestFile("s\\save002.sav", SaveWithMessage(200)));
    LeaveNewFileBeside("s\\save002.sav");
    EXPECT_EQ(Convert("s"), 1);
    EXPECT_EQ(MessageOf("s\\save001.sav"), 100) << "no rules, no change";
    EXPECT_EQ(Entries("s"), (std::set<std::string>{"save001.sav", "save002.sav"})) << "a killed run's new file goes";

    AddMessageRule(200, 300);
    AddMessageRule(100, 200);
    for (int i = 3; i < 10; ++i) {
        const std::string name = "s\\save" + std::to_string(1000 + i).substr(1) + ".sav";
        ASSERT_TRUE(WriteTestFile(name.c_str(), SaveWithMessage(100)));
    }
    ASSERT_EQ(Convert("s"), 1);
    EXPECT_EQ(MessageOf("s\\save001.sav"), 200);
    EXPECT_EQ(MessageOf("s\\save002.sav"), 300);
    EXPECT_EQ(MessageOf("s\\backup-1000-1020\\save002.sav"), 200) << "the original is kept";

    // Whatever happened since (the journal lost, a run killed between moving
    // an original aside and putting its conversion in place, the player
    // playing meanwhile), doing it again converts each original once.
    const std::string backup = BackupOf("s");
    ASSERT_TRUE(fs::remove(NativeTestPath("s\\save003.sav")));
    ASSERT_TRUE(WriteTestFile("s\\save004.sav", "the player's new progress"));
    ASSERT_TRUE(WriteTestFile("s\\save050.sav", SaveWithMessage(100)));
    ASSERT_EQ(Convert("s"), 1);
    EXPECT_EQ(MessageOf("s\\save001.sav"), 200) << "converted once";
    EXPECT_EQ(MessageOf("s\\save002.sav"), 300);
    EXPECT_EQ(MessageOf("s\\save003.sav"), 200) << "the conversion of a kept original is put in place";
    EXPECT_EQ(Content("s\\save004.sav"), "the player's new progress") << "never overwritten";
    EXPECT_EQ(MessageOf("s\\save050.sav"), 200) << "a new save is an original of this update";
    EXPECT_EQ(MessageOf((backup + "\\save050.sav").c_str()), 100);
    EXPECT_EQ(Entries("s").count("save004.sav.new-\xC3\xA9"), 0u);
    EXPECT_EQ(Convert("missing"), 1) << "no save folder: nothing to convert";
}

TEST_F(SaveFolderTest, WholeFilesLoadAndStore) {
    ASSERT_TRUE(WriteTestFile("a.sav", "abc"));
    SaveImage image{};
    ASSERT_EQ(LoadWholeFile("a.sav", &image), kSaveLoaded);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(image.bytes.get()), image.length), "abc");
    ASSERT_TRUE(WriteTestFile("empty.sav", ""));
    ASSERT_EQ(LoadWholeFile("empty.sav", &image), kSaveLoaded);
    EXPECT_EQ(image.length, 0u);
    EXPECT_EQ(LoadWholeFile("missing.sav", &image), kSaveMissing);
    EXPECT_EQ(LoadWholeFile("game", &image), kSaveUnreadable);
    // Larger than a save can be: not read (sparse, so the test stays small).
    ASSERT_TRUE(WriteTestFile("huge.sav", ""));
    fs::resize_file(NativeTestPath("huge.sav"), kLargestSaveSize + 1);
    EXPECT_EQ(LoadWholeFile("huge.sav", &image), kSaveTooLarge);

    const unsigned char bytes[] = {'n', 'e', 'w', 0, '!'};
    PlatformFlushGroup* group = OsBeginFlushGroup(".");
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(StoreWholeFile("a.sav", bytes, sizeof bytes, group), 1);
    EXPECT_EQ(Content("a.sav"), "abc") << "kept beside it until swapped in";
    EXPECT_EQ(StoreWholeFile("missing\\a.sav", bytes, sizeof bytes, group), 0);
    ASSERT_EQ(StoreWholeFile("game", bytes, sizeof bytes, group), 1);
    EXPECT_EQ(OsFlushGroup(group), 1);
    OsEndFlushGroup(group);
    EXPECT_EQ(OsSwapInReplacement("a.sav"), kSwapDone);
    EXPECT_EQ(Content("a.sav"), std::string("new\0!", 5));
    EXPECT_EQ(OsSwapInReplacement("a.sav"), kNothingStaged);
    EXPECT_EQ(OsSwapInReplacement("game"), kSwapFailed) << "a folder is not replaced";
    EXPECT_TRUE(fs::is_directory(NativeTestPath("game")));
    OsRemoveReplacementLeftover("game");
}

}  // namespace
