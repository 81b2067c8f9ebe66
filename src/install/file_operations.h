// The first three steps of an update: copy the sources of the copy list into
// the install folder, then delete and rename files there. They read the plan
// tables; the apply sequence calls them once each, in this order, with the
// edition of the run.
#pragma once

#include <cstdint>

struct PackageMember;
struct UpdateJournal;
struct PlatformWindow;

// What opening a copy source found.
enum CopySourceState : int {
    kSourceReady,     // found, and every byte it claims lies inside its file
    kSourceNotFound,  // found neither loose nor in UpdateData.dat
    kSourceCutShort,  // a member that runs past the end of UpdateData.dat
};

// Opens source as the copy step does (a loose file in the current folder,
// else the member of UpdateData.dat with the source's base name) and checks
// that every byte it claims lies inside its file. Returns kSourceReady with
// *member open, for the caller to close; otherwise *member is nullptr.
int OpenCopySource(const char* source, PackageMember** member);

// Writes the source of every copy entry for the edition (addContents non-zero:
// the add-contents source, else the standard one; a loose file beside the
// updater, else the member of UpdateData.dat with the source's base name) to
// its destination below installFolder, in table order.
//
// Every entry is checked before anything is written: its source is found and
// lies whole inside its file, its destination path fits, the destination is
// not the source itself, and the volume has room for all the new files. An
// entry whose source for the edition is empty has nothing to copy and is
// skipped. Then the folders of the folder list are made (CreatePlanFolders);
// one that cannot be made fails the copy with its name in the message. Each
// source is written whole to a new file beside its destination; when all are
// written they are flushed together, swapped in in table order, and their
// folders flushed, so every destination holds its old content or its new
// one, whatever happens meanwhile. New files left beside the destinations by
// an interrupted run are removed first.
//
// A packed source of a package with a digest list is hashed as it is
// written; one that does not match its digest, like a package found
// damaged, fails the copy before anything is swapped in, noted as damage
// (common/failure_note.h) without a message of its own. A loose source is
// taken as it is.
//
// When an entry fails the check or its new file cannot be written, the
// message "ファイルが書き込めません。[destination]" is shown, owned by owner;
// the entries before it go in and later ones are not attempted.
//
// With kCopyUnchangedLater, only the entries whose destination no later step
// changes (deletes, renames or patches) are copied again: what a copy done
// before left, when it is gone from the disk.
//
// Returns 1 when every entry was copied; 0 on a failure, and for an empty copy
// list, without a message of its own.
enum CopyScope : int {
    kCopyAll,             // every entry
    kCopyUnchangedLater,  // the entries whose destination no later step changes
};
int ApplyCopyList(PlatformWindow* owner, const char* installFolder, uint32_t addContents, CopyScope scope = kCopyAll);

// Deletes every file of the delete list below installFolder, in table order.
// A file that is missing, is a folder or may not be deleted is passed over, as
// is a path that does not fit. Returns 1, or 0 after a diagnostic when the
// system failed otherwise (the disk failed, the volume is read-only).
int ApplyDeleteList(const char* installFolder);

// Renames every entry of the rename list below installFolder, in table order,
// beginning after the entries that journal (if not nullptr) records as done,
// and recording each as done. Nothing existing at a new name is ever
// replaced; that entry has no effect, as has one whose old name is missing.
// Returns 1, or 0 after a diagnostic when the system failed otherwise or the
// journal cannot be written.
int ApplyRenameList(const char* installFolder, UpdateJournal* journal);

// What the copy left on disk, to tell on a later run whether it is still
// there: a digest of the size and time of writing of every destination the
// edition copies to that no later step changes (deletes, renames or
// patches).
uint64_t CopiedFilesStamp(const char* installFolder, uint32_t addContents);

// Whether every file of the delete list is gone, but those a rename gives
// their name back.
int DeletedFilesGone(const char* installFolder);
