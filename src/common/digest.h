// A 64-bit digest of bytes (FNV-1a): tells one text from another, as the
// update journal needs to tell one update's script or package from another's
// and a whole record from a torn one. Not for anything that an adversary
// shapes.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint64_t kDigestStart = 0xcbf29ce484222325u;

// The digest of bytes; given the digest of what came before them, the digest
// of the whole.
inline uint64_t DigestOf(const void* bytes, size_t length, uint64_t digest = kDigestStart) {
    const unsigned char* byte = static_cast<const unsigned char*>(bytes);
    for (size_t i = 0; i < length; ++i) {
        digest ^= byte[i];
        digest *= 0x100000001b3u;
    }
    return digest;
}
