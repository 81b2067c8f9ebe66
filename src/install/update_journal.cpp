// Reading and appending the records of the update journal.
#include "install/update_journal.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "common/digest.h"
#include "common/run_log.h"
#include "platform/last_error.h"
#include "platform/platform_files.h"
#include "platform/platform_journal.h"
#include "platform/platform_registry.h"

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
// The records in the registry: a text value, the records joined by this.
constexpr char kMirrorValue[] = "UpdateJournal";
constexpr char kMirrorSeparator = '|';
constexpr size_t kMirrorSize = 16 * 1024;

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

size_t FormatStepRecord(char (&record)[kRecordSize], int step, uint64_t stamp) {
    if (step == kStepCopy) return FormatRecord(record, "done %s expect=%016" PRIx64, kStepNames[step], stamp);
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
    char again[kRecordSize];
    if (!CheckedRecordText(line, length, text)) return 0;
    uint64_t stamp = 0;
    std::sscanf(text, "done copy expect=%16" SCNx64, &stamp);
    for (int step = 0; step < kStepCount; ++step) {
        if (FormatStepRecord(again, step, stamp) == length && std::memcmp(again, line, length) == 0) {
            records->done[step] = 1;
            if (step == kStepCopy) records->copyStamp = stamp;
            return 1;
        }
    }
    unsigned renames = 0;
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

// Reads the records kept in the registry: the same as the file's, each
// without its line end, joined by kMirrorSeparator.
void ReadMirrorRecords(const char* text, JournalRecords* records) {
    char line[kRecordSize];
    for (size_t index = 0; text[0] != '\0'; ++index) {
        const char* end = std::strchr(text, kMirrorSeparator);
        const size_t length = end != nullptr ? static_cast<size_t>(end - text) : std::strlen(text);
        if (length + 1 >= sizeof line) return;
        std::memcpy(line, text, length);
        line[length] = '\n';
        const int read = index == 0 ? ReadIdentityRecord(line, length + 1, &records->identity)
                                    : ReadStepRecord(line, length + 1, records);
        if (!read) return;
        if (index == 0) records->identified = 1;
        if (end == nullptr) return;
        text = end + 1;
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

int SameRecords(const JournalRecords& a, const JournalRecords& b) {
    return std::memcmp(a.done, b.done, sizeof a.done) == 0 && a.renamesDone == b.renamesDone &&
           a.copyStamp == b.copyStamp;
}

// Calls take(record, length) for each record that records' state is written
// as: the update's, then each step done, then the renames done.
template <typename Take>
void ForEachRecord(const JournalRecords& records, Take take) {
    char record[kRecordSize];
    take(record, FormatIdentityRecord(record, records.identity));
    for (int step = 0; step < kStepCount; ++step) {
        if (records.done[step]) take(record, FormatStepRecord(record, step, records.copyStamp));
        if (step == kStepDelete && records.renamesDone > 0 && !records.done[kStepRename])
            take(record, FormatRenamesRecord(record, records.renamesDone));
    }
}

// Sets the registry's records to the journal's current ones; with remove,
// deletes them. The key is opened for each change, so that it is read as
// the other writers of the registry left it. A registry that cannot be
// written costs the update only this second record: it is logged, and the
// update goes on. Returns 1 (also when the game has no key), or 0.
int UpdateMirror(UpdateJournal* journal, bool remove = false) {
    PlatformRegistryKey* key = OsOpenRegistryKey(journal->registryKey);
    if (key == nullptr) return 1;
    char text[kMirrorSize] = {};
    size_t used = 0;
    ForEachRecord(journal->current, [&](const char* record, size_t length) {
        if (used + length >= sizeof text) return;
        std::memcpy(text + used, record, length);
        used += length;
        text[used - 1] = kMirrorSeparator;
    });
    if (used > 0) text[used - 1] = '\0';
    const int written = remove ? OsDeleteRegistryValue(key, kMirrorValue) : OsSetRegistryText(key, kMirrorValue, text);
    if (!written) LogLastError("the update journal in the registry cannot be written");
    OsCloseRegistryKey(key);
    return written;
}

// Writes the journal file anew from its current records: the update's in
// its own block, flushed before anything else, then the steps', flushed.
int WriteJournalFile(UpdateJournal* journal) {
    char block[kHeaderBlockSize] = {};
    std::string steps;
    bool first = true;
    ForEachRecord(journal->current, [&](const char* record, size_t length) {
        if (first) std::memcpy(block, record, length);
        if (!first) steps.append(record, length);
        first = false;
    });
    if (OsCutFile(journal->file, 0) && OsWriteFile(journal->file, block, sizeof block) &&
        OsFlushFile(journal->file) &&
        (steps.empty() || (OsWriteFile(journal->file, steps.data(), static_cast<uint32_t>(steps.size())) &&
                           OsFlushFile(journal->file))))
        return 1;
    DiagnoseLastError("the update journal in %s cannot be written", journal->folder);
    return 0;
}

// How far records go: the steps done, then the renames done.
uint64_t ProgressOf(const JournalRecords& records) {
    uint64_t steps = 0;
    for (int step = 0; step < kStepCount; ++step) steps += records.done[step];
    return (steps << 32) | records.renamesDone;
}

// Starts identity's update anew in the journal and the registry.
int BeginAnew(UpdateJournal* journal, const UpdateIdentity& identity) {
    journal->current = JournalRecords{};
    journal->current.identified = 1;
    journal->current.identity = identity;
    journal->begun = 1;
    if (!WriteJournalFile(journal)) return 0;
    UpdateMirror(journal);
    return 1;
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

int OpenUpdateJournal(const char* installFolder, const char* registrySubkey, UpdateJournal* journal) {
    *journal = UpdateJournal{};
    CopyText(journal->folder, installFolder);
    const int result = OsOpenFolderJournal(installFolder, &journal->file);
    if (result != kJournalOpened) return result;
    CopyText(journal->registryKey, registrySubkey);
    if (PlatformRegistryKey* key = OsOpenRegistryKey(registrySubkey)) {
        std::unique_ptr<char[]> text(new (std::nothrow) char[kMirrorSize]);
        if (text && OsQueryRegistryText(key, kMirrorValue, text.get(), kMirrorSize))
            ReadMirrorRecords(text.get(), &journal->mirrored);
        OsCloseRegistryKey(key);
    }
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
    const bool inFile = journal->found.identified && SameUpdate(journal->found.identity, identity);
    const bool inMirror = journal->mirrored.identified && SameUpdate(journal->mirrored.identity, identity);
    if (inFile || inMirror) {
        journal->current = inFile && (!inMirror || ProgressOf(journal->found) >= ProgressOf(journal->mirrored))
                               ? journal->found
                               : journal->mirrored;
        journal->begun = 1;
        for (int step = 0; step < kStepCount; ++step) {
            if (journal->current.done[step]) LogEvent("journal: %s done by an earlier run", kStepNames[step]);
        }
        if (!inFile || !SameRecords(journal->found, journal->current)) {
            LogEvent("journal: its file holds less than the registry; written anew");
            if (!WriteJournalFile(journal)) return 0;
        } else if (!CutBackToGoodRecords(journal)) {
            return 0;
        }
        if (!inMirror || !SameRecords(journal->mirrored, journal->current)) UpdateMirror(journal);
        return 1;
    }
    if (journal->found.identified) {
        LogEvent("journal: an earlier run of another update (%016" PRIx64 " of package %016" PRIx64
                 ") set aside; this update begins anew",
                 journal->found.identity.scriptDigest, journal->found.identity.packageDigest);
        journal->setAside = 1;
    }
    return BeginAnew(journal, identity);
}

void RedoStep(UpdateJournal* journal, UpdateStep step) {
    if (!journal->current.done[step]) return;
    LogEvent("journal: what %s did is no longer on the disk: it is done again", kStepNames[step]);
    journal->current.done[step] = 0;
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

int MarkStepDone(UpdateJournal* journal, UpdateStep step, uint64_t stamp) {
    char record[kRecordSize];
    if (!AppendRecord(journal, record, FormatStepRecord(record, step, stamp))) return 0;
    journal->current.done[step] = 1;
    if (step == kStepCopy) journal->current.copyStamp = stamp;
    UpdateMirror(journal);
    return 1;
}

int MarkRenamesDone(UpdateJournal* journal, uint32_t count) {
    char record[kRecordSize];
    if (!AppendRecord(journal, record, FormatRenamesRecord(record, count))) return 0;
    journal->current.renamesDone = count;
    UpdateMirror(journal);
    return 1;
}

void CloseUpdateJournal(UpdateJournal* journal, int remove) {
    if (journal->file == nullptr) return;
    // With no step done, a run from the start does what resuming would.
    const uint64_t progress = journal->begun ? ProgressOf(journal->current)
                                             : ProgressOf(journal->found) | ProgressOf(journal->mirrored);
    const bool anyDone = progress != 0;
    if (remove || !anyDone) {
        // The registry's records go first: a journal file left alone, also
        // when they cannot go, resumes the update, which finds every step
        // done and removes both.
        if (UpdateMirror(journal, true)) {
            if (!OsRemoveFolderJournal(journal->folder, journal->file))
                LogLastError("the update journal in %s cannot be removed", journal->folder);
        } else {
            OsCloseFile(journal->file);
        }
    } else {
        OsCloseFile(journal->file);
    }
    journal->file = nullptr;
}
