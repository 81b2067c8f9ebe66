#include "install/update_journal.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/digest.h"
#include "platform/platform_journal.h"
#include "test_support.h"

namespace {

// No registry key: these tests see the journal file alone.
constexpr char kNoKey[] = "Software\\UpdaterTests\\NoSuchKey";
constexpr UpdateIdentity kUpdate{0x0123456789abcdefu, 0x1111222233334444u, 1, 1020};
constexpr UpdateIdentity kOtherTarget{0x0123456789abcdefu, 0x1111222233334444u, 1, 1030};
constexpr UpdateIdentity kOtherPackage{0x0123456789abcdefu, 0x1111222233335555u, 1, 1020};

// A record as the journal writes it: its text, a checksum, a line end.
std::string Record(const std::string& text) {
    char checksum[16];
    std::snprintf(checksum, sizeof checksum, " #%08" PRIx32 "\n",
                  static_cast<uint32_t>(DigestOf(text.data(), text.size())));
    return text + checksum;
}

// The first block of a journal of kUpdate.
std::string IdentityBlock() {
    std::string block = Record("updater journal 2 script=0123456789abcdef package=1111222233334444 edition=1 target=1020");
    block.resize(4096, '\0');
    return block;
}

class UpdateJournalTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        ASSERT_TRUE(MakeTestFolder("game"));
    }

    // Opens the journal of game, expecting it to open.
    static UpdateJournal Open() {
        UpdateJournal journal{};
        EXPECT_EQ(OpenUpdateJournal("game", kNoKey, &journal), kJournalOpened);
        return journal;
    }

    // Opens the journal of game and takes it up for update.
    static UpdateJournal Resume(const UpdateIdentity& update = kUpdate) {
        UpdateJournal journal = Open();
        EXPECT_EQ(BeginUpdateJournal(&journal, update), 1);
        return journal;
    }

    // Makes the journal of game hold exactly text.
    static void WriteJournal(const std::string& text) {
        std::ofstream file(NativeTestPath("game") / std::filesystem::path(u8"Update.journal-\u00e9"),
                           std::ios::binary | std::ios::trunc);
        file << text;
        ASSERT_TRUE(file.good());
    }

    static size_t EntriesOfGame() {
        size_t count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(NativeTestPath("game"))) {
            (void)entry;
            ++count;
        }
        return count;
    }
};

TEST_F(UpdateJournalTest, ResumesTheSameUpdateAndSetsAsideAnother) {
    UpdateJournal journal = Resume();
    ASSERT_EQ(MarkStepDone(&journal, kStepCopy), 1);
    ASSERT_EQ(MarkStepDone(&journal, kStepDelete), 1);
    ASSERT_EQ(MarkRenamesDone(&journal, 2), 1);
    CloseUpdateJournal(&journal, 0);

    journal = Resume();
    EXPECT_TRUE(IsStepDone(journal, kStepCopy) && IsStepDone(journal, kStepDelete));
    EXPECT_FALSE(IsStepDone(journal, kStepRename));
    EXPECT_EQ(journal.current.renamesDone, 2u);
    CloseUpdateJournal(&journal, 0);

    // Another target, or the same script with a corrected package: that
    // update begins anew, and the earlier one's records are gone.
    for (const UpdateIdentity& other : {kOtherTarget, kOtherPackage}) {
        journal = Resume(other);
        EXPECT_FALSE(IsStepDone(journal, kStepCopy));
        EXPECT_EQ(journal.current.renamesDone, 0u);
        ASSERT_EQ(MarkStepDone(&journal, kStepCopy), 1);
        CloseUpdateJournal(&journal, 0);
        journal = Resume();
        EXPECT_FALSE(IsStepDone(journal, kStepCopy)) << "the other update's journal is not this one's";
        ASSERT_EQ(MarkStepDone(&journal, kStepCopy), 1);
        CloseUpdateJournal(&journal, 0);
    }
    journal = Resume();
    CloseUpdateJournal(&journal, 1);
    EXPECT_EQ(EntriesOfGame(), 0u) << "removed once the version is recorded";
}

