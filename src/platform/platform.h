// The one narrow interface between the program and the operating system.
//
// Every operation is named after what the program needs, not after one
// system's functions. Each platform implements the whole list in its own
// folder (win32/, posix/); the build picks one. Texts and paths passed here
// are Shift_JIS (code page 932) byte strings with '\' as the path separator,
// exactly as the script and the package hold them; each layer converts them
// at its edge.
//
// Divisions: files, digests, file changes, file replacement, staged files,
// folder journal, folder listings, process, program, registry, user
// interface, console, shell, trying an update.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Files ---------------------------------------------------------------------

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

// Digests -------------------------------------------------------------------

// The SHA-256 of bytes handed over piece by piece, computed by the system's
// own cryptography (CNG on Windows, libcrypto on POSIX), never by our code.
constexpr size_t kSha256Size = 32;
struct PlatformDigest;

// Begins a SHA-256. nullptr when the system cannot make one.
PlatformDigest* OsBeginSha256();

// Adds count bytes. Returns 1, or 0 when the system failed (finishing then
// fails too).
int OsAddToDigest(PlatformDigest* digest, const void* bytes, size_t count);

// Stores the SHA-256 of every byte added in result and releases digest.
// Returns 1, or 0 when it cannot be told.
int OsFinishDigest(PlatformDigest* digest, unsigned char (&result)[kSha256Size]);

// Releases an unfinished digest. digest may be nullptr.
void OsAbandonDigest(PlatformDigest* digest);

// File changes --------------------------------------------------------------

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
// read once into memory for both (POSIX copies in the kernel only without).
// Returns 1, or 0 when reading, writing or the digest failed or the source
// ended before offset + count.
int OsCopyFileRange(PlatformFile* source, uint64_t offset, uint64_t count, PlatformFile* destination,
                    PlatformDigest* digest);

// File replacement ------------------------------------------------------------

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

// Staged files -----------------------------------------------------------------

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

// Folder journal -----------------------------------------------------------------

// What OsOpenFolderJournal found.
enum FolderJournalResult : int {
    kJournalOpened = 0,      // *file is the journal, locked for this process
    kJournalHeld = 1,        // another process holds it: another updater works on the folder
    kJournalNotCreated = 2,  // the folder takes no file: missing, no rights, full or read-only
    kJournalUnusable = 3,    // it cannot be locked, or the lock cannot be checked
    kJournalNotAFile = 4,    // a folder, a pipe, a device, a link or a file with other names stands there
};

// Opens folder's journal, created empty when missing, locked for this process
// until closed: it is also the folder's lock. Its name holds a character
// Shift_JIS lacks, as no script's can. Returns a FolderJournalResult.
int OsOpenFolderJournal(const char* folder, PlatformFile** file);

// Deletes the journal of folder while still holding it, then closes file.
// Returns 1, or 0 when it could not be deleted (file is closed either way).
int OsRemoveFolderJournal(const char* folder, PlatformFile* file);

// Folder listings ---------------------------------------------------------------

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

// Process ---------------------------------------------------------------------

// The system's description of the error that the last failed operation of
// this thread left (errno, GetLastError), for a person to read: Shift_JIS,
// with '?' for characters it lacks, and the error's number. Call it right
// after the failure, before any other operation.
void OsDescribeLastError(char* text, size_t capacity);

// The kind of the last failure; call it right after the failure.
enum LastErrorKind : int {
    kErrorAbsent = 0,   // the file or a folder of its path does not exist
    kErrorExists = 1,   // something exists already at the name
    kErrorRefused = 2,  // no right to it, a folder where a file is meant, a file another program holds
    kErrorIo = 3,       // anything else: the disk failed, is full or read-only
};
int OsLastErrorKind();

// What the last failure means for the player, as a FailureCause
// (common/failure_note.h): a full disk, a file another program holds, or
// access denied; kCauseUntold for any other. Call it right after the failure.
int OsLastFailureCause();

// The running program's module, handed on to the dialog; nullptr where the
// platform needs none.
struct PlatformModule;

// A named system-wide mutex held by this process.
struct PlatformMutex;

