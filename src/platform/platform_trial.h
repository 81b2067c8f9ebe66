// What updpack try needs to apply an update to a copy of a game.
//
// Part of the narrow interface between the program and the operating system
// (see platform_files.h for its conventions).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PlatformFile;

// Trying an update ---------------------------------------------------------

//
// updpack try applies an update to a copy of a game with the updater's own
// code. These make the copy cheaply and give that run a registry and a
// Programs folder of its own, so that the player's are neither read nor
// changed. The updater never calls them.

// Creates a new, empty folder for the run in the system's folder for
// temporary files and stores its path (Shift_JIS, ending in no separator) in
// path. Returns 1, or 0 when it cannot be made or its path does not fit
// capacity or has no Shift_JIS form.
int OsMakeTemporaryFolder(char* path, size_t capacity);

// Removes path and, when it is a folder, everything below it, names without
// a Shift_JIS form included. Returns 1 when nothing is left of it.
int OsRemoveTree(const char* path);

// The full path of path, which exists, relative paths taken from the current
// folder (Windows: its short form when Shift_JIS cannot hold it). Returns 1,
// or 0 when it cannot be told or does not fit capacity.
int OsFullPath(const char* path, char* full, size_t capacity);

// Creates a new file at path, empty and open for writing, never replacing
// one; it is not flushed. nullptr when something exists there or it cannot
// be made.
PlatformFile* OsCreateNewFile(const char* path);

// Makes newPath one more name of the file at existingPath (a hard link), so
// that both name the same bytes. Returns 1, or 0 when the volume or the
// file system refuses (another volume, no links).
int OsLinkFile(const char* existingPath, const char* newPath);

// The files a file argument names: on Windows, where no shell expands them,
// a last part holding '*' or '?' is matched against its folder (the
// matching files in name order; names Shift_JIS cannot hold are passed
// over); any other argument, and every argument on POSIX, names itself.
// Returns 1, or 0 when a pattern matches no file.
int OsExpandFileArgument(const char* argument, std::vector<std::string>* paths);

// From now on this process's registry is a private one, kept in folder (an
// existing folder the caller removes afterwards), holding only the key
// subkey with the values InstallFolder (text), Version (4 bytes, binary)
// and AddContents (a number). POSIX: the registry file registry.reg in
// folder; Windows: a new key of its own below HKEY_CURRENT_USER\Software,
// which OsEndPrivateRegistry removes (a run killed meanwhile leaves it).
// Returns 1, or 0 with the registry as it was.
int OsBeginPrivateRegistry(const char* folder, const char* subkey, const char* installFolder, uint32_t version,
                           uint32_t addContents);

// Ends the private registry: the user's is this process's registry again.
void OsEndPrivateRegistry();

// From now on this process's Programs folder is folder (an existing folder),
// or the user's again for nullptr.
void OsUseProgramsFolder(const char* folder);
