// Opens a file by name either loose on disk or as a member of the package.
//
// A loose file always takes precedence over a package member of the same
// name, so a file placed beside the updater overrides the packaged copy.
#pragma once

#include <cstdint>

struct PlatformFile;

enum MemberKind : int32_t {
    kMemberLoose = 0,   // the name was opened directly on disk
    kMemberPacked = 1,  // a member inside the package
};

// One opened name, owned by the caller from OpenMember to CloseMember.
struct PackageMember {
    int32_t kind;             // MemberKind
    PlatformFile* file;       // open for reading; a packed member's file is the package
    uint32_t dataOffset;      // absolute position of the first byte: 0 when loose
    uint32_t size;            // length in bytes
};

// Opens name loose (relative to the current directory), else its base name
// in packageName when one is given. Returns nullptr when neither works; a
// member of size 0 counts as not found. Every failure leaves nothing open.
PackageMember* OpenMember(const char* name, const char* packageName);

// Looks up the base name of name in the package open in member->file, which
// stands at its start. On success sets member->dataOffset, leaves the file at
// the member's first byte and returns its size; returns 0 when not found.
// The name fields are read in bounded pieces and only the found entry's
// position pair is read, so memory stays small whatever the count claims.
uint32_t FindMember(PackageMember* member, const char* name);

uint32_t MemberSize(const PackageMember* member);

// Returns 1 when every byte the member claims lies inside its file, 0 when
// it runs past the end (a damaged or truncated package) or the file's length
// cannot be told. Callers check this before sizing a buffer by MemberSize.
int MemberLiesInsideFile(const PackageMember* member);

// Reads the whole member with one read into buffer (at least MemberSize
// bytes). Returns 1 when every byte was delivered; 0 when the read failed,
// delivered fewer bytes than the size, or member is nullptr.
int ReadMember(PackageMember* member, void* buffer);

// Closes the member's file and releases the record.
void CloseMember(PackageMember* member);
