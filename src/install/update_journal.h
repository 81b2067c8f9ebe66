// The update journal: a small file in the install folder that records which
// update is being applied and which of its steps are done, so that the next
// run of the same update finishes an interrupted one, skipping what is done
// and never repeating a finished step. The open journal is also the install
// folder's lock: two updaters never work on one game at once.
//
// Its first 4 KiB block holds the update's record alone, written and flushed
// before anything else, so that no later write touches it; the records of
// the steps follow, one a line, appended as the update goes on:
//   updater journal 2 script=0123456789abcdef package=fedcba9876543210 edition=0 target=1020 #1a2b3c4d
//   (zero bytes up to 4096)
//   done copy expect=0011223344556677 #5e6f7a8b
//   renamed 2 #9c0d1e2f
// Each record ends with the checksum of its text. A record that is not
// whole or does not match its checksum (a run killed, or a power cut, while
// writing it) ends the records, and the journal is cut back to the last
// good one before anything is appended.
//
// The same records, joined by '|', are kept in the game's registry key as
// the value UpdateJournal, written after each record: a journal file that a
// player deleted, that was damaged or that another update's run replaced
// does not make a step run twice. Both go once the version is recorded.
#pragma once

#include <cstdint>

#include "common/sjis_text.h"
#include "common/version.h"

struct PlatformFile;

// The steps of an update that the journal records, in the order they run.
enum UpdateStep : int {
    kStepCopy,       // every copy entry swapped in and flushed
    kStepDelete,     // the delete list worked through, its folders flushed
    kStepRename,     // the rename list worked through, its folders flushed
    kStepPatches,    // the byte patches written and flushed
    kStepSaves,      // the saves put aside, or converted, and flushed
    kStepShortcuts,  // the shortcuts written and flushed with their folders
    kStepCount,
};

// Which update a journal belongs to.
struct UpdateIdentity {
    uint64_t scriptDigest;        // the digest of the script's bytes
    uint64_t packageDigest;       // the digest of the package (PackageIdentityDigest)
    uint32_t addContents;         // the edition: 0 standard, 1 add-contents
    VersionNumber targetVersion;  // the version the update records
};

// What a journal's records say.
struct JournalRecords {
    int identified;            // it names an update
    UpdateIdentity identity;   // that update
    uint8_t done[kStepCount];  // the steps it marks done
    uint32_t renamesDone;      // the rename entries it marks done, from the first
    uint64_t copyStamp;        // what the copy left on disk (CopiedFilesStamp), once it is done
};

struct UpdateJournal {
    PlatformFile* file;              // the open, locked journal
    char folder[kPathFieldSize];     // the install folder
    char registryKey[kPathFieldSize];  // the game's registry key, which holds the records too
    JournalRecords found;            // what the file held when it was opened
    JournalRecords mirrored;         // what the registry held then
    uint64_t goodLength;             // the file's bytes up to the end of its last good record
    int begun;                       // the journal records this run's update
    int setAside;                    // it held another update's records, set aside
    JournalRecords current;          // this run's update and its steps done
};

// Opens and locks the journal of installFolder, creating it empty when there
// is none, and reads what it and the registry key registrySubkey record.
// Returns a FolderJournalResult (platform_journal.h); only for kJournalOpened is
// journal open.
int OpenUpdateJournal(const char* installFolder, const char* registrySubkey, UpdateJournal* journal);

// Takes up the journal for identity's update before its first change: the
// records of the same update, in the file or in the registry, whichever went
// further, are resumed with the steps they mark done; the file is cut back
// to its last good record, or written anew with them. Records of another
// update are logged and set aside, and the update begins anew: the journal
// then records identity, flushed. Returns 1, or 0 after a diagnostic when it
// cannot be written.
int BeginUpdateJournal(UpdateJournal* journal, const UpdateIdentity& identity);

// Has step done again, when the disk no longer holds what it did (the game
// was installed again since, or its files written): the step is done, and
// recorded, once more.
void RedoStep(UpdateJournal* journal, UpdateStep step);

// Whether step of the journal's update is done.
int IsStepDone(const UpdateJournal& journal, UpdateStep step);

// Whether every step of the journal's update is done.
int AreAllStepsDone(const UpdateJournal& journal);

// Records step as done, in the file (flushed) and in the registry: call it
// only after the step's changes are flushed. For the copy, stamp is what it
// left on disk. Returns 1, or 0 after a diagnostic.
int MarkStepDone(UpdateJournal* journal, UpdateStep step, uint64_t stamp = 0);

// Records that the rename entries before count are done, as MarkStepDone:
// call it only after the rename is flushed, since a rename is not safe to
// repeat. Returns 1, or 0 after a diagnostic.
int MarkRenamesDone(UpdateJournal* journal, uint32_t count);

// Closes the journal, releasing the lock. remove non-zero deletes it and its
// records in the registry (the update is recorded as applied); a journal with
// no step done is deleted too, since a run from the start then does what
// resuming would, and one that marks any step of an update done stays for
// the next run.
void CloseUpdateJournal(UpdateJournal* journal, int remove);
