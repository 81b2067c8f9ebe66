// The folder journal, which is also the folder's lock, and the instance mutex.
//
// Part of the narrow interface between the program and the operating system
// (see platform_files.h for its conventions).
#pragma once

struct PlatformFile;

// Folder journal -----------------------------------------------------------

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

// Instance mutex -----------------------------------------------------------

// A named system-wide mutex held by this process.
struct PlatformMutex;

// Creates the named mutex, owned by this process. Returns 1 with *mutex set
// when it was taken. Returns 0 with *mutex nullptr when it existed already,
// that is, another instance holds it, and also when it cannot be made or
// checked: the program never runs unguarded.
int OsTakeInstanceMutex(const char* name, PlatformMutex** mutex);

// Releases and closes the mutex. mutex may be nullptr.
void OsReleaseInstanceMutex(PlatformMutex* mutex);
