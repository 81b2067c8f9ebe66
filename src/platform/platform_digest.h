// SHA-256 digests, computed by the system.
//
// Part of the narrow interface between the program and the operating system
// (see platform_files.h for its conventions).
#pragma once

#include <cstddef>

// Digests ------------------------------------------------------------------

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
