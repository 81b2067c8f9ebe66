// The player's save folder: where it is, putting its save data aside when an
// update cannot keep it, and converting every numbered save by the
// conversion rules when it can.
//
// A save is never lost: before a save is replaced or removed, the original
// is kept in the update's backup folder inside the save folder
// (BackupFolderOf), and every conversion is made from the original kept
// there. Doing the work again, after an interruption or with the journal
// gone, gives the saves one run gives: a save already converted is left, one
// the player changed meanwhile is left, and one kept but missing gets its
// conversion. A save that is missing is passed over silently; one that
// cannot be read, a folder that cannot be listed and anything that cannot be
// written fail the update, which the next run finishes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/sjis_text.h"
#include "common/version.h"

struct PlatformFlushGroup;
struct SaveImage;

constexpr char kInstallIniName[] = "Install.ini";
constexpr char kSaveFolderSetting[] = "save=";

// Sets saveFolder to the folder that the install folder's own Install.ini
// names (never one in the package): a file that begins with "save=", the
// folder being the text after it up to the first line end or zero byte, taken
// relative to the install folder unless it is absolute, as the game takes it.
// With no such file, another beginning, an empty or a longer name than a path
// may hold, the save folder is installFolder\save; saveFolder is left empty
// when that does not fit either.
void LocateSaveFolder(const char* installFolder, char (&saveFolder)[kPathFieldSize]);

// Whether name is a numbered save's, which the conversion reads: "save",
// then exactly three characters (a double-byte character counts as one),
// then ".sav", letters in any case as the Windows file search matches them.
bool IsNumberedSaveName(const char* name);

// Whether name is one of the save data a reset puts aside: syssave.dat,
// qsave.sav, qsave.gra, "save" or "thumb" with three digits and ".sav" or
// ".gra", letters in any case.
bool IsSaveDataName(const char* name);

// The backup folder of the update from installed to target in saveFolder:
// saveFolder\backup-1000-1020 for 1.00 to 1.02. Returns 0 when it does not
// fit.
int BackupFolderOf(const char* saveFolder, VersionNumber installed, VersionNumber target,
                   char (&backupFolder)[kPathFieldSize]);

// Moves the save data of saveFolder into backupFolder: syssave.dat,
// qsave.sav, qsave.gra, save000.sav to save999.sav and thumb000.gra to
// thumb999.gra, letters in any case; a name the backup holds already from an
// earlier run is kept under a numbered name beside it. Other files and the
// folder stay. Both folders are flushed. Nothing happens for an empty or
// missing saveFolder. Returns 1, or 0 after a diagnostic.
int ResetSaveData(const char* saveFolder, const char* backupFolder);

// Converts every numbered save of saveFolder ("save", three characters,
// ".sav", letters in any case; folders are passed over), and of backupFolder,
// by the conversion rules from its original. Each conversion is written
// beside its save and all are flushed; then each original not kept yet is
// moved into backupFolder (renamed: no copy, and the kept file is never the
// save a game writes in place), both folders are flushed, and the
// conversions are put in place and saveFolder flushed. New files that an
// interrupted run left are removed first. Does nothing but that when there
// are no conversion rules. Returns 1, or 0 after a diagnostic, with no save
// half-written.
int ConvertSaves(const char* saveFolder, const char* backupFolder);

// What LoadWholeFile found.
enum SaveLoadResult : int {
    kSaveLoaded = 0,      // image holds the file
    kSaveMissing = 1,     // no such file
    kSaveTooLarge = 2,    // larger than a save can be (kLargestSaveSize): not read
    kSaveUnreadable = 3,  // it could not be read whole: a disk error, no memory
};

// Reads the whole file at path into image. Returns a SaveLoadResult.
int LoadWholeFile(const char* path, SaveImage* image);

// Writes length bytes to a new file beside the file at path, to become its
// whole content when swapped in, and keeps it in group. Returns 1, or 0 with
// no new file left.
int StoreWholeFile(const char* path, const unsigned char* bytes, uint32_t length, PlatformFlushGroup* group);
