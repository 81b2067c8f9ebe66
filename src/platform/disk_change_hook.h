// The point before every operation of the platform layer that changes the
// disk: creating, writing, flushing, swapping in, deleting and renaming
// files, making folders, writing the registry and shell links.
//
// The programs link the version that lets every change happen. Crash-testing
// builds link their own in its place (an object of the program defines it,
// so the library's is never pulled in): it counts the changes and, at a
// chosen one, ends the process at once or fails the operation, as a power
// cut or a failing disk would.
#pragma once

enum DiskChange : int {
    kDiskCreate,    // a new or emptied file
    kDiskWrite,     // bytes written into a file
    kDiskFlush,     // a file, a group of files or a folder flushed
    kDiskSwap,      // a new file put in place of another
    kDiskDelete,    // a file deleted
    kDiskRename,    // a file or folder renamed
    kDiskFolder,    // a folder made
    kDiskRegistry,  // a registry value written
    kDiskLink,      // a shell link written
};

// Returns 1 when the change may go ahead; 0 to fail it, with the system's
// last error set to the failure's, for the operation to report as its own.
int AllowDiskChange(DiskChange change);
