// The points before every operation of the platform layer that changes the
// disk (creating, writing, flushing, swapping in, deleting and renaming
// files, making folders, writing the registry and shell links) and before
// every read, listing and lock.
//
// The programs link the version that lets everything happen. Crash-testing
// builds link their own in its place (an object of the program defines it,
// so the library's is never pulled in): it follows what is on disk and what
// is not flushed yet and, at a chosen change, ends the process at once, or
// loses what a power cut would lose, or fails the operation as a failing or
// full disk would. The target names what the change touches in the layer's
// native terms, so that such a layer can follow each file and folder.
#pragma once

#include <cstdint>

#ifdef _WIN32
using NativePathChar = wchar_t;  // UTF-16 paths of the W functions
#else
using NativePathChar = char;     // UTF-8 paths
#endif

enum DiskChange : int {
    kDiskCreate,       // path: a file created, or emptied, by its name
    kDiskWrite,        // file: bytes written into an open file, or the file emptied
    kDiskFlushFile,    // file, or path when none is open: a file's data flushed
    kDiskFlushVolume,  // path: the data of every file on path's volume flushed
    kDiskFlushFolder,  // path: a folder's entries flushed
    kDiskSwap,         // path to newPath: a new file put in place of another
    kDiskDelete,       // path: a file deleted
    kDiskDiscard,      // path: a file nobody needs deleted (an abandoned new file); failing is harmless
    kDiskRename,       // path to newPath: renamed, replacing nothing
    kDiskFolder,       // path: a folder made
    kDiskRegistry,     // a registry value written: on Windows path is its name, file its open key;
                       // on POSIX path is the registry file, whose replacement's changes follow
    kDiskFlushRegistry,  // file: an open registry key flushed (Windows)
    kDiskLink,         // path: a shell link about to be written there; on Windows the new file the
                       // shell writes beside the link, on POSIX the entry, whose replacement's changes follow
    kDiskChangeCount,
};

// What a change touches. Fields that do not apply are nullptr or -1.
struct DiskChangeTarget {
    const NativePathChar* path;     // the file or folder, by name
    const NativePathChar* newPath;  // the name a swap or rename gives it
    intptr_t file;                  // the open file: a descriptor, or a HANDLE on Windows
    uint64_t* count;                // a write's byte count, which the hook may lower
};

// Returns 1 when the change may go ahead; 0 to fail it, with the system's
// last error set to the failure's, for the operation to report as its own.
// A write whose *count the hook lowered writes that many bytes and then
// fails with the last error the hook set: a disk that has just filled up.
int AllowDiskChange(DiskChange change, const DiskChangeTarget& target);

enum DiskAccess : int {
    kAccessRead,  // bytes read from an open file
    kAccessList,  // the next entries of a folder listed
    kAccessLock,  // a lock taken: the instance mutex or a folder's journal
    kDiskAccessCount,
};

// Returns 1 when the access may go ahead; 0 to fail it, with the last error
// set to the failure's.
int AllowDiskAccess(DiskAccess access);

// Targets of the common shapes.
inline DiskChangeTarget PathTarget(const NativePathChar* path, const NativePathChar* newPath = nullptr) {
    return DiskChangeTarget{path, newPath, -1, nullptr};
}

inline DiskChangeTarget FileTarget(intptr_t file, uint64_t* count = nullptr) {
    return DiskChangeTarget{nullptr, nullptr, file, count};
}
