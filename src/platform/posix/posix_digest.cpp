// SHA-256 on POSIX systems, from libcrypto (OpenSSL), which picks the
// processor's own SHA instructions where it has them. A copy's blocks are
// hashed by a few threads kept for the run (posix_digest.h).
#include "platform/posix/posix_digest.h"

#include <openssl/evp.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/platform_digest.h"

namespace {

// A copy reads one block while the block before is hashed.
constexpr int kBlocksPerDigest = 2;

// The block buffers of released digests, for the next ones: a fresh buffer
// for each file would cost its pages' first touch every time.
std::mutex g_spareLock;
std::vector<std::unique_ptr<char[]>> g_spareBuffers;

std::unique_ptr<char[]> TakeSpareBuffer() {
    {
        std::lock_guard<std::mutex> held(g_spareLock);
        if (!g_spareBuffers.empty()) {
            std::unique_ptr<char[]> buffer = std::move(g_spareBuffers.back());
            g_spareBuffers.pop_back();
            return buffer;
        }
    }
    return std::unique_ptr<char[]>(new (std::nothrow) char[kDigestBlockSize]);
}

void KeepSpareBuffer(std::unique_ptr<char[]> buffer) {
    if (!buffer) return;
    std::lock_guard<std::mutex> held(g_spareLock);
    // Only a failed push could throw; the buffer is then freed.
    try {
        g_spareBuffers.push_back(std::move(buffer));
    } catch (const std::bad_alloc&) {
    }
}

}  // namespace

struct PlatformDigest {
    EVP_MD_CTX* context = nullptr;
    // Background hashing, by one of the hashing threads at a time.
    std::mutex lock;
    std::condition_variable changed;
    std::unique_ptr<char[]> buffers[kBlocksPerDigest];
    size_t queued[kBlocksPerDigest] = {};  // the bytes handed over in each buffer; 0 once hashed
    int next = 0;                          // the buffer the next block is read into
    int hashing = 0;                       // the buffer hashed next
    bool draining = false;                 // a hashing thread has it, or will take it
    bool failed = false;                   // a block could not be hashed
};

namespace {

// Hashes the blocks handed to digest, in order, until none is left.
void DrainBlocks(PlatformDigest* digest) {
    std::unique_lock<std::mutex> held(digest->lock);
    while (digest->queued[digest->hashing] != 0) {
        const int slot = digest->hashing;
        const size_t size = digest->queued[slot];
        held.unlock();
        const bool hashed = EVP_DigestUpdate(digest->context, digest->buffers[slot].get(), size) == 1;
        held.lock();
        digest->failed = digest->failed || !hashed;
        digest->queued[slot] = 0;
        digest->hashing = (slot + 1) % kBlocksPerDigest;
        digest->changed.notify_all();
    }
    digest->draining = false;
    digest->changed.notify_all();
}

// The threads that hash handed blocks: started as they are needed, up to a
// few, and kept for the rest of the run, since starting a thread for each
// file would cost more than hashing a small one. Never destroyed, as its
// threads may still wait on it while the program exits.
constexpr int kHashingThreads = 2;
struct HashingThreads {
    std::mutex lock;
    std::condition_variable waiting;
    std::deque<PlatformDigest*> digests;  // digests with blocks to hash that no thread has taken
    int started = 0;
    int idle = 0;
};

HashingThreads& TheHashingThreads() {
    static HashingThreads* threads = new HashingThreads;
    return *threads;
}

void HashDigestsHandedOver() {
    HashingThreads& threads = TheHashingThreads();
    std::unique_lock<std::mutex> held(threads.lock);
    for (;;) {
        ++threads.idle;
        threads.waiting.wait(held, [&threads] { return !threads.digests.empty(); });
        --threads.idle;
        PlatformDigest* digest = threads.digests.front();
        threads.digests.pop_front();
        held.unlock();
        DrainBlocks(digest);
        held.lock();
    }
}

// Gives digest to a hashing thread, starting one when none is idle.
// Returns 0 when there is none to give it to.
int GiveToHashingThread(PlatformDigest* digest) {
    HashingThreads& threads = TheHashingThreads();
    std::lock_guard<std::mutex> held(threads.lock);
    if (threads.idle == 0 && threads.started < kHashingThreads) {
        try {
            std::thread(HashDigestsHandedOver).detach();
            ++threads.started;
        } catch (const std::system_error&) {
            if (threads.started == 0) return 0;
        }
    }
    try {
        threads.digests.push_back(digest);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    threads.waiting.notify_one();
    return 1;
}

// Waits until every block handed to digest is hashed; the context is then
// the caller's alone.
void StopHashing(PlatformDigest* digest) {
    std::unique_lock<std::mutex> held(digest->lock);
    digest->changed.wait(held, [digest] { return !digest->draining; });
}

}  // namespace

char* NextDigestBlock(PlatformDigest* digest) {
    const int slot = digest->next;
    std::unique_lock<std::mutex> held(digest->lock);
    digest->changed.wait(held, [digest, slot] { return digest->queued[slot] == 0; });
    if (!digest->buffers[slot]) digest->buffers[slot] = TakeSpareBuffer();
    return digest->buffers[slot].get();
}

void HashInBackground(PlatformDigest* digest, size_t size) {
    if (size == 0) return;
    bool give = false;
    {
        std::lock_guard<std::mutex> held(digest->lock);
        digest->queued[digest->next] = size;
        give = !digest->draining;
        digest->draining = true;
    }
    digest->next = (digest->next + 1) % kBlocksPerDigest;
    // With no thread to hash it, the block is hashed here and now.
    if (give && !GiveToHashingThread(digest)) DrainBlocks(digest);
}

PlatformDigest* OsBeginSha256() {
    PlatformDigest* digest = new (std::nothrow) PlatformDigest;
    if (digest == nullptr) return nullptr;
    digest->context = EVP_MD_CTX_new();
    if (digest->context == nullptr || EVP_DigestInit_ex(digest->context, EVP_sha256(), nullptr) != 1) {
        OsAbandonDigest(digest);
        return nullptr;
    }
    return digest;
}

int OsAddToDigest(PlatformDigest* digest, const void* bytes, size_t count) {
    StopHashing(digest);
    return !digest->failed && EVP_DigestUpdate(digest->context, bytes, count) == 1;
}

int OsFinishDigest(PlatformDigest* digest, unsigned char (&result)[kSha256Size]) {
    StopHashing(digest);
    unsigned int length = 0;
    const int finished = !digest->failed && EVP_DigestFinal_ex(digest->context, result, &length) == 1 &&
                         length == kSha256Size;
    OsAbandonDigest(digest);
    return finished;
}

void OsAbandonDigest(PlatformDigest* digest) {
    if (digest == nullptr) return;
    StopHashing(digest);
    for (std::unique_ptr<char[]>& buffer : digest->buffers) KeepSpareBuffer(std::move(buffer));
    EVP_MD_CTX_free(digest->context);
    delete digest;
}
