#include "package/package_writer.h"

#include <cstring>
#include <string>
#include <memory>
#include <new>

#include "common/sjis_text.h"
#include "package/package_digests.h"
#include "package/package_directory.h"
#include "platform/platform_digest.h"
#include "platform/platform_files.h"
#include "platform/platform_replacement.h"

namespace {

// What a source is found to be when it is measured.
enum SourceState {
    kSourceMeasured,
    kSourceUnreadable,   // cannot be opened or measured
    kSourceIsPackage,    // the very file at the package's path, by identity
};

// Opens the file at path and tells its length, and whether it is the file at
// packagePath itself (also through another name or a link).
SourceState MeasureSource(const char* path, const char* packagePath, uint64_t* length) {
    PlatformFile* file = OsOpenForReading(path);
    if (file == nullptr) return kSourceUnreadable;
    SourceState state = OsFileLength(file, length) ? kSourceMeasured : kSourceUnreadable;
    if (OsIsSameFile(file, packagePath)) state = kSourceIsPackage;
    OsCloseFile(file);
    return state;
}

// Checks every name and source and measures the sources. Returns 1 with
// sizes[] filled, the digest list's last, or 0 with message set.
int CheckSources(const char* packagePath, PackageLayout layout, const PackageSource* sources, uint32_t count,
                 uint32_t* sizes, char* message, size_t capacity) {
    const uint32_t longestName = NameFieldWidthOf(layout) - 1;
    uint32_t listSize = DigestLineSize(kDirectoryDigestName);
    uint64_t length =
        kPackageHeaderSize + uint64_t{count + 1} * (NameFieldWidthOf(layout) + kPositionPairSize) + listSize;
    for (uint32_t i = 0; i < count; ++i) {
        const char* name = sources[i].memberName;
        const char* problem = EqualsNoCase(name, kDigestListName) ? "updpack writes the package's digest list "
                                                                     "under this name"
                                                                   : MemberNameProblem(name);
        if (problem != nullptr) {
            FormatText(message, capacity, "member name \"%s\" refused: %s", name, problem);
            return 0;
        }
        if (std::strlen(name) > longestName) {
            FormatText(message, capacity, "member name \"%s\" refused: it has %u bytes, at most %u fit the %s layout",
                       name, static_cast<unsigned>(std::strlen(name)), longestName,
                       layout == kLongNameLayout ? "long-name" : "short-name");
            return 0;
        }
        for (uint32_t j = 0; j < i; ++j) {
            if (EqualsNoCase(sources[j].memberName, name)) {
                FormatText(message, capacity,
                           "member name \"%s\" refused: it equals \"%s\" without regard to letter case, "
                           "and the updater would only ever open the first",
                           name, sources[j].memberName);
                return 0;
            }
        }
        uint64_t size = 0;
        const SourceState state = MeasureSource(sources[i].sourcePath, packagePath, &size);
        if (state == kSourceIsPackage) {
            FormatText(message, capacity, "%s: the package cannot hold itself", sources[i].sourcePath);
            return 0;
        }
        if (state == kSourceUnreadable) {
            FormatText(message, capacity, "%s: cannot open the file", sources[i].sourcePath);
            return 0;
        }
        if (size == 0) {
            FormatText(message, capacity, "%s: the file is empty, and the updater cannot open a member of size 0",
                       sources[i].sourcePath);
            return 0;
        }
        listSize += DigestLineSize(name);
        length += size + DigestLineSize(name);
        if (length >= kPackageSizeLimit) {
            FormatText(message, capacity, "%s: with this file the package would reach 2 GiB; packages stay below 2 GiB",
                       sources[i].sourcePath);
            return 0;
        }
        sizes[i] = static_cast<uint32_t>(size);
    }
    sizes[count] = listSize;
    return 1;
}

// Header and directory of the package, ready to be written: the count
// sources, then the digest list, of sizes[count] bytes.
std::unique_ptr<unsigned char[]> BuildDirectory(PackageLayout layout, const PackageSource* sources,
                                                uint32_t count, const uint32_t* sizes, uint32_t* bytes) {
    const uint32_t width = NameFieldWidthOf(layout);
    const uint32_t entries = count + 1;
    *bytes = kPackageHeaderSize + entries * (width + kPositionPairSize);
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[*bytes]());
    if (!block) return block;
    std::memcpy(block.get(), kDigestPackageTag, kLayoutMarkerOffset);
    block[kLayoutMarkerOffset] = layout == kLongNameLayout ? kLongNameMarker : kShortNameMarker;
    WriteLittleEndian32(block.get() + kMemberCountOffset, entries);
    unsigned char* names = block.get() + kPackageHeaderSize;
    unsigned char* pairs = names + entries * width;
    uint32_t offset = 0;
    for (uint32_t i = 0; i < entries; ++i) {
        const char* name = i < count ? sources[i].memberName : kDigestListName;
        std::memcpy(names + i * width, name, std::strlen(name));
        WriteLittleEndian32(pairs + i * kPositionPairSize, offset);
        WriteLittleEndian32(pairs + i * kPositionPairSize + 4, sizes[i]);
        offset += sizes[i];
    }
    return block;
}