// Whatever a crash, a power cut or a full disk left of the journal, what is
// read is what was whole, and what the next run appends is read after it.
TEST_F(UpdateJournalTest, ReadsOnlyGoodRecordsAndAppendsAfterThem) {
    const std::string copy = Record("done copy expect=0000000000000000");
    std::string flipped = Record("done delete");
    flipped[2] ^= 0x04;
    struct Row {
        const char* name;
        std::string text;
        bool copy;
        bool deleted;
    } rows[] = {
        {"whole records", IdentityBlock() + copy + Record("done delete"), true, true},
        {"a record torn by a short write", IdentityBlock() + copy + Record("renamed 1").substr(0, 5), true, false},
        {"a record with a flipped bit", IdentityBlock() + copy + flipped, true, false},
        {"a record without its checksum", IdentityBlock() + copy + "done delete\n", true, false},
        {"zeros where a page was lost", IdentityBlock() + copy + std::string(100, '\0') + Record("done delete"),
         true, false},
        {"the first block cut short", IdentityBlock().substr(0, 2000), false, false},
        {"the first record torn", IdentityBlock().substr(0, 30), false, false},
        {"a journal of the earlier format",
         "updater journal 1 digest=0123456789abcdef edition=1 target=1020\ndone copy\n", false, false},
        {"a record of the earlier format", IdentityBlock() + Record("done copy"), false, false},
        {"another program's file", "done copy\n", false, false},
    };
    for (const Row& row : rows) {
        WriteJournal(row.text);
        UpdateJournal journal = Resume();
        EXPECT_EQ(IsStepDone(journal, kStepCopy), row.copy) << row.name;
        EXPECT_EQ(IsStepDone(journal, kStepDelete), row.deleted) << row.name;
        ASSERT_EQ(MarkStepDone(&journal, kStepPatches), 1) << row.name;
        CloseUpdateJournal(&journal, 0);
        journal = Resume();
        EXPECT_EQ(IsStepDone(journal, kStepCopy), row.copy) << row.name;
        EXPECT_TRUE(IsStepDone(journal, kStepPatches)) << row.name << ": the record appended is lost";
        CloseUpdateJournal(&journal, 1);
    }
}

TEST_F(UpdateJournalTest, LocksTheFolderAndLeavesNothingWhenNothingIsDone) {
    UpdateJournal journal = Open();
    UpdateJournal second{};
    EXPECT_EQ(OpenUpdateJournal("game", kNoKey, &second), kJournalHeld);
    ASSERT_EQ(BeginUpdateJournal(&journal, kUpdate), 1);
    CloseUpdateJournal(&journal, 0);
    EXPECT_EQ(EntriesOfGame(), 0u) << "no step done: a run from the start does the same";
    EXPECT_EQ(OpenUpdateJournal("missing", kNoKey, &second), kJournalNotCreated);
}

// A folder at the journal's name once counted as another updater's lock; a
// hard link planted there had a file outside the game written.
TEST_F(UpdateJournalTest, NothingButAFileOfItsOwnIsAJournal) {
    const std::filesystem::path name(u8"Update.journal-\u00E9");
    ASSERT_TRUE(MakeTestFolder("linked"));
    ASSERT_TRUE(WriteTestFile("outside.conf", "keep"));
    std::filesystem::create_directory(NativeTestPath("game") / name);
    std::filesystem::create_hard_link(NativeTestPath("outside.conf"), NativeTestPath("linked") / name);
    UpdateJournal journal{};
    EXPECT_EQ(OpenUpdateJournal("game", kNoKey, &journal), kJournalNotAFile);
    EXPECT_EQ(OpenUpdateJournal("linked", kNoKey, &journal), kJournalNotAFile);
    std::string content;
    EXPECT_TRUE(ReadTestFile("outside.conf", &content) && content == "keep");
}

}  // namespace
