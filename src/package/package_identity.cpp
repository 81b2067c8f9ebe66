#include "package/package_identity.h"

#include <memory>
#include <new>

#include "common/digest.h"
#include "platform/platform_files.h"
#include "platform/platform_process.h"

namespace {

// The package's head and tail, each this long, are read.
constexpr uint32_t kEndSize = uint32_t{1} << 20;

// Adds count bytes of file from its position to *sum. Returns 1, or 0.
int DigestBytes(PlatformFile* file, unsigned char* buffer, uint32_t count, uint64_t* sum) {
    uint32_t delivered = 0;
    if (!OsReadFile(file, buffer, count, &delivered) || delivered != count) return 0;
    *sum = DigestOf(buffer, count, *sum);
    return 1;
}

}  // namespace

int PackageIdentityDigest(const char* path, uint64_t* digest) {
    *digest = 0;
    PlatformFile* file = OsOpenForReading(path);
    if (file == nullptr) return OsLastErrorKind() == kErrorAbsent;
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kEndSize]);
    uint64_t length = 0;
    int read = buffer != nullptr && OsFileLength(file, &length);
    uint64_t sum = DigestOf(&length, sizeof length);
    const uint32_t head = static_cast<uint32_t>(length < kEndSize ? length : kEndSize);
    read = read && DigestBytes(file, buffer.get(), head, &sum);
    if (read && length > kEndSize) {
        const uint64_t tailStart = length - kEndSize > kEndSize ? length - kEndSize : kEndSize;
        read = OsSkipForward(file, static_cast<uint32_t>(tailStart - kEndSize)) &&
               DigestBytes(file, buffer.get(), static_cast<uint32_t>(length - tailStart), &sum);
    }
    OsCloseFile(file);
    if (read) *digest = sum;
    return read;
}
