#include "package/package_directory.h"

#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <unordered_map>

#include "common/sjis_text.h"
#include "platform/platform_files.h"

namespace {

// Reads exactly count bytes; 1 when all of them came.
int ReadExactly(PlatformFile* file, void* buffer, uint32_t count) {
    uint32_t delivered = 0;
    return OsReadFile(file, buffer, count, &delivered) && delivered == count;
}

// Checks the directory bytes (name fields, then position pairs) against the
// file length and fills entries. Returns 1, or 0 with message set.
int ParseEntries(const unsigned char* bytes, PackageDirectory* directory, const char* path, char* message,
                 size_t capacity) {
    const uint32_t width = NameFieldWidthOf(directory->layout);
    const uint64_t pairsStart = uint64_t{directory->count} * width;
    for (uint32_t i = 0; i < directory->count; ++i) {
        const unsigned char* field = bytes + uint64_t{i} * width;
        if (std::memchr(field, 0, width) == nullptr) {
            FormatText(message, capacity, "%s: the name field of entry %u has no terminating zero", path, i);
            return 0;
        }
        PackageEntry& entry = directory->entries[i];
        CopyText(entry.name, reinterpret_cast<const char*>(field));
        const unsigned char* pair = bytes + pairsStart + uint64_t{kPositionPairSize} * i;
        entry.offset = ReadLittleEndian32(pair);
        entry.size = ReadLittleEndian32(pair + 4);
        const uint64_t start = uint64_t{directory->dataAreaStart} + entry.offset;
        const uint64_t end = start + entry.size;
        if (end > directory->fileLength) {
            FormatText(message, capacity,
                       "%s: member \"%s\" (entry %u) runs past the end of the file: "
                       "it ends at byte %llu, the file has %llu bytes",
                       path, entry.name, i, static_cast<unsigned long long>(end),
                       static_cast<unsigned long long>(directory->fileLength));
            return 0;
        }
        entry.dataStart = static_cast<uint32_t>(start);
    }
    return 1;
}

int ReadOpenPackage(PlatformFile* file, const char* path, PackageDirectory* directory, char* message,
                    size_t capacity) {
    uint64_t length = 0;
    if (!OsFileLength(file, &length)) {
        FormatText(message, capacity, "%s: cannot tell the length of the file", path);
        return 0;
    }
    unsigned char header[kPackageHeaderSize];
    if (length < kPackageHeaderSize || !ReadExactly(file, header, sizeof header)) {
        FormatText(message, capacity, "%s: truncated header: the file has %llu bytes, a package at least %u",
                   path, static_cast<unsigned long long>(length), kPackageHeaderSize);
        return 0;
    }
    if (length >= kPackageSizeLimit) {
        FormatText(message, capacity, "%s: the file has %llu bytes; packages stay below 2 GiB", path,
                   static_cast<unsigned long long>(length));
        return 0;
    }
    directory->fileLength = length;
    directory->layout = header[kLayoutMarkerOffset] == kLongNameMarker ? kLongNameLayout : kShortNameLayout;
    directory->count = ReadLittleEndian32(header + kMemberCountOffset);
    const uint64_t directorySize =
        uint64_t{directory->count} * (NameFieldWidthOf(directory->layout) + kPositionPairSize);
    // Checked before anything is allocated: a corrupt count must not size an
    // allocation beyond what the file holds.
    if (kPackageHeaderSize + directorySize > length) {
        FormatText(message, capacity,
                   "%s: the directory runs past the end of the file: %u entries need %llu bytes "
                   "after the header, the file has %llu",
                   path, directory->count, static_cast<unsigned long long>(directorySize),
                   static_cast<unsigned long long>(length - kPackageHeaderSize));
        return 0;
    }
    directory->dataAreaStart = static_cast<uint32_t>(kPackageHeaderSize + directorySize);

    const uint32_t directoryBytes = static_cast<uint32_t>(directorySize);
    std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[directoryBytes + 1]);
    directory->entries = new (std::nothrow) PackageEntry[directory->count + 1]();
    if (!bytes || directory->entries == nullptr) {
        FormatText(message, capacity, "%s: not enough memory for a directory of %u entries", path,
                   directory->count);
        return 0;
    }
    if (!ReadExactly(file, bytes.get(), directoryBytes)) {
        FormatText(message, capacity, "%s: cannot read the directory", path);
        return 0;
    }
    return ParseEntries(bytes.get(), directory, path, message, capacity);
}

bool IsForbiddenInName(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F || byte == '\\' || byte == '/' || byte == ':';
}

}  // namespace

int ReadPackageDirectory(const char* path, PackageDirectory* directory, char* message, size_t capacity) {
    *directory = PackageDirectory{};
    PlatformFile* file = OsOpenForReading(path);
    if (file == nullptr) {
        FormatText(message, capacity, "%s: cannot open the file", path);
        return 0;
    }
    const int read = ReadOpenPackage(file, path, directory, message, capacity);
    OsCloseFile(file);
    if (!read) ReleasePackageDirectory(directory);
    return read;
}

void ReleasePackageDirectory(PackageDirectory* directory) {
    delete[] directory->entries;
    *directory = PackageDirectory{};
}

int64_t FindPackageEntry(const PackageDirectory* directory, const char* name) {
    for (uint32_t i = 0; i < directory->count; ++i) {
        if (EqualsNoCase(directory->entries[i].name, name)) return i;
    }
    return -1;
}

int FindFirstOfEachName(const PackageDirectory* directory, uint32_t* firstOf) {
    const uint32_t count = directory->count;
    std::unique_ptr<char[]> folded(new (std::nothrow) char[size_t{count} * kMemberNameSize + 1]);
    if (!folded) return 0;
    std::unordered_map<std::string_view, uint32_t> first;
    first.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        char* name = folded.get() + size_t{i} * kMemberNameSize;
        const size_t length = std::strlen(directory->entries[i].name);
        std::memcpy(name, directory->entries[i].name, length);
        FoldAsciiCase(name, length);
        firstOf[i] = first.try_emplace(std::string_view(name, length), i).first->second;
    }
    return 1;
}

const char* MemberNameProblem(const char* name) {
    if (name[0] == '\0') return "the name is empty";
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
        return "the name stands for a folder (\".\" or \"..\")";
    for (size_t i = 0; name[i] != '\0'; ++i) {
        const unsigned char byte = static_cast<unsigned char>(name[i]);
        if (IsSjisLeadByte(byte)) {
            if (SjisCharacterWidth(name + i) != 2) return "the name has a broken Shift_JIS character";
            ++i;  // a trail byte of 0x5C is part of the character, no separator
            continue;
        }
        if (IsForbiddenInName(byte)) return "the name has a folder separator, a drive or a control character";
    }
    return nullptr;
}