// Appends size bytes of the file at sourcePath to package, hashing them on
// the way into digest. Returns 1, or 0 with message set when the source
// cannot be read whole or has changed its length since it was measured.
int CopySource(PlatformFile* package, const char* sourcePath, uint32_t size, unsigned char (&digest)[kSha256Size],
               char* message, size_t capacity) {
    PlatformFile* source = OsOpenForReading(sourcePath);
    uint64_t length = 0;
    if (source == nullptr || !OsFileLength(source, &length) || length != size) {
        OsCloseFile(source);
        FormatText(message, capacity, "%s: the file cannot be opened again or has changed meanwhile", sourcePath);
        return 0;
    }
    PlatformDigest* running = OsBeginSha256();
    const int copied = running != nullptr && OsCopyFileRange(source, 0, size, package, running);
    OsCloseFile(source);
    if (copied && OsFinishDigest(running, digest)) return 1;
    if (!copied) OsAbandonDigest(running);
    FormatText(message, capacity, "%s: cannot copy the file into the package", sourcePath);
    return 0;
}

// Appends the digest list of the count sources, whose digests are given, and
// of the directory to package. Returns 1, or 0 with message set.
int WriteDigestList(PlatformFile* package, const unsigned char* directory, uint32_t directoryBytes,
                    const PackageSource* sources, uint32_t count, const unsigned char (*digests)[kSha256Size],
                    uint32_t listSize, char* message, size_t capacity) {
    std::string list;
    unsigned char directoryDigest[kSha256Size];
    int written = DigestOfBytes(directory, directoryBytes, directoryDigest);
    if (written) {
        AppendDigestLine(&list, directoryDigest, kDirectoryDigestName);
        for (uint32_t i = 0; i < count; ++i) AppendDigestLine(&list, digests[i], sources[i].memberName);
        written = list.size() == listSize && OsWriteFile(package, list.data(), listSize);
    }
    if (!written) FormatText(message, capacity, "cannot write the package's digest list");
    return written;
}

}  // namespace

int WritePackage(const char* packagePath, PackageLayout layout, const PackageSource* sources, uint32_t count,
                 char* message, size_t capacity) {
    std::unique_ptr<uint32_t[]> sizes(new (std::nothrow) uint32_t[count + 1]);
    std::unique_ptr<unsigned char[][kSha256Size]> digests(new (std::nothrow) unsigned char[count + 1][kSha256Size]);
    if (!sizes || !digests) {
        FormatText(message, capacity, "not enough memory for a package of %u members", count);
        return kPackageRefused;
    }
    if (!CheckSources(packagePath, layout, sources, count, sizes.get(), message, capacity))
        return kPackageRefused;
    uint32_t directoryBytes = 0;
    const std::unique_ptr<unsigned char[]> directory =
        BuildDirectory(layout, sources, count, sizes.get(), &directoryBytes);
    if (!directory) {
        FormatText(message, capacity, "not enough memory for a directory of %u members", count);
        return kPackageRefused;
    }

    PlatformReplacement* replacement = OsBeginReplacement(packagePath);
    if (replacement == nullptr) {
        FormatText(message, capacity, "%s: cannot create the file", packagePath);
        return kPackageRefused;
    }
    PlatformFile* package = OsReplacementFile(replacement);
    int written = OsWriteFile(package, directory.get(), directoryBytes);
    if (!written) FormatText(message, capacity, "%s: cannot write the directory", packagePath);
    for (uint32_t i = 0; i < count && written; ++i) {
        written = CopySource(package, sources[i].sourcePath, sizes[i], digests[i], message, capacity);
    }
    if (written) {
        written = WriteDigestList(package, directory.get(), directoryBytes, sources, count, digests.get(),
                                  sizes[count], message, capacity);
    }
    if (!written) {
        OsAbandonReplacement(replacement);
        return kPackageFailed;
    }
    if (!OsCommitReplacement(replacement)) {
        FormatText(message, capacity, "%s: cannot put the new package in place (is the disk full?)", packagePath);
        return kPackageFailed;
    }
    return kPackageWritten;
}
