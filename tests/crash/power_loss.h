// A model of what a power cut keeps, for the crash-testing layer.
//
// It follows every change of the disk that the platform layer announces and
// keeps what is not flushed yet, under a strict model of a disk and its file
// system:
//   - a file's data written since its last flush (its own, or one of its
//     whole volume) may be lost, kept, or torn at 4 KiB pages;
//   - a folder's entries created, removed, renamed or made since that
//     folder's last flush may be lost, from some point on: in order within
//     a folder, independently between folders;
//   - a file's flush does not make its name durable, and a new folder's
//     name is its parent's entry.
// At the crash it puts the disk in one state that such a power cut could
// leave, chosen by a PowerCut, by undoing what is lost: files removed or
// replaced meanwhile are kept, through hard links, in a stash folder on the
// same volume.
#pragma once

#include <cstdint>

#include "platform/disk_change_hook.h"

// Which unflushed changes a power cut loses.
enum PowerCutKind : int {
    kLoseEverything,  // every unflushed change
    kLoseNothing,     // none: what a kill keeps
    kLoseOneFile,     // the data of one file alone
    kLoseOneFolder,   // the entry changes of one folder alone
    kLoseSome,        // a random mix: each file kept, lost or torn, each folder from a random point on
};

struct PowerCut {
    PowerCutKind kind;
    uint32_t which;  // the file or folder for kLoseOneFile and kLoseOneFolder, in the order first changed
    uint32_t seed;   // the mix for kLoseSome
};

// Starts following changes. stash is a folder on the volume the program
// changes; ignoreFlushes makes every flush count for nothing, as a program
// that never flushed would fare.
void StartPowerModel(const NativePathChar* stash, bool ignoreFlushes);

// Records change, which is about to happen.
void RecordChange(DiskChange change, const DiskChangeTarget& target);

// The files with unflushed data and the folders with unflushed entries.
void CountUnflushed(uint32_t* files, uint32_t* folders);

// Puts the disk in the state the power cut leaves. The program must end
// right after, without touching the disk.
void CutPower(const PowerCut& cut);
