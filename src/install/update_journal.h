// The update journal: a small file in the install folder that records which
// update is being applied and which of its steps are done, so that the next
// run of the same update finishes an interrupted one, skipping what is done
// and never repeating a finished step. The open journal is also the install
// folder's lock: two updaters never work on one game at once.
//
// Its text, one record a line, appended as the update goes on:
//   updater journal 1 digest=0123456789abcdef edition=0 target=1020
//   done copy
//   renamed 2
//   done rename
// A line that is not whole (a run killed while writing it) ends the records.
#pragma once

#include <cstdint>

#include "common/sjis_text.h"
#include "common/version.h"

struct PlatformFile;

// The steps of an update that the journal records, in the order they run.
enum UpdateStep : int {
    kStepCopy,         // every copy entry swapped in and flushed
    kStepDelete,       // the delete list worked through
    kStepRename,       // the rename list worked through
    kStepPatches,      // the byte patches written and flushed
    kStepSavesStaged,  // every converted save written beside its save and flushed
    kStepSaves,        // the saves reset, or the converted ones swapped in
    kStepShortcuts,    // the shortcuts written
    kStepCount,
};

// Which update a journal belongs to.
struct UpdateIdentity {
    uint64_t scriptDigest;        // the digest of the script's bytes
    uint32_t addContents;         // the edition: 0 standard, 1 add-contents
    VersionNumber targetVersion;  // the version the update records
};

struct UpdateJournal {
    PlatformFile* file;               // the open, locked journal
    char folder[kPathFieldSize];      // the install folder
    int found;                        // the file held a whole first record when opened
    UpdateIdentity foundIdentity;     // that record's update
    uint8_t foundDone[kStepCount];    // the steps it marks done
    uint32_t foundRenames;            // the rename entries it marks done, from the first
    int begun;                        // the journal is this run's update's
    uint8_t done[kStepCount];         // this update's steps done
    uint32_t renamesDone;             // this update's rename entries done, from the first
};

// Opens and locks the journal of installFolder, creating it empty when there
// is none, and reads what it records. Returns a FolderJournalResult
// (platform.h); only for kJournalOpened is journal open.
int OpenUpdateJournal(const char* installFolder, UpdateJournal* journal);

// Takes up the journal for identity's update before its first change: a
// journal of the same update is resumed with the steps it marks done; one of
// another update is logged and set aside, and the update begins anew. The
// journal then records identity, flushed. Returns 1, or 0 after a
// diagnostic when it cannot be written.
int BeginUpdateJournal(UpdateJournal* journal, const UpdateIdentity& identity);

// Whether step of the journal's update is done.
int IsStepDone(const UpdateJournal& journal, UpdateStep step);

// Whether every step of the journal's update is done.
int AreAllStepsDone(const UpdateJournal& journal);

// Records step as done and flushes the journal: call it only after the
// step's changes are flushed. Returns 1, or 0 after a diagnostic.
int MarkStepDone(UpdateJournal* journal, UpdateStep step);

// Records that the rename entries before count are done. Not flushed: each
// rename is one step of the file system, recorded right after it; a later
// MarkStepDone flushes the record. Returns 1, or 0 after a diagnostic.
int MarkRenamesDone(UpdateJournal* journal, uint32_t count);

// Closes the journal, releasing the lock. remove non-zero deletes it (the
// update is recorded as applied); a journal with no step done is deleted
// too, since a run from the start then does what resuming would, and one
// that marks any step of an update done stays for the next run.
void CloseUpdateJournal(UpdateJournal* journal, int remove);
