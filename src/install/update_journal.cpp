// Reading and appending the records of the update journal.
#include "install/update_journal.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "common/run_log.h"
#include "platform/last_error.h"
#include "platform/platform.h"

namespace {

// A journal holds a first record, one per step and one per rename entry: far
// below this. A larger file is none of the program's.
constexpr uint32_t kJournalSizeLimit = 64 * 1024;
constexpr size_t kRecordSize = 96;

// The names of the steps in their records, in UpdateStep order.
constexpr const char* kStepNames[kStepCount] = {
    "copy", "delete", "rename", "patches", "saves-staged", "saves", "shortcuts",
};

void FormatFirstRecord(char (&record)[kRecordSize], const UpdateIdentity& identity) {
    std::snprintf(record, sizeof record, "updater journal 1 digest=%016" PRIx64 " edition=%u target=%u\n",
                  identity.scriptDigest, identity.addContents, identity.targetVersion);
}

void FormatStepRecord(char (&record)[kRecordSize], int step) {
    std::snprintf(record, sizeof record, "done %s\n", kStepNames[step]);
}

void FormatRenamesRecord(char (&record)[kRecordSize], unsigned count) {
    std::snprintf(record, sizeof record, "renamed %u\n", count);
}

// Reads the first record from line (length bytes, its '\n' included).
// Returns 1 when it is one, exactly as it would be written.
int ReadFirstRecord(const char* line, size_t length, UpdateIdentity* identity) {
    char copy[kRecordSize] = {};
    if (length >= sizeof copy) return 0;
    std::memcpy(copy, line, length);
    if (std::sscanf(copy, "updater journal 1 digest=%16" SCNx64 " edition=%u target=%u", &identity->scriptDigest,
                    &identity->addContents, &identity->targetVersion) != 3)
        return 0;
    char again[kRecordSize];
    FormatFirstRecord(again, *identity);
    return std::strcmp(again, copy) == 0;
}

// Reads one step record into journal's found steps. Returns 1 when line is
// one, exactly as it would be written.
int ReadStepRecord(const char* line, size_t length, UpdateJournal* journal) {
    char copy[kRecordSize] = {};
    if (length >= sizeof copy) return 0;
    std::memcpy(copy, line, length);
    for (int step = 0; step < kStepCount; ++step) {
        char expected[kRecordSize];
        FormatStepRecord(expected, step);
        if (std::strcmp(copy, expected) == 0) {
            journal->foundDone[step] = 1;
            return 1;
        }
    }
    unsigned renames = 0;
    char again[kRecordSize];
    if (std::sscanf(copy, "renamed %u", &renames) != 1) return 0;
    FormatRenamesRecord(again, renames);
    if (std::strcmp(again, copy) != 0) return 0;
    if (renames > journal->foundRenames) journal->foundRenames = renames;
    return 1;
}

// Reads the whole records of text (length bytes): the first, then steps. A
// line that is not whole or not known ends them.
void ReadRecords(const char* text, size_t length, UpdateJournal* journal) {
    size_t start = 0;
    while (start < length) {
        const void* end = std::memchr(text + start, '\n', length - start);
        if (end == nullptr) return;
        const size_t lineLength = static_cast<size_t>(static_cast<const char*>(end) - (text + start)) + 1;
        const char* line = text + start;
        if (start == 0) {
            if (!ReadFirstRecord(line, lineLength, &journal->foundIdentity)) return;
            journal->found = 1;
        } else if (!ReadStepRecord(line, lineLength, journal)) {
            return;
        }
        start += lineLength;
    }
}

// Reads the journal's content; its position is then at its end.
int ReadJournalFile(UpdateJournal* journal) {
    uint64_t length = 0;
    if (!OsFileLength(journal->file, &length)) return 0;
    if (length == 0) return 1;
    if (length > kJournalSizeLimit) {
        LogEvent("journal of %s: %" PRIu64 " bytes, no journal of this program's", journal->folder, length);
        return OsSkipForward(journal->file, static_cast<uint32_t>(length));
    }
    std::unique_ptr<char[]> text(new (std::nothrow) char[length]);
    uint32_t delivered = 0;
    if (!text || !OsReadFile(journal->file, text.get(), static_cast<uint32_t>(length), &delivered)) return 0;
    ReadRecords(text.get(), delivered, journal);
    return 1;
}

int SameUpdate(const UpdateIdentity& a, const UpdateIdentity& b) {
    return a.scriptDigest == b.scriptDigest && a.addContents == b.addContents &&
           a.targetVersion == b.targetVersion;
}

// Appends record; flushes the journal when flush is non-zero.
int AppendRecord(UpdateJournal* journal, const char* record, int flush) {
    if (OsWriteFile(journal->file, record, static_cast<uint32_t>(std::strlen(record))) &&
        (!flush || OsFlushFile(journal->file)))
        return 1;
    DiagnoseLastError("the update journal in %s cannot be written", journal->folder);
    return 0;
}

}  // namespace

