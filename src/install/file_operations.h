// The first three steps of an update: copy the sources of the copy list into
// the install folder, then delete and rename files there. They read the plan
// tables; the apply sequence calls them once each, in this order, with the
// edition of the run.
#pragma once

#include <cstdint>

struct PackageMember;
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
// lies whole inside its file, its destination path fits, and the destination
// is not the source itself. An entry whose source for the edition is empty has
// nothing to copy and is skipped. When an entry fails the check or cannot be
// written, the message "ファイルが書き込めません。[destination]" is shown,
// owned by owner; entries written before it stay written and later ones are
// not attempted. Each destination is written whole to a new file and then
// swapped in, so it holds its old content or its new one, whatever happens
// meanwhile; new files left beside the destinations by an interrupted run
// are removed first.
//
// Returns 1 when every entry was copied; 0 on a failure, and for an empty copy
// list, without a message of its own.
int ApplyCopyList(PlatformWindow* owner, const char* installFolder, uint32_t addContents);

// Deletes every file of the delete list below installFolder, in table order.
// Failures (missing file, a folder, a path that does not fit) are ignored.
void ApplyDeleteList(const char* installFolder);

// Renames every entry of the rename list below installFolder, in table order.
// Nothing existing at a new name is ever replaced; that entry has no effect.
// Failures are ignored.
void ApplyRenameList(const char* installFolder);
