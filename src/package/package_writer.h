// Writes update packages: header, directory, then every member's bytes in
// the order given, and last the digest list (package_digests.h), made while
// the members are copied.
#pragma once

#include <cstddef>
#include <cstdint>

#include "package/package_format.h"

// One member to store.
struct PackageSource {
    const char* memberName;  // Shift_JIS name stored in the directory
    const char* sourcePath;  // program path (Shift_JIS) of the file whose bytes are stored
};

enum PackageWriteResult : int {
    kPackageRefused = 0,  // nothing was created or changed; the message says why
    kPackageWritten = 1,  // the whole package is written
    kPackageFailed = 2,   // writing failed midway; nothing was changed either
};

// Writes the count sources and their digest list into a new package at
// packagePath (replacing a file there) in the given layout, reading each
// source once. The package is written whole to a new file beside
// packagePath and put in its place only when complete, so a failure at any
// point leaves the file at packagePath and every source as they were.
//
// Everything that can be checked beforehand is checked before the file is
// created, and refused with kPackageRefused: a member name that is empty,
// too long for the layout (31 bytes, or 15 in the short-name layout), no
// plain file name, or equal to an earlier one or to the digest list's
// without regard to letter case; a source that cannot be opened or is empty
// (the updater cannot open a member of size 0); a source that is the very
// file at packagePath (told by file identity, whatever names the paths use);
// a package of 2 GiB or more. Members are copied in chunks, never held whole
// in memory.
// On any result but kPackageWritten a Shift_JIS message naming the problem
// is left in message (at most capacity bytes).
int WritePackage(const char* packagePath, PackageLayout layout, const PackageSource* sources, uint32_t count,
                 char* message, size_t capacity);
