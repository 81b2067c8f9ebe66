#include "install/update_journal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "test_support.h"

namespace {

constexpr UpdateIdentity kUpdate{0x0123456789abcdefu, 1, 1020};
constexpr UpdateIdentity kOtherUpdate{0x0123456789abcdefu, 1, 1030};

class UpdateJournalTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        ASSERT_TRUE(MakeTestFolder("game"));
    }

    // Opens the journal of game, expecting it to open.
    static UpdateJournal Open() {
        UpdateJournal journal{};
        EXPECT_EQ(OpenUpdateJournal("game", &journal), kJournalOpened);
        return journal;
    }

    // Makes the journal of game hold exactly text.
    static void WriteJournal(const std::string& text) {
        PlatformFile* file = nullptr;
        ASSERT_EQ(OsOpenFolderJournal("game", &file), kJournalOpened);
        ASSERT_EQ(OsEmptyFile(file), 1);
        ASSERT_EQ(OsWriteFile(file, text.data(), static_cast<uint32_t>(text.size())), 1);
        OsCloseFile(file);
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
    UpdateJournal journal = Open();
    ASSERT_EQ(BeginUpdateJournal(&journal, kUpdate), 1);
    ASSERT_EQ(MarkStepDone(&journal, kStepCopy), 1);
    ASSERT_EQ(MarkStepDone(&journal, kStepDelete), 1);
    ASSERT_EQ(MarkRenamesDone(&journal, 2), 1);
    CloseUpdateJournal(&journal, 0);

    journal = Open();
    ASSERT_EQ(BeginUpdateJournal(&journal, kUpdate), 1);
    EXPECT_TRUE(IsStepDone(journal, kStepCopy) && IsStepDone(journal, kStepDelete));
    EXPECT_FALSE(IsStepDone(journal, kStepRename));
    EXPECT_EQ(journal.renamesDone, 2u);
    ASSERT_EQ(MarkStepDone(&journal, kStepRename), 1);
    CloseUpdateJournal(&journal, 0);

    // The package was replaced meanwhile: its update begins anew, and the
    // earlier one's records are gone.
    journal = Open();
    ASSERT_EQ(BeginUpdateJournal(&journal, kOtherUpdate), 1);
    EXPECT_FALSE(IsStepDone(journal, kStepCopy));
    EXPECT_EQ(journal.renamesDone, 0u);
    ASSERT_EQ(MarkStepDone(&journal, kStepCopy), 1);
    CloseUpdateJournal(&journal, 0);
    journal = Open();
    ASSERT_EQ(BeginUpdateJournal(&journal, kUpdate), 1);
    EXPECT_FALSE(IsStepDone(journal, kStepCopy)) << "the other update's journal is not this one's";
    CloseUpdateJournal(&journal, 1);
    EXPECT_EQ(EntriesOfGame(), 0u) << "removed once the version is recorded";
}

TEST_F(UpdateJournalTest, ReadsOnlyWholeKnownRecords) {
    const std::string first = "updater journal 1 digest=0123456789abcdef edition=1 target=1020\n";
    struct Row { const char* name; std::string text; bool copy, deleted; } rows[] = {
        {"whole records", first + "done copy\ndone delete\n", true, true},
        {"a record cut short", first + "done copy\ndone dele", true, false},
        {"an unknown record ends them", first + "done copy\nsomething\ndone delete\n", true, false},
        {"a first record cut short", first.substr(0, 30), false, false},
        {"another program's file", "done copy\n", false, false},
    };
    for (const Row& row : rows) {
        WriteJournal(row.text);
        UpdateJournal journal = Open();
        ASSERT_EQ(BeginUpdateJournal(&journal, kUpdate), 1) << row.name;
        EXPECT_EQ(IsStepDone(journal, kStepCopy), row.copy) << row.name;
        EXPECT_EQ(IsStepDone(journal, kStepDelete), row.deleted) << row.name;
        CloseUpdateJournal(&journal, 1);
    }
}

TEST_F(UpdateJournalTest, LocksTheFolderAndLeavesNothingWhenNothingIsDone) {
    UpdateJournal journal = Open();
    UpdateJournal second{};
    EXPECT_EQ(OpenUpdateJournal("game", &second), kJournalHeld);
    ASSERT_EQ(BeginUpdateJournal(&journal, kUpdate), 1);
    CloseUpdateJournal(&journal, 0);
    EXPECT_EQ(EntriesOfGame(), 0u) << "no step done: a run from the start does the same";
    EXPECT_EQ(OpenUpdateJournal("missing", &second), kJournalNotCreated);
}

}  // namespace
