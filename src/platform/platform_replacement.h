// Replacing files whole: one at a time, or many staged, flushed together
// and swapped in.
//
// Part of the narrow interface between the program and the operating system
// (see platform_files.h for its conventions).
#pragma once

#include <cstdint>

struct PlatformFile;

// File replacement ---------------------------------------------------------

// A new file written whole beside the file it is to replace, then swapped in
// over it in one step, so that a kill, a power cut or a full disk leaves the
// old content or the new one, never a mix. Owned by whoever began it until
// OsCommitReplacement or OsAbandonReplacement.
struct PlatformReplacement;

// Begins replacing the file at path (which need not exist): creates the new
// file beside it, empty, open for writing, named path with a suffix holding a
// character Shift_JIS lacks, as no script's name can. A leftover of an
// interrupted replacement is emptied and reused. nullptr when it cannot be
// created (a missing folder, no rights, a native path that does not fit).
PlatformReplacement* OsBeginReplacement(const char* path);

// The new file, open for writing; OsCommitReplacement closes it.
PlatformFile* OsReplacementFile(PlatformReplacement* replacement);

// Flushes the new file, puts it in place of path and flushes that too
// (Windows: MoveFileExW with replace and write-through; POSIX: rename, then
// the folder synced). A file at path held open without delete sharing makes
// the swap fail. Returns 1 when path has the new content, flushed; 0 after
// removing the new file, with path as it was, or, when only the folder's
// flush failed, with the new content in place. Releases replacement.
int OsCommitReplacement(PlatformReplacement* replacement);

// Removes the new file and releases replacement (may be nullptr).
void OsAbandonReplacement(PlatformReplacement* replacement);

// Removes a new file an interrupted replacement of path left, if any.
void OsRemoveReplacementLeftover(const char* path);

// Staged files -------------------------------------------------------------

// Many files replaced as one: each new file is kept beside its destination
// (OsKeepReplacement), all are flushed together (OsFlushGroup), then swapped
// in (OsSwapInReplacement), and each folder is flushed once (OsFlushFolder).
struct PlatformFlushGroup;

// Begins a group of writes to flush together, on folder's volume, before the
// writes: a POSIX flush reports only failures after it began. nullptr when
// folder cannot be opened.
PlatformFlushGroup* OsBeginFlushGroup(const char* folder);

// Adds the file at path, written since the group began. Returns 1, or 0.
int OsAddToFlushGroup(PlatformFlushGroup* group, const char* path);

// Closes replacement's new file, keeps it beside its destination and adds it
// to group. Returns 1, or 0 after removing the new file when closing failed.
// Releases replacement.
int OsKeepReplacement(PlatformReplacement* replacement, PlatformFlushGroup* group);

// Flushes the group's files (POSIX: each volume once; Windows: each file).
// Returns 1, or 0 when something could not be written.
int OsFlushGroup(PlatformFlushGroup* group);

// Releases group. group may be nullptr.
void OsEndFlushGroup(PlatformFlushGroup* group);

// What OsSwapInReplacement did.
enum SwapResult : int {
    kSwapFailed = 0,    // the new file could not be put in place; both names as they were
    kSwapDone = 1,      // path now has the new content
    kNothingStaged = 2, // no new file waits beside path (already swapped in, or never made)
};

// Puts the new file kept beside path in place of path, without a flush
// (Windows: written through). Returns a SwapResult.
int OsSwapInReplacement(const char* path);

// Flushes folder, so that names swapped in it survive a power cut. Returns
// 1, or 0; a file system without folders to flush counts as flushed.
int OsFlushFolder(const char* folder);

// The bytes this user may still write to folder's volume. Returns 1, or 0.
int OsFreeSpace(const char* folder, uint64_t* bytes);
