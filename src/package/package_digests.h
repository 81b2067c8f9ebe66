// The package's digest list: one more member, written by updpack create,
// that gives the SHA-256 of the package's header and directory and of every
// other member, so that damage is found before anything is installed. A
// reader that does not know it sees one more file.
//
// The list is text, one line for each, as sha256sum writes them (64
// lower-case hexadecimal digits, two spaces, the name, a line feed):
//   <digest>  :directory     bytes 0 to 16 + D - 1: the header and directory
//   <digest>  Update.ini     then every other entry, in directory order
// ':' is in no member's name, so the first line names no member. The list's
// own entry and bytes come last, so that updpack writes a package in one
// pass; its size follows from the names alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "package/package_directory.h"
#include "platform/platform_digest.h"

// Fits both layouts (at most 15 bytes) and begins with a character that no
// game's file name is likely to.
constexpr char kDigestListName[] = "@SHA256SUMS";
constexpr char kDirectoryDigestName[] = ":directory";

struct PackageDigests {
    PackageDirectory directory;                    // read strictly: every member lies inside the file
    int64_t listEntry;                             // the digest list's entry; -1 when there is none
    unsigned char (*listed)[kSha256Size];          // each entry's digest as listed; zero for the list's own; owned
    unsigned char listDigest[kSha256Size];         // the SHA-256 of the list: one value for the whole package
};

// What ReadPackageDigests found.
enum PackageDigestsResult : int {
    kDigestsListed = 0,   // every entry has its digest, and the directory matches its own
    kDigestsAbsent = 1,   // a package made without a list (by another tool): the directory alone is read
    kPackageDamaged = 2,  // cut short, a directory that does not match its digest, or a damaged list
    kPackageNotOpened = 3,  // the file cannot be opened or read
};

// Reads the package at path: its directory strictly (ReadPackageDirectory),
// then its digest list, which must list exactly the other entries, by name
// and in order, and give the digest of the header and directory that they
// have. Returns a PackageDigestsResult; for kDigestsListed and kDigestsAbsent
// digests is filled and to be released, otherwise it is empty and message
// (Shift_JIS, at most capacity bytes) says what is wrong.
int ReadPackageDigests(const char* path, PackageDigests* digests, char* message, size_t capacity);

// Releases what digests holds and empties it.
void ReleasePackageDigests(PackageDigests* digests);

// The digest listed for the member the updater opens for name (its base
// name, without regard to the case of ASCII letters); nullptr when the
// package has no list, or name is not in it or is the list itself.
const unsigned char* ListedDigestOf(const PackageDigests* digests, const char* name);

// The SHA-256 of length bytes. Returns 1, or 0 when it cannot be told.
int DigestOfBytes(const void* bytes, size_t length, unsigned char (&digest)[kSha256Size]);

// The indexes of the entries whose bytes do not match their listed digest,
// read from the package at path, in directory order. Returns 1, or 0 when
// the package cannot be read or digests holds no list.
int FindDamagedMembers(const char* path, const PackageDigests& digests, std::vector<uint32_t>* damaged);

// How a damaged entry is told: member "NAME" (entry N) does not match ....
std::string DamagedMemberText(const PackageDigests& digests, uint32_t index);

// The digest as 64 lower-case hexadecimal digits.
std::string DigestText(const unsigned char (&digest)[kSha256Size]);

// The bytes of name's line in the list, its line feed included.
uint32_t DigestLineSize(const char* name);

// Appends name's line, with digest, to list.
void AppendDigestLine(std::string* list, const unsigned char (&digest)[kSha256Size], const char* name);
