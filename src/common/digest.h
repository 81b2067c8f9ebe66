// A 64-bit digest of bytes (FNV-1a): tells one text from another, as the
// update journal needs to tell one update's script from another's. Not for
// anything that an adversary shapes.
#pragma once

#include <cstddef>
#include <cstdint>

inline uint64_t DigestOf(const void* bytes, size_t length) {
    const unsigned char* byte = static_cast<const unsigned char*>(bytes);
    uint64_t digest = 0xcbf29ce484222325u;
    for (size_t i = 0; i < length; ++i) {
        digest ^= byte[i];
        digest *= 0x100000001b3u;
    }
    return digest;
}