// Creates the named mutex, owned by this process. Returns 1 with *mutex set
// when it was taken. Returns 0 with *mutex nullptr when it existed already,
// that is, another instance holds it, and also when it cannot be made or
// checked: the program never runs unguarded.
int OsTakeInstanceMutex(const char* name, PlatformMutex** mutex);

// Releases and closes the mutex. mutex may be nullptr.
void OsReleaseInstanceMutex(PlatformMutex* mutex);

// Makes the program's own folder the current directory, through the system's
// own form of its path, so that any folder name works. Stores in folder its
// Shift_JIS path ending in '\', or an empty text when that path has a
// character Shift_JIS lacks or does not fit capacity bytes: the program then
// names the files there relative to the current directory. Returns 1, or 0
// when the folder cannot be told or entered.
int OsEnterProgramFolder(char* folder, size_t capacity);

// Makes folder (Shift_JIS) the current directory. Returns 1, or 0 when it
// cannot be entered.
int OsEnterFolder(const char* folder);

// Program ---------------------------------------------------------------------

// The program's arguments after its name, as UTF-8 texts, from main's argc
// and argv (Windows passes 0 and nullptr: its command line is read). Returns
// 1, or 0 when the command line cannot be read.
int OsProgramArguments(int argc, char** argv, std::vector<std::string>* arguments);

// The program's name as its usage text gives it ("updater", "updater.exe").
const char* OsProgramName();

// What the usage text adds on this platform, Shift_JIS, ending in a line end.
const char* OsUsageNotes();

// Readies the process for an update: questions answered (unattended: OK, no
// window), where diagnostics and progress go.
void OsPrepareUpdate(int unattended);

// Opens the argument path (UTF-8) to append the run's log to, creating it,
// and makes it the log's sink. Returns 1, or 0.
int OsOpenRunLog(const char* path);

// Closes the run's log, if one is open.
void OsCloseRunLog();

// Enters the folder the argument path (UTF-8) names. Returns 1, or 0.
int OsEnterArgumentFolder(const char* path);

// The argument utf8 (UTF-8) as Shift_JIS. Returns 0 when Shift_JIS lacks one
// of its characters.
int OsArgumentAsText(const char* utf8, std::string* text);

// name (Shift_JIS) as the file system compares names: one key exactly for
// one file (POSIX: native bytes; Windows: UTF-16 in upper case, as UTF-8).
// Returns 0 when name has no file name form.
int OsFileNameKey(const char* name, std::string* key);

// Registry --------------------------------------------------------------------

// An open key under the current user's root.
struct PlatformRegistryKey;

// Opens the existing key subkey for reading and writing. nullptr when it does
// not exist or cannot be opened so.
PlatformRegistryKey* OsOpenRegistryKey(const char* subkey);

// Reads value name as text into text (capacity bytes), whatever its type.
// Returns 1, or 0 with text as it was when the value is missing or does not
// fit capacity with its zero.
int OsQueryRegistryText(PlatformRegistryKey* key, const char* name, char* text, size_t capacity);

// What OsQueryRegistryFolder found.
enum RegistryFolderResult : int {
    kRegistryFolderMissing = 0,   // no such value, or it does not fit capacity
    kRegistryFolderRead = 1,      // folder holds the path
    kRegistryFolderUnusable = 2,  // a path Shift_JIS cannot hold, which has no short form either
};

// Reads value name as a folder's path, in its short (8.3) form when the path
// has characters Shift_JIS lacks and the volume gives one. Returns a
// RegistryFolderResult; for kRegistryFolderUnusable, folder holds the path
// with '?' for each character Shift_JIS lacks, for a message.
int OsQueryRegistryFolder(PlatformRegistryKey* key, const char* name, char* folder, size_t capacity);

// Reads value name as a 4-byte little-endian number, whatever its type.
// Returns 1, or 0 when the value is missing or is not exactly 4 bytes long.
int OsQueryRegistryNumber(PlatformRegistryKey* key, const char* name, uint32_t* value);

// Sets value name to number as 4 little-endian bytes of the binary type,
// replacing any value of that name, and puts it on disk. Returns 1, or 0.
int OsSetRegistryBinaryNumber(PlatformRegistryKey* key, const char* name, uint32_t number);

