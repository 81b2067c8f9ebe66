// The identity of a package, so that an interrupted update is resumed only
// with the very package it began with: a corrected package shipped with the
// same script is another update.
#pragma once

#include <cstdint>

// The digest of the package file at path: its length, its first MiB (the
// header and the directory) and its last MiB (where the member digests
// stand, when it has them). 0 when there is no such file (every source is
// loose). Returns 1, or 0 when the file is there but cannot be read.
int PackageIdentityDigest(const char* path, uint64_t* digest);
