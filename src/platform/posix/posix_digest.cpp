// SHA-256 on POSIX systems, from libcrypto (OpenSSL), which picks the
// processor's own SHA instructions where it has them.
#include <openssl/evp.h>

#include <new>

#include "platform/platform_digest.h"

struct PlatformDigest {
    EVP_MD_CTX* context;
};

PlatformDigest* OsBeginSha256() {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (context == nullptr) return nullptr;
    if (EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(context);
        return nullptr;
    }
    PlatformDigest* digest = new (std::nothrow) PlatformDigest{context};
    if (digest == nullptr) EVP_MD_CTX_free(context);
    return digest;
}

int OsAddToDigest(PlatformDigest* digest, const void* bytes, size_t count) {
    return EVP_DigestUpdate(digest->context, bytes, count) == 1;
}

int OsFinishDigest(PlatformDigest* digest, unsigned char (&result)[kSha256Size]) {
    unsigned int length = 0;
    const int finished = EVP_DigestFinal_ex(digest->context, result, &length) == 1 && length == kSha256Size;
    OsAbandonDigest(digest);
    return finished;
}

void OsAbandonDigest(PlatformDigest* digest) {
    if (digest == nullptr) return;
    EVP_MD_CTX_free(digest->context);
    delete digest;
}