// Sets value name to text, a string value, replacing any value of that name,
// and puts it on disk. Returns 1, or 0.
int OsSetRegistryText(PlatformRegistryKey* key, const char* name, const char* text);

// Deletes value name, on disk; a value that is not there counts as deleted.
// Returns 1, or 0.
int OsDeleteRegistryValue(PlatformRegistryKey* key, const char* name);

// Closes the key. key may be nullptr.
void OsCloseRegistryKey(PlatformRegistryKey* key);

// User interface --------------------------------------------------------------

// A window that owns message boxes; nullptr for none.
struct PlatformWindow;

// Shows a modal message box with text, caption and one OK button, no icon,
// owned by owner.
void OsShowMessage(PlatformWindow* owner, const char* caption, const char* text);

// Asks an OK/Cancel question in a modal message box without owner. Returns 1
// for OK, 0 for Cancel (or when nobody can answer).
int OsAskOkCancel(const char* caption, const char* text);

// The confirmation dialog's run-time texts: installed version, install
// folder, update sentence, save-data note (controls 1000 to 1003).
constexpr int kDialogTextCount = 4;

// What the confirmation dialog came to.
enum DialogResult : int {
    kDialogNotShown = -1,     // the dialog could not be opened
    kDialogEnded = 0,         // its end button or its close command: nothing applied
    kDialogApplied = 1,       // the apply button, and the update was applied
    kDialogApplyFailed = 2,   // the apply button, and the update failed
};

// Shows the modal confirmation dialog with caption and controlTexts. Its
// apply button calls apply (the dialog owns its messages) and the dialog ends
// with apply's result; its end button and close command end it with
// kDialogEnded. Returns a DialogResult.
int OsRunUpdateDialog(PlatformModule* module, const char* caption,
                      const char* const controlTexts[kDialogTextCount],
                      int (*apply)(PlatformWindow* dialog));

// Console ---------------------------------------------------------------------

// Write text to standard output or standard error, converted from Shift_JIS
// to UTF-8 (on Windows, to the console itself when one is attached). A byte
// or pair that is no Shift_JIS character comes out as U+FFFD.
void OsWriteOutput(const char* text);
void OsWriteError(const char* text);

// Write utf8, a text that is UTF-8 already (the plan's JSON, an argument), to
// standard output or standard error: as it is into a pipe or a file, as its
// characters onto a Windows console.
void OsWriteUtf8Output(const char* utf8);
void OsWriteUtf8Error(const char* utf8);

// text converted from Shift_JIS to UTF-8 whole. Returns 0 when it holds a
// byte or pair that is no Shift_JIS character.
int OsTextToUtf8(const char* text, std::string* utf8);

// text converted from Shift_JIS to UTF-8, as OsWriteOutput writes it into a
// pipe or a file: a byte or pair that is no Shift_JIS character becomes
// U+FFFD, so the result is always valid UTF-8.
std::string OsTextAsUtf8(const char* text);

// Shell -----------------------------------------------------------------------

// The current user's Programs folder of the Start menu (on POSIX the desktop
// entries' applications folder, created with its parents when missing).
// Returns 1 with its path, or 0 with path empty when it cannot be found, its
// name does not fit capacity bytes or has characters Shift_JIS lacks.
int OsGetProgramsFolder(char* path, size_t capacity);

// The properties of a shell link. Texts and paths are Shift_JIS.
struct ShellLinkProperties {
    const char* targetPath;     // the file the link starts
    const char* description;    // may be empty
    const char* arguments;      // may be empty
    const char* workingFolder;  // nullptr: none
    const char* iconPath;       // nullptr: none
    int iconIndex;              // icon in iconPath
    int showCommand;            // window of the started program; 1: a normal one
};

// Writes the link linkPath (on Windows a shell link of that whole name; on
// POSIX a desktop entry, .desktop in place of .lnk), replacing one of that
// name. Returns 1, or 0.
int OsWriteShellLink(const char* linkPath, const ShellLinkProperties& link);

// The path of the file OsWriteShellLink writes for linkPath, for the log.
std::string OsShellLinkFile(const char* linkPath);

// Trying an update ------------------------------------------------------------
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
