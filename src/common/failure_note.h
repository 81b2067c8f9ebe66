// Why the update did not go through, for the player: the first failure
// noted since the note was last cleared, with its cause when the program
// knows one. Failures are noted where they happen (every failed system call
// that DiagnoseLastError reports, a volume without room, a damaged member);
// the shell clears the note before the work whose failure it reports and
// turns what was noted into one line under its own message.
#pragma once

#include <cstdint>

#include "common/sjis_text.h"

enum FailureCause : int {
    kCauseUntold = 0,     // nothing noted, or a failure the program has no words for
    kCauseDiskFull,       // the volume is full
    kCauseInUse,          // another program holds the file
    kCauseDenied,         // no right to the file, or a read-only volume
    kCauseDamaged,        // the update data is damaged
    kCauseFolderMissing,  // the install folder does not exist
};

struct FailureNote {
    int noted;                   // a failure was noted since the note was cleared
    int cause;                   // FailureCause
    char name[kPathFieldSize];   // the file, member or folder concerned; may be empty
    uint64_t neededBytes;        // kCauseDiskFull: what the update needs; 0 when not known
    uint64_t freeBytes;          // kCauseDiskFull: what the volume has free, when neededBytes is known
};

// Forgets what was noted.
void ClearFailureNote();

// Notes a failure unless one was noted since the last clearing: the first
// failure is the cause, later ones follow from it. name may be nullptr.
void NoteFailure(int cause, const char* name, uint64_t neededBytes = 0, uint64_t freeBytes = 0);

// What was noted.
const FailureNote& NotedFailure();
