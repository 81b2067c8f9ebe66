// The player's save folder: where it is, removing its save data when an
// update cannot keep it, and converting every numbered save by the
// conversion rules when it can. A save that cannot be read or converted
// stays exactly as it was, silently; one whose conversion cannot be written
// fails the update, which the next run finishes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/sjis_text.h"

struct PlatformFlushGroup;
struct SaveImage;

constexpr char kInstallIniName[] = "Install.ini";
constexpr char kSaveFolderSetting[] = "save=";

// Sets saveFolder to the folder that the install folder's own Install.ini
// names (never one in the package): a file that begins with "save=", the
// folder being the text after it up to the first line end or zero byte. With
// no such file, another beginning, an empty or a longer name than a path may
// hold, the save folder is installFolder\save; saveFolder is left empty when
// that does not fit either.
void LocateSaveFolder(const char* installFolder, char (&saveFolder)[kPathFieldSize]);

// Deletes the save data in saveFolder: syssave.dat, qsave.sav, qsave.gra,
// then save000.sav and thumb000.gra up to save999.sav and thumb999.gra, in
// that order, each whether or not it exists, and flushes the folder when
// any was deleted. Other files and the folder stay. Nothing happens for an
// empty saveFolder. Returns 1, or 0 after a diagnostic when the folder
// cannot be flushed.
int ResetSaveData(const char* saveFolder);

// Converts every numbered save of saveFolder ("save", three characters,
// ".sav", letters in any case; folders are passed over) by the conversion
// rules, and writes each save that changed to a new file beside it; then
// flushes them all. No save itself changes yet: CommitSweptSaves swaps them
// in. New files that an interrupted sweep left are removed first. Does
// nothing at all when there are no conversion rules or saveFolder is empty.
// Returns 1, or 0 after a diagnostic (and with no new file left) when a new
// file cannot be written or flushed.
int SweepSaveFolder(const char* saveFolder);

// Puts every converted save that SweepSaveFolder left beside its save in
// place of it, then flushes the folder; also after a run killed meanwhile,
// when some are in place already. Returns 1, or 0 after a diagnostic.
int CommitSweptSaves(const char* saveFolder);

// Reads the whole file at path into image. Returns 1, or 0 when it cannot be
// opened, is larger than a save can be (kLargestSaveSize: it is not read),
// there is no memory for it, or the read delivers less than the whole file.
int LoadWholeFile(const char* path, SaveImage* image);

// Writes length bytes to a new file beside the file at path, to become its
// whole content when swapped in, and keeps it in group. Returns 1, or 0 with
// no new file left.
int StoreWholeFile(const char* path, const unsigned char* bytes, uint32_t length, PlatformFlushGroup* group);
