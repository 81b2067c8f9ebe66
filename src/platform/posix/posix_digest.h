// Hashing a copy's blocks on a thread of the digest's own. The blocks lie in
// buffers the digest owns, so its thread can still be hashing the last of
// them while the next file is copied; OsFinishDigest waits for it.
#pragma once

#include <cstddef>

struct PlatformDigest;

// A block is at most this many bytes.
constexpr size_t kDigestBlockSize = size_t{1} << 20;

// A buffer of kDigestBlockSize bytes of digest's own to read the next block
// into, once its thread has hashed the block that was in it before. The
// same buffer until a block is handed over. nullptr when no buffer can be
// had.
char* NextDigestBlock(PlatformDigest* digest);

// Hands the size bytes read into the buffer NextDigestBlock gave last to
// digest's thread, which hashes blocks in the order they are handed. The
// buffer is only read from then on, so it may be written out meanwhile.
void HashInBackground(PlatformDigest* digest, size_t size);