int OpenUpdateJournal(const char* installFolder, UpdateJournal* journal) {
    *journal = UpdateJournal{};
    CopyText(journal->folder, installFolder);
    const int result = OsOpenFolderJournal(installFolder, &journal->file);
    if (result != kJournalOpened) return result;
    if (!ReadJournalFile(journal)) {
        DiagnoseLastError("the update journal in %s cannot be read", installFolder);
        OsCloseFile(journal->file);
        journal->file = nullptr;
        return kJournalUnusable;
    }
    if (journal->found) {
        LogEvent("journal of %s: update %016" PRIx64 ", edition %u, target %u", installFolder,
                 journal->foundIdentity.scriptDigest, journal->foundIdentity.addContents,
                 journal->foundIdentity.targetVersion);
    }
    return kJournalOpened;
}

int BeginUpdateJournal(UpdateJournal* journal, const UpdateIdentity& identity) {
    if (journal->found && SameUpdate(journal->foundIdentity, identity)) {
        std::memcpy(journal->done, journal->foundDone, sizeof journal->done);
        journal->renamesDone = journal->foundRenames;
        journal->begun = 1;
        for (int step = 0; step < kStepCount; ++step) {
            if (journal->done[step]) LogEvent("journal: %s done by an earlier run", kStepNames[step]);
        }
        return 1;
    }
    if (journal->found) {
        LogEvent("journal: an earlier run of another update (%016" PRIx64 ") set aside; this update begins anew",
                 journal->foundIdentity.scriptDigest);
    }
    char record[kRecordSize];
    FormatFirstRecord(record, identity);
    if (!OsEmptyFile(journal->file) || !AppendRecord(journal, record, 1)) return 0;
    journal->found = 1;
    journal->foundIdentity = identity;
    journal->begun = 1;
    return 1;
}

int IsStepDone(const UpdateJournal& journal, UpdateStep step) {
    return journal.done[step];
}

int AreAllStepsDone(const UpdateJournal& journal) {
    for (int step = 0; step < kStepCount; ++step) {
        if (!journal.done[step]) return 0;
    }
    return 1;
}

int MarkStepDone(UpdateJournal* journal, UpdateStep step) {
    char record[kRecordSize];
    FormatStepRecord(record, step);
    if (!AppendRecord(journal, record, 1)) return 0;
    journal->done[step] = 1;
    return 1;
}

int MarkRenamesDone(UpdateJournal* journal, uint32_t count) {
    char record[kRecordSize];
    FormatRenamesRecord(record, count);
    if (!AppendRecord(journal, record, 0)) return 0;
    journal->renamesDone = count;
    return 1;
}

void CloseUpdateJournal(UpdateJournal* journal, int remove) {
    if (journal->file == nullptr) return;
    // With no step done, a run from the start does what resuming would.
    const uint8_t* done = journal->begun ? journal->done : journal->foundDone;
    bool anyDone = false;
    for (int step = 0; step < kStepCount; ++step) anyDone = anyDone || done[step] != 0;
    if (remove || !anyDone) {
        if (!OsRemoveFolderJournal(journal->folder, journal->file))
            LogLastError("the update journal in %s cannot be removed", journal->folder);
    } else {
        OsCloseFile(journal->file);
    }
    journal->file = nullptr;
}
