// Reads and checks a package's header and directory, for the tools that list,
// extract and build packages.
//
// The member reader looks at only what it needs and treats missing bytes as
// zero. This inspection is strict instead: every entry is checked against the
// length of the file, and the first problem is reported in words.
#pragma once

#include <cstddef>
#include <cstdint>

#include "package/package_format.h"

constexpr size_t kMemberNameSize = kLongNameFieldWidth;  // the longest name and its zero
constexpr size_t kPackageMessageSize = 512;              // room for any message below

struct PackageEntry {
    char name[kMemberNameSize];  // Shift_JIS, zero-terminated
    uint32_t offset;             // from the start of the data area
    uint32_t size;               // bytes
    uint32_t dataStart;          // absolute position of the first byte in the file
};

struct PackageDirectory {
    PackageLayout layout;    // from the marker byte
    uint32_t count;          // entries, as the header gives them
    uint32_t dataAreaStart;  // 16 + the directory's size
    uint64_t fileLength;     // bytes
    PackageEntry* entries;   // count records in directory order; owned
};

// Reads the package at path (a program path) into directory. Returns 1 when
// the header and directory are complete and every member lies inside the
// file. Otherwise returns 0 with directory empty and a Shift_JIS message
// naming the problem in message (at most capacity bytes).
int ReadPackageDirectory(const char* path, PackageDirectory* directory, char* message, size_t capacity);

// Releases the entries and empties directory.
void ReleasePackageDirectory(PackageDirectory* directory);

// Index of the first entry whose name equals name without regard to the case
// of ASCII letters, the entry the updater would open; -1 when none does.
int64_t FindPackageEntry(const PackageDirectory* directory, const char* name);

// For every entry, in directory order, stores in firstOf[i] the index of the
// first entry whose name equals entry i's without regard to the case of ASCII
// letters: i itself, or an earlier entry the updater opens instead. firstOf
// holds count numbers. The names are looked up through a hash, so the time
// grows with the count, not with its square. Returns 1, or 0 when memory runs
// out.
int FindFirstOfEachName(const PackageDirectory* directory, uint32_t* firstOf);

// Why name is no usable member name, or nullptr when it is one: it must be a
// plain file name, safe to create inside a folder on Windows and Linux alike
// (not empty, not "." or "..", no '\', '/' or ':', no control character, and
// whole Shift_JIS characters). The length limits of the layouts are checked
// by the writer.
const char* MemberNameProblem(const char* name);
