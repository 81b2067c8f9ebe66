// SHA-256 on Windows, from the system's Cryptography API: Next Generation
// (bcrypt.dll), which every supported Windows and Wine provide.
#include <windows.h>
#include <bcrypt.h>

#include <new>

#include "platform/platform_digest.h"

struct PlatformDigest {
    BCRYPT_ALG_HANDLE algorithm;
    BCRYPT_HASH_HANDLE hash;
};

namespace {

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

}  // namespace

PlatformDigest* OsBeginSha256() {
    PlatformDigest* digest = new (std::nothrow) PlatformDigest{};
    if (digest == nullptr) return nullptr;
    // The hash object's memory is left to the system to provide.
    if (!Succeeded(::BCryptOpenAlgorithmProvider(&digest->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
        !Succeeded(::BCryptCreateHash(digest->algorithm, &digest->hash, nullptr, 0, nullptr, 0, 0))) {
        OsAbandonDigest(digest);
        return nullptr;
    }
    return digest;
}

int OsAddToDigest(PlatformDigest* digest, const void* bytes, size_t count) {
    // BCryptHashData takes no const input, though it never writes it.
    PUCHAR input = static_cast<PUCHAR>(const_cast<void*>(bytes));
    while (count > 0) {
        const ULONG piece = count > 0x40000000u ? 0x40000000u : static_cast<ULONG>(count);
        if (!Succeeded(::BCryptHashData(digest->hash, input, piece, 0))) return 0;
        input += piece;
        count -= piece;
    }
    return 1;
}

int OsFinishDigest(PlatformDigest* digest, unsigned char (&result)[kSha256Size]) {
    const int finished = Succeeded(::BCryptFinishHash(digest->hash, result, kSha256Size, 0));
    OsAbandonDigest(digest);
    return finished;
}

void OsAbandonDigest(PlatformDigest* digest) {
    if (digest == nullptr) return;
    if (digest->hash != nullptr) ::BCryptDestroyHash(digest->hash);
    if (digest->algorithm != nullptr) ::BCryptCloseAlgorithmProvider(digest->algorithm, 0);
    delete digest;
}
