// The portable paths behind the POSIX file changes, taken where the kernel or
// the file system refuses the faster or safer call. Declared here so that they
// can be exercised on any file system.
#pragma once

#include <sys/types.h>

#include <cstdint>

struct PlatformDigest;

// Copies count bytes from descriptor in at inOffset to descriptor out at
// outOffset through one bounded buffer, without moving either file position,
// handing each block over to be hashed when digest is not nullptr. Returns
// 1, or 0 when a read or write failed or in ended early.
int CopyRangeInChunks(int in, off_t inOffset, int out, off_t outOffset, uint64_t count, PlatformDigest* digest);

// Renames from to to (native paths) without replacing anything at to, for file
// systems that refuse RENAME_NOREPLACE: a file by link and unlink, which is as
// safe; a folder, or a file where hard links are not supported, by a rename
// after checking that to is free. Returns 1, or 0 with both names unchanged.
int RenameWithoutReplaceFlag(const char* from, const char* to);
