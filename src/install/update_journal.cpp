// Reading and appending the records of the update journal.
#include "install/update_journal.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "common/digest.h"
#include "common/run_log.h"
#include "platform/last_error.h"
#include "platform/platform.h"

namespace {

// The update's record stands alone in the first block, so that a torn
// append never reaches it.
constexpr uint32_t kHeaderBlockSize = 4096;
// A journal holds the update's record, one per step and one per rename
// entry: far below this. A larger file is none of the program's.
constexpr uint32_t kJournalSizeLimit = 256 * 1024;
constexpr size_t kRecordSize = 160;
// " #" and eight hexadecimal digits close every record, before its '\n'.
constexpr size_t kChecksumLength = 10;

// The names of the steps in their records, in UpdateStep order.
constexpr const char* kStepNames[kStepCount] = {
    "copy", "delete", "rename", "patches", "saves", "shortcuts",
};

uint32_t ChecksumOf(const char* text, size_t length) {
    return static_cast<uint32_t>(DigestOf(text, length));
}

// Formats text (a printf format) as a record: the text, its checksum and a
// line end. Returns the record's length.
size_t FormatRecord(char (&record)[kRecordSize], const char* format, ...) __attribute__((format(printf, 2, 3)));
size_t FormatRecord(char (&record)[kRecordSize], const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(record, sizeof record - kChecksumLength - 1, format, arguments);
    va_end(arguments);
    const size_t textLength = static_cast<size_t>(length);
    std::snprintf(record + textLength, sizeof record - textLength, " #%08" PRIx32 "\n",
                  ChecksumOf(record, textLength));
    return textLength + kChecksumLength + 1;
}

size_t FormatIdentityRecord(char (&record)[kRecordSize], const UpdateIdentity& identity) {
    return FormatRecord(record, "updater journal 2 script=%016" PRIx64 " package=%016" PRIx64 " edition=%u target=%u",
                        identity.scriptDigest, identity.packageDigest, identity.addContents,
                        identity.targetVersion);
}

size_t FormatStepRecord(char (&record)[kRecordSize], int step) {
    return FormatRecord(record, "done %s", kStepNames[step]);
}

size_t FormatRenamesRecord(char (&record)[kRecordSize], unsigned count) {
    return FormatRecord(record, "renamed %u", count);
}

// The text of the record that line (length bytes, its '\n' included) holds,
// zero-terminated in text, when its checksum matches. Returns 1, or 0.
int CheckedRecordText(const char* line, size_t length, char (&text)[kRecordSize]) {
    if (length < kChecksumLength + 1 || length > sizeof text) return 0;
    const size_t textLength = length - kChecksumLength - 1;
    char checksum[kChecksumLength + 2];
    std::snprintf(checksum, sizeof checksum, " #%08" PRIx32 "\n", ChecksumOf(line, textLength));
    if (std::memcmp(line + textLength, checksum, kChecksumLength + 1) != 0) return 0;
    std::memcpy(text, line, textLength);
    text[textLength] = '\0';
    return 1;
}

// Reads the update's record from line. Returns 1 when it is one, exactly as
// it would be written.
int ReadIdentityRecord(const char* line, size_t length, UpdateIdentity* identity) {
    char text[kRecordSize];
    if (!CheckedRecordText(line, length, text) ||
        std::sscanf(text, "updater journal 2 script=%16" SCNx64 " package=%16" SCNx64 " edition=%u target=%u",
                    &identity->scriptDigest, &identity->packageDigest, &identity->addContents,
                    &identity->targetVersion) != 4)
        return 0;
    char again[kRecordSize];
    return FormatIdentityRecord(again, *identity) == length && std::memcmp(again, line, length) == 0;
}

// Reads one step record into records. Returns 1 when line is one, exactly
// as it would be written.
int ReadStepRecord(const char* line, size_t length, JournalRecords* records) {
    char text[kRecordSize];
    if (!CheckedRecordText(line, length, text)) return 0;
    for (int step = 0; step < kStepCount; ++step) {
        if (std::strncmp(text, "done ", 5) == 0 && std::strcmp(text + 5, kStepNames[step]) == 0) {
            records->done[step] = 1;
            return 1;
        }
    }
    unsigned renames = 0;
    char again[kRecordSize];
    if (std::sscanf(text, "renamed %u", &renames) != 1 || FormatRenamesRecord(again, renames) != length ||
        std::memcmp(again, line, length) != 0)
        return 0;
    if (renames > records->renamesDone) records->renamesDone = renames;
    return 1;
}

// The length of the line at text (its '\n' included) within length bytes,
// or 0 when it is not whole.
size_t LineLength(const char* text, size_t length) {
    const void* end = std::memchr(text, '\n', length);
    return end == nullptr ? 0 : static_cast<size_t>(static_cast<const char*>(end) - text) + 1;
}

// Reads the records of text (length bytes): the update's, then the steps'
// after the first block. A record that is not whole or not good ends them.
// Returns the bytes up to the end of the last good record.
uint64_t ReadRecords(const char* text, size_t length, JournalRecords* records) {
    const size_t first = LineLength(text, length < kHeaderBlockSize ? length : kHeaderBlockSize);
    if (first == 0 || !ReadIdentityRecord(text, first, &records->identity) || length < kHeaderBlockSize) return 0;
    records->identified = 1;
    size_t start = kHeaderBlockSize;
    while (start < length) {
        const size_t line = LineLength(text + start, length - start);
        if (line == 0 || !ReadStepRecord(text + start, line, records)) break;
        start += line;
    }
    return start;
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
    journal->goodLength = ReadRecords(text.get(), delivered, &journal->found);
    if (journal->goodLength < delivered)
        LogEvent("journal of %s: its records end at byte %" PRIu64 " of %u", journal->folder, journal->goodLength,
                 delivered);
    return 1;
}

int SameUpdate(const UpdateIdentity& a, const UpdateIdentity& b) {
    return a.scriptDigest == b.scriptDigest && a.packageDigest == b.packageDigest &&
           a.addContents == b.addContents && a.targetVersion == b.targetVersion;
}

// Appends record (length bytes) and flushes the journal.
int AppendRecord(UpdateJournal* journal, const char* record, size_t length) {
    if (OsWriteFile(journal->file, record, static_cast<uint32_t>(length)) && OsFlushFile(journal->file)) return 1;
    DiagnoseLastError("the update journal in %s cannot be written", journal->folder);
    return 0;
}

// Empties the journal and writes identity's record in its own block, flushed.
int WriteIdentityBlock(UpdateJournal* journal, const UpdateIdentity& identity) {
    char block[kHeaderBlockSize] = {};
    char record[kRecordSize];
    const size_t length = FormatIdentityRecord(record, identity);
    std::memcpy(block, record, length);
    if (OsCutFile(journal->file, 0) && OsWriteFile(journal->file, block, sizeof block) && OsFlushFile(journal->file))
        return 1;
    DiagnoseLastError("the update journal in %s cannot be written", journal->folder);
    return 0;
}

// Cuts a damaged tail off the journal, so that what is appended follows its
// last good record.
int CutBackToGoodRecords(UpdateJournal* journal) {
    uint64_t length = 0;
    if (!OsFileLength(journal->file, &length)) return 0;
    if (length == journal->goodLength) return 1;
    LogEvent("journal: cut back to its last good record, at byte %" PRIu64, journal->goodLength);
    if (OsCutFile(journal->file, journal->goodLength) && OsFlushFile(journal->file)) return 1;
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
    if (journal->found.identified) {
        const UpdateIdentity& found = journal->found.identity;
        LogEvent("journal of %s: update %016" PRIx64 " of package %016" PRIx64 ", edition %u, target %u",
                 installFolder, found.scriptDigest, found.packageDigest, found.addContents, found.targetVersion);
    }
    return kJournalOpened;
}

int BeginUpdateJournal(UpdateJournal* journal, const UpdateIdentity& identity) {
    if (journal->found.identified && SameUpdate(journal->found.identity, identity)) {
        if (!CutBackToGoodRecords(journal)) return 0;
        journal->current = journal->found;
        journal->begun = 1;
        for (int step = 0; step < kStepCount; ++step) {
            if (journal->current.done[step]) LogEvent("journal: %s done by an earlier run", kStepNames[step]);
        }
        return 1;
    }
    if (journal->found.identified) {
        LogEvent("journal: an earlier run of another update (%016" PRIx64 " of package %016" PRIx64
                 ") set aside; this update begins anew",
                 journal->found.identity.scriptDigest, journal->found.identity.packageDigest);
    }
    if (!WriteIdentityBlock(journal, identity)) return 0;
    journal->current = JournalRecords{};
    journal->current.identified = 1;
    journal->current.identity = identity;
    journal->begun = 1;
    return 1;
}

int IsStepDone(const UpdateJournal& journal, UpdateStep step) {
    return journal.current.done[step];
}

int AreAllStepsDone(const UpdateJournal& journal) {
    for (int step = 0; step < kStepCount; ++step) {
        if (!journal.current.done[step]) return 0;
    }
    return 1;
}

int MarkStepDone(UpdateJournal* journal, UpdateStep step) {
    char record[kRecordSize];
    if (!AppendRecord(journal, record, FormatStepRecord(record, step))) return 0;
    journal->current.done[step] = 1;
    return 1;
}

int MarkRenamesDone(UpdateJournal* journal, uint32_t count) {
    char record[kRecordSize];
    if (!AppendRecord(journal, record, FormatRenamesRecord(record, count))) return 0;
    journal->current.renamesDone = count;
    return 1;
}

void CloseUpdateJournal(UpdateJournal* journal, int remove) {
    if (journal->file == nullptr) return;
    // With no step done, a run from the start does what resuming would.
    const uint8_t* done = journal->begun ? journal->current.done : journal->found.done;
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
