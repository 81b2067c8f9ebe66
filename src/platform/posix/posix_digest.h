// Hashing a copy's blocks on another thread. The blocks lie in buffers the
// digest owns, so they can still be hashed while the next file is copied,
// and two files' digests be made at once; OsFinishDigest waits for the
// last block.
#pragma once

#include <cstddef>

struct PlatformDigest;

// A block is at most this many bytes.
constexpr size_t kDigestBlockSize = size_t{1} << 20;

// A buffer of kDigestBlockSize bytes of digest's own to read the next block
// into, once the block that was in it before is hashed; the same buffer
// until a block is handed over. nullptr when no buffer can be had.
char* NextDigestBlock(PlatformDigest* digest);

// Hands the size bytes read into the buffer NextDigestBlock gave last over
// to be hashed, after the blocks handed before. The buffer is only read
// from then on, so it may be written out meanwhile.
void HashInBackground(PlatformDigest* digest, size_t size);
