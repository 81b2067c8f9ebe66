#include "package/package_digests.h"

#include <cstring>
#include <memory>
#include <new>

#include "common/ascii.h"
#include "common/sjis_text.h"
#include "package/package_format.h"
#include "platform/platform_digest.h"
#include "platform/platform_files.h"

namespace {

constexpr uint32_t kHexDigits = 2 * kSha256Size;
constexpr char kNameSeparator[] = "  ";
constexpr size_t kReadPieceSize = size_t{1} << 20;

// Reads exactly count bytes at offset; 1 when all of them came.
int ReadExactlyAt(PlatformFile* file, uint64_t offset, void* buffer, uint32_t count) {
    uint32_t delivered = 0;
    return OsReadFileAt(file, offset, buffer, count, &delivered) && delivered == count;
}

// The SHA-256 of size bytes of file from offset, read in pieces through
// piece, of kReadPieceSize bytes. Returns 1, or 0 when reading failed or the
// file ended early.
int DigestOfFileRange(PlatformFile* file, uint64_t offset, uint64_t size, unsigned char* piece,
                      unsigned char (&digest)[kSha256Size]) {
    PlatformDigest* running = OsBeginSha256();
    if (running == nullptr) return 0;
    for (uint64_t done = 0; done < size;) {
        const uint32_t count = static_cast<uint32_t>(size - done < kReadPieceSize ? size - done : kReadPieceSize);
        if (!ReadExactlyAt(file, offset + done, piece, count) || !OsAddToDigest(running, piece, count)) {
            OsAbandonDigest(running);
            return 0;
        }
        done += count;
    }
    return OsFinishDigest(running, digest);
}

// Reads the 64 lower-case hexadecimal digits at text into digest, as the
// writer writes them: an upper-case digit is damage too. Returns 1, or 0.
int ReadDigestDigits(const char* text, unsigned char (&digest)[kSha256Size]) {
    for (uint32_t i = 0; i < kHexDigits; ++i) {
        const char c = text[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return 0;
        const unsigned char value = static_cast<unsigned char>(HexDigitValue(c));
        digest[i / 2] = static_cast<unsigned char>(i % 2 == 0 ? value << 4 : digest[i / 2] | value);
    }
    return 1;
}

// Reads the line at *position of the list's text (which ends at end) that
// must name name, moving *position past it. Returns 1 with its digest, or 0.
int ReadDigestLine(const char** position, const char* end, const char* name, unsigned char (&digest)[kSha256Size]) {
    const size_t size = DigestLineSize(name);
    const char* line = *position;
    if (static_cast<size_t>(end - line) < size || !ReadDigestDigits(line, digest)) return 0;
    const char* text = line + kHexDigits;
    const size_t nameLength = std::strlen(name);
    if (std::memcmp(text, kNameSeparator, 2) != 0 || std::memcmp(text + 2, name, nameLength) != 0 ||
        text[2 + nameLength] != '\n')
        return 0;
    *position = line + size;
    return 1;
}

// Checks the list's text against the directory and fills digests->listed.
// Returns 1, or 0 with message set.
int ParseDigestList(const char* text, uint32_t size, const unsigned char* head, const char* path,
                    PackageDigests* digests, char* message, size_t capacity) {
    const PackageDirectory& directory = digests->directory;
    const char* position = text;
    const char* end = text + size;
    unsigned char listedHead[kSha256Size];
    unsigned char actualHead[kSha256Size];
    if (!ReadDigestLine(&position, end, kDirectoryDigestName, listedHead)) {
        FormatText(message, capacity, "%s: the digest list \"%s\" is damaged: its first line does not give the "
                   "directory's digest", path, kDigestListName);
        return 0;
    }
    for (uint32_t i = 0; i < directory.count; ++i) {
        if (i == digests->listEntry) continue;
        if (!ReadDigestLine(&position, end, directory.entries[i].name, digests->listed[i])) {
            FormatText(message, capacity, "%s: the digest list \"%s\" is damaged: it does not list member \"%s\" "
                       "(entry %u) in its place", path, kDigestListName, directory.entries[i].name, i);
            return 0;
        }
    }
    if (!DigestOfBytes(head, directory.dataAreaStart, actualHead) ||
        std::memcmp(listedHead, actualHead, kSha256Size) != 0) {
        FormatText(message, capacity, "%s: the header or directory does not match its digest: the package is damaged",
                   path);
        return 0;
    }
    return 1;
}

// Reads the list of the package open as file, whose directory is read, into
// digests. Returns a PackageDigestsResult, with message set for damage.
int ReadDigestList(PlatformFile* file, const char* path, PackageDigests* digests, char* message, size_t capacity) {
    const PackageDirectory& directory = digests->directory;
    std::unique_ptr<unsigned char[]> head(new (std::nothrow) unsigned char[directory.dataAreaStart]);
    if (!head || !ReadExactlyAt(file, 0, head.get(), directory.dataAreaStart)) {
        FormatText(message, capacity, "%s: cannot read the directory again", path);
        return kPackageNotOpened;
    }
    digests->listEntry = FindPackageEntry(&directory, kDigestListName);
    if (digests->listEntry < 0) {
        if (std::memcmp(head.get(), kDigestPackageTag, kLayoutMarkerOffset) != 0) return kDigestsAbsent;
        FormatText(message, capacity, "%s: the package was made with a digest list, and \"%s\" is not in its "
                   "directory: the package is damaged", path, kDigestListName);
        return kPackageDamaged;
    }
    const PackageEntry& list = directory.entries[digests->listEntry];
    uint64_t expected = DigestLineSize(kDirectoryDigestName);
    for (uint32_t i = 0; i < directory.count; ++i) {
        if (i != digests->listEntry) expected += DigestLineSize(directory.entries[i].name);
    }
    // Checked before anything is sized by the list's claim.
    if (list.size != expected) {
        FormatText(message, capacity, "%s: the digest list \"%s\" is damaged: it has %u bytes, where the list of "
                   "this directory has %llu", path, kDigestListName, list.size,
                   static_cast<unsigned long long>(expected));
        return kPackageDamaged;
    }
    std::unique_ptr<char[]> text(new (std::nothrow) char[list.size]);
    digests->listed = new (std::nothrow) unsigned char[directory.count][kSha256Size]();
    if (!text || digests->listed == nullptr || !ReadExactlyAt(file, list.dataStart, text.get(), list.size) ||
        !DigestOfBytes(text.get(), list.size, digests->listDigest)) {
        FormatText(message, capacity, "%s: cannot read the digest list", path);
        return kPackageNotOpened;
    }
    return ParseDigestList(text.get(), list.size, head.get(), path, digests, message, capacity) ? kDigestsListed
                                                                                                 : kPackageDamaged;
}

}  // namespace

int ReadPackageDigests(const char* path, PackageDigests* digests, char* message, size_t capacity) {
    *digests = PackageDigests{};
    digests->listEntry = -1;
    PlatformFile* file = OsOpenForReading(path);
    if (file == nullptr) {
        FormatText(message, capacity, "%s: cannot open the file", path);
        return kPackageNotOpened;
    }
    int result = kPackageDamaged;
    if (ReadPackageDirectory(path, &digests->directory, message, capacity))
        result = ReadDigestList(file, path, digests, message, capacity);
    OsCloseFile(file);
    if (result != kDigestsListed && result != kDigestsAbsent) ReleasePackageDigests(digests);
    return result;
}

void ReleasePackageDigests(PackageDigests* digests) {
    ReleasePackageDirectory(&digests->directory);
    delete[] digests->listed;
    *digests = PackageDigests{};
    digests->listEntry = -1;
}

const unsigned char* ListedDigestOf(const PackageDigests* digests, const char* name) {
    if (digests->listed == nullptr) return nullptr;
    const int64_t index = FindPackageEntry(&digests->directory, BaseNameOf(name));
    return index < 0 || index == digests->listEntry ? nullptr : digests->listed[index];
}

int DigestOfBytes(const void* bytes, size_t length, unsigned char (&digest)[kSha256Size]) {
    PlatformDigest* running = OsBeginSha256();
    if (running == nullptr) return 0;
    if (!OsAddToDigest(running, bytes, length)) {
        OsAbandonDigest(running);
        return 0;
    }
    return OsFinishDigest(running, digest);
}

int FindDamagedMembers(const char* path, const PackageDigests& digests, std::vector<uint32_t>* damaged) {
    std::unique_ptr<unsigned char[]> piece(new (std::nothrow) unsigned char[kReadPieceSize]);
    PlatformFile* file = digests.listed != nullptr && piece ? OsOpenForReading(path) : nullptr;
    if (file == nullptr) return 0;
    int read = 1;
    for (uint32_t i = 0; i < digests.directory.count && read; ++i) {
        if (i == digests.listEntry) continue;
        const PackageEntry& entry = digests.directory.entries[i];
        unsigned char actual[kSha256Size];
        read = DigestOfFileRange(file, entry.dataStart, entry.size, piece.get(), actual);
        if (read && std::memcmp(actual, digests.listed[i], kSha256Size) != 0) damaged->push_back(i);
    }
    OsCloseFile(file);
    return read;
}

std::string DamagedMemberText(const PackageDigests& digests, uint32_t index) {
    return std::string("member \"") + digests.directory.entries[index].name + "\" (entry " + std::to_string(index) +
           ") does not match its SHA-256: it is damaged";
}

std::string DigestText(const unsigned char (&digest)[kSha256Size]) {
    std::string text;
    for (unsigned char byte : digest) AppendHexByte(&text, byte);
    return text;
}

uint32_t DigestLineSize(const char* name) {
    return kHexDigits + 2 + static_cast<uint32_t>(std::strlen(name)) + 1;
}

void AppendDigestLine(std::string* list, const unsigned char (&digest)[kSha256Size], const char* name) {
    *list += DigestText(digest) + kNameSeparator + name + "\n";
}
