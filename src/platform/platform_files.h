// The narrow interface between the program and the operating system, and
// its first part: files, their changes and folder listings.
//
// Every operation is named after what the program needs, not after one
// system's functions. Each platform implements the whole list in its own
// folder (win32/, posix/); the build picks one. Texts and paths passed here
// are Shift_JIS (code page 932) byte strings with '\' as the path separator,
// exactly as the script and the package hold them; each layer converts them
// at its edge.
//
// The interface is split by service: platform_files.h (this one),
// platform_digest.h, platform_replacement.h, platform_journal.h,
// platform_process.h, platform_registry.h, platform_dialog.h,
// platform_shell.h and platform_trial.h.
#pragma once

#include <cstddef>
#include <cstdint>

struct PlatformDigest;

// Files --------------------------------------------------------------------

// An open file. Owned by whoever opened it until OsCloseFile.
struct PlatformFile;

// Opens an existing file for reading only, never creating it. Others may read
// it meanwhile but not write it; access is announced as sequential. A relative
// path resolves against the current directory. nullptr when it cannot be
// opened, or is no plain file (a folder, a device, a pipe).
PlatformFile* OsOpenForReading(const char* path);

// Opens an existing file for writing, never creating it and never emptying
// it. While it is open, others may write but not read it. nullptr when it
// cannot be opened (missing, refused) or is no plain file.
PlatformFile* OsOpenExistingForWriting(const char* path);

// The file's length in bytes. Returns 1, or 0 when it cannot be told.
int OsFileLength(PlatformFile* file, uint64_t* length);

// Reads up to count bytes from the current position into buffer. Returns 1
// with the bytes delivered in *delivered (below count only at the end of the
// file: a short read), or 0 when reading failed.
int OsReadFile(PlatformFile* file, void* buffer, uint32_t count, uint32_t* delivered);

// Reads up to count bytes from offset from the start, as OsReadFile reads
// (a short read only at the end); the position afterwards is unspecified.
int OsReadFileAt(PlatformFile* file, uint64_t offset, void* buffer, uint32_t count, uint32_t* delivered);

// Writes count bytes at the current position. Returns 1 when all were written.
int OsWriteFile(PlatformFile* file, const void* buffer, uint32_t count);

// Writes count bytes at offset from the start; beyond the end the file grows,
// the gap reading as zeros. Returns 1 when all were written.
int OsWriteFileAt(PlatformFile* file, uint64_t offset, const void* buffer, uint32_t count);

// Moves the position forward by count bytes from the current position.
// Returns 1, or 0 when the position cannot be set.
int OsSkipForward(PlatformFile* file, uint32_t count);

// Flushes file's data and length to the disk. Returns 1, or 0.
int OsFlushFile(PlatformFile* file);

// Cuts file to its first length bytes (0 empties it) and moves its position
// to its new end. Returns 1, or 0.
int OsCutFile(PlatformFile* file, uint64_t length);

// Closes the file. file may be nullptr.
void OsCloseFile(PlatformFile* file);

// File changes -------------------------------------------------------------

// Deletes the file at path. Returns 1, or 0 when nothing was deleted: the
// file is missing, is a folder, or may not be deleted.
int OsDeleteFile(const char* path);

// Renames or moves a file or a folder from oldPath to newPath, never
// replacing anything that exists at newPath. Returns 1, or 0 when newPath
// exists or the rename failed; on 0 both names are as they were.
int OsRenameNoReplace(const char* oldPath, const char* newPath);

// Creates the one folder path names; its parent must exist. Returns 1, or 0
// when nothing was created (the name exists, or it cannot be made).
int OsCreateFolder(const char* path);

// Returns 1 when path names the very file open as file (also through
// another name or link), 0 otherwise or when path does not exist.
int OsIsSameFile(PlatformFile* file, const char* path);

// The size of the file at path and the time it was last written, in the
// system's own units: what tells, on a later run, whether it was written
// since. Returns 1, or 0 when it is missing or cannot be told.
int OsFileStamp(const char* path, uint64_t* size, uint64_t* written);

// Returns 1 when path names a folder (also through a link), 0 otherwise.
int OsIsFolder(const char* path);

// Returns 1 when the file at path has other names: path is a symbolic link
// to it, or it has further hard links; 0 otherwise or when it is missing. A
// write into it would change what those names show too.
int OsHasOtherNames(const char* path);

// Removes every new file that interrupted replacements left in folder and in
// the folders below it (not through links): files whose names end in the
// suffix OsBeginReplacement gives, which no script can name.
void OsRemoveStagedFiles(const char* folder);

// Copies count bytes of source from offset to destination's position, which
// then stands after them, in bounded memory; the source's position is
// unspecified afterwards. With digest, every byte copied is also added to it,
// read once into memory for both (POSIX copies in the kernel only without),
// and hashed by another thread that may still be at it when the copy
// returns: OsFinishDigest waits for it and tells whether hashing failed.
// Returns 1, or 0 when reading or writing failed or the source ended before
// offset + count.
int OsCopyFileRange(PlatformFile* source, uint64_t offset, uint64_t count, PlatformFile* destination,
                    PlatformDigest* digest);

// Folder listings ----------------------------------------------------------

// An open listing of one folder's entries.
struct PlatformFolderListing;

// Opens the listing of folder's entries, in the order the file system keeps
// them. nullptr when the folder cannot be listed (missing, not a folder).
PlatformFolderListing* OsOpenFolderListing(const char* folder);

// Stores the next entry's name (Shift_JIS, no folder part) in name and
// whether it is a folder in *isFolder. Returns 1, 0 when no entry is left,
// or -1 when the listing failed (a disk error).
// "." and "..", names that do not fit capacity with their zero and names with
// a character Shift_JIS lacks are passed over.
int OsNextFolderEntry(PlatformFolderListing* listing, char* name, size_t capacity, int* isFolder);

// Ends the listing. listing may be nullptr.
void OsCloseFolderListing(PlatformFolderListing* listing);

// Returns 1 when the system says nothing is at folder (it, or a folder of its
// path, does not exist); 0 when something is, or that cannot be told.
int OsFolderIsMissing(const char* folder);
