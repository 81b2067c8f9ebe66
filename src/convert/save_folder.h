// The player's save folder: where it is, removing its save data when an
// update cannot keep it, and converting every numbered save by the
// conversion rules when it can. Every failure here is silent: a save that
// cannot be read, converted or written stays exactly as it was.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/sjis_text.h"

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
// that order, each whether or not it exists. Other files and the folder
// stay. Nothing happens for an empty saveFolder.
void ResetSaveData(const char* saveFolder);

// Converts every numbered save of saveFolder ("save", three characters,
// ".sav", letters in any case; folders are passed over) by the conversion
// rules, and writes back, in one step each, the saves that changed. Does
// nothing at all when there are no conversion rules or saveFolder is empty.
void SweepSaveFolder(const char* saveFolder);

// Reads the whole file at path into image. Returns 1, or 0 when it cannot be
// opened, its length does not fit 32 bits, there is no memory for it, or the
// read delivers less than the whole file.
int LoadWholeFile(const char* path, SaveImage* image);

// Makes length bytes the whole content of the file at path: written to a new
// file beside it, flushed, then swapped in. Returns 1, or 0 with the file as
// it was.
int StoreWholeFile(const char* path, const unsigned char* bytes, uint32_t length);
