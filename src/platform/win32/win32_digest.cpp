// SHA-256 on Windows, from the system's Cryptography API: Next Generation
// (bcrypt.dll), which every supported Windows and Wine provide. A copy's
// blocks are hashed by threads of the system's pool (win32_digest.h).
#include "platform/win32/win32_digest.h"

#include <windows.h>
#include <bcrypt.h>

#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "platform/platform_digest.h"

namespace {

// A copy reads one block while the block before is hashed.
constexpr int kBlocksPerDigest = 2;

// The block buffers of released digests, for the next ones: a fresh buffer
// for each file would cost its pages' first touch every time.
SRWLOCK g_spareLock = SRWLOCK_INIT;
std::vector<std::unique_ptr<char[]>> g_spareBuffers;

std::unique_ptr<char[]> TakeSpareBuffer() {
    ::AcquireSRWLockExclusive(&g_spareLock);
    std::unique_ptr<char[]> buffer;
    if (!g_spareBuffers.empty()) {
        buffer = std::move(g_spareBuffers.back());
        g_spareBuffers.pop_back();
    }
    ::ReleaseSRWLockExclusive(&g_spareLock);
    if (!buffer) buffer.reset(new (std::nothrow) char[kDigestBlockSize]);
    return buffer;
}

void KeepSpareBuffer(std::unique_ptr<char[]> buffer) {
    if (!buffer) return;
    ::AcquireSRWLockExclusive(&g_spareLock);
    // Only a failed push could throw; the buffer is then freed.
    try {
        g_spareBuffers.push_back(std::move(buffer));
    } catch (const std::bad_alloc&) {
    }
    ::ReleaseSRWLockExclusive(&g_spareLock);
}

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

}  // namespace

struct PlatformDigest {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    // Background hashing, by one thread of the system's pool at a time.
    PTP_WORK work = nullptr;  // made with the first block handed over
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
    std::unique_ptr<char[]> buffers[kBlocksPerDigest];
    DWORD queued[kBlocksPerDigest] = {};  // the bytes handed over in each buffer; 0 once hashed
    int next = 0;                         // the buffer the next block is read into
    int hashing = 0;                      // the buffer hashed next
    bool draining = false;                // work is submitted and has not seen the queue empty
    bool failed = false;                  // a block could not be hashed
};

namespace {

// BCryptHashData takes no const input, though it never writes it.
bool HashBytes(PlatformDigest* digest, const void* bytes, size_t count) {
    PUCHAR input = static_cast<PUCHAR>(const_cast<void*>(bytes));
    while (count > 0) {
        const ULONG piece = count > 0x40000000u ? 0x40000000u : static_cast<ULONG>(count);
        if (!Succeeded(::BCryptHashData(digest->hash, input, piece, 0))) return false;
        input += piece;
        count -= piece;
    }
    return true;
}

// Hashes the blocks handed to digest, in order, until none is left.
void DrainBlocks(PlatformDigest* digest) {
    ::AcquireSRWLockExclusive(&digest->lock);
    while (digest->queued[digest->hashing] != 0) {
        const int slot = digest->hashing;
        const DWORD size = digest->queued[slot];
        ::ReleaseSRWLockExclusive(&digest->lock);
        const bool hashed = HashBytes(digest, digest->buffers[slot].get(), size);
        ::AcquireSRWLockExclusive(&digest->lock);
        digest->failed = digest->failed || !hashed;
        digest->queued[slot] = 0;
        digest->hashing = (slot + 1) % kBlocksPerDigest;
        ::WakeAllConditionVariable(&digest->changed);
    }
    digest->draining = false;
    ::ReleaseSRWLockExclusive(&digest->lock);
}

// The system's thread pool keeps its threads between files: starting a
// thread for each file would cost more than hashing a small one.
void CALLBACK DrainBlocksInPool(PTP_CALLBACK_INSTANCE, void* digest, PTP_WORK) {
    DrainBlocks(static_cast<PlatformDigest*>(digest));
}

// Waits until every block handed to digest is hashed and the pool is done
// with it; the hash, and the digest's memory, are then the caller's alone.
void StopHashing(PlatformDigest* digest) {
    if (digest->work != nullptr) ::WaitForThreadpoolWorkCallbacks(digest->work, FALSE);
}

}  // namespace

char* NextDigestBlock(PlatformDigest* digest) {
    const int slot = digest->next;
    ::AcquireSRWLockExclusive(&digest->lock);
    while (digest->queued[slot] != 0) ::SleepConditionVariableSRW(&digest->changed, &digest->lock, INFINITE, 0);
    ::ReleaseSRWLockExclusive(&digest->lock);
    if (!digest->buffers[slot]) digest->buffers[slot] = TakeSpareBuffer();
    if (!digest->buffers[slot]) ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return digest->buffers[slot].get();
}

void HashInBackground(PlatformDigest* digest, DWORD size) {
    if (size == 0) return;
    ::AcquireSRWLockExclusive(&digest->lock);
    digest->queued[digest->next] = size;
    const bool give = !digest->draining;
    digest->draining = true;
    ::ReleaseSRWLockExclusive(&digest->lock);
    digest->next = (digest->next + 1) % kBlocksPerDigest;
    if (!give) return;
    if (digest->work == nullptr) digest->work = ::CreateThreadpoolWork(DrainBlocksInPool, digest, nullptr);
    // With no pool to hash it, the block is hashed here and now.
    if (digest->work != nullptr) {
        ::SubmitThreadpoolWork(digest->work);
    } else {
        DrainBlocks(digest);
    }
}

PlatformDigest* OsBeginSha256() {
    PlatformDigest* digest = new (std::nothrow) PlatformDigest;
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
    StopHashing(digest);
    return !digest->failed && HashBytes(digest, bytes, count);
}

int OsFinishDigest(PlatformDigest* digest, unsigned char (&result)[kSha256Size]) {
    StopHashing(digest);
    const int finished = !digest->failed && Succeeded(::BCryptFinishHash(digest->hash, result, kSha256Size, 0));
    OsAbandonDigest(digest);
    return finished;
}

void OsAbandonDigest(PlatformDigest* digest) {
    if (digest == nullptr) return;
    StopHashing(digest);
    if (digest->work != nullptr) ::CloseThreadpoolWork(digest->work);
    for (std::unique_ptr<char[]>& buffer : digest->buffers) KeepSpareBuffer(std::move(buffer));
    if (digest->hash != nullptr) ::BCryptDestroyHash(digest->hash);
    if (digest->algorithm != nullptr) ::BCryptCloseAlgorithmProvider(digest->algorithm, 0);
    delete digest;
}
