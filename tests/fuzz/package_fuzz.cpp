// The member reader, the directory inspection and the script loader's use of
// the package, on any package file.
//
// What must hold, besides memory safety: a name opens exactly when an entry
// that the updater reaches carries it; the member then reads exactly when
// every byte it claims lies inside the file, and reads those bytes; the
// strict inspection accepts only a package whose every member lies inside the
// file, and finds the same entries; the loader tells a script that is not
// there (1) from one that runs past the file (3), finds one damaged (5) only
// in a package that names a digest list, and never sizes a buffer by a claim
// the file does not hold; a digest list is read only from a package whose
// every member lies inside it.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/little_endian.h"
#include "common/sjis_text.h"
#include "fuzz_support.h"
#include "package/member_reader.h"
#include "package/package_digests.h"
#include "package/package_directory.h"
#include "package/package_format.h"
#include "script/script_loader.h"

namespace {

// Where the updater finds name in bytes, worked out from the layout alone.
struct Expected {
    bool found;
    uint64_t dataOffset;
    uint32_t size;
};

Expected Locate(const uint8_t* bytes, size_t size, const char* name) {
    const char* base = BaseNameOf(name);
    uint8_t header[kPackageHeaderSize] = {};
    std::memcpy(header, bytes, size < sizeof header ? size : sizeof header);
    const uint32_t width = NameFieldWidthFor(header[kLayoutMarkerOffset]);
    const uint32_t count = ReadLittleEndian32(header + kMemberCountOffset);
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t field = kPackageHeaderSize + i * width;
        if (field + width > size) break;
        if (!FieldEqualsNoCase(reinterpret_cast<const char*>(bytes + field), width, base)) continue;
        uint8_t pair[kPositionPairSize] = {};
        const uint64_t pairStart = kPackageHeaderSize + uint64_t{count} * width + i * kPositionPairSize;
        for (uint32_t b = 0; b < kPositionPairSize; ++b) {
            if (pairStart + b < size) pair[b] = bytes[pairStart + b];
        }
        const uint32_t memberSize = ReadLittleEndian32(pair + 4);
        const uint64_t dataOffset =
            kPackageHeaderSize + uint64_t{count} * (width + kPositionPairSize) + ReadLittleEndian32(pair);
        if (memberSize == 0 || dataOffset > UINT32_MAX) return {false, 0, 0};
        return {true, dataOffset, memberSize};
    }
    return {false, 0, 0};
}

// The names to try: Update.ini and the first few name fields of the input.
std::vector<std::string> Candidates(const uint8_t* bytes, size_t size) {
    std::vector<std::string> names = {"Update.ini", "data\\Update.ini"};
    const uint32_t width = size > kLayoutMarkerOffset ? NameFieldWidthFor(bytes[kLayoutMarkerOffset]) : 16;
    for (uint64_t field = kPackageHeaderSize; field + width <= size && names.size() < 6; field += width) {
        const char* text = reinterpret_cast<const char*>(bytes + field);
        names.emplace_back(text, strnlen(text, width));
    }
    return names;
}

void CheckMember(const uint8_t* bytes, size_t size, const std::string& name) {
    const Expected expected = Locate(bytes, size, name.c_str());
    // A loose file of the name would be opened instead; none exists here
    // unless the name is the package's own.
    if (name == kPackageFileName || BaseNameOf(name.c_str()) != name.c_str()) return;
    PackageMember* member = OpenMember(name.c_str(), kPackageFileName);
    FUZZ_ASSERT((member != nullptr) == expected.found);
    if (member == nullptr) return;
    FUZZ_ASSERT(member->kind == kMemberPacked);
    FUZZ_ASSERT(member->dataOffset == expected.dataOffset);
    FUZZ_ASSERT(MemberSize(member) == expected.size);
    const bool inside = expected.dataOffset + expected.size <= size;
    FUZZ_ASSERT(MemberLiesInsideFile(member) == inside);
    // A member past the end is read only when its claim is small: the read
    // must then fail. A member inside reads exactly its bytes.
    if (inside || expected.size <= size + 4096) {
        std::vector<uint8_t> buffer(expected.size);
        const int read = ReadMember(member, buffer.data());
        FUZZ_ASSERT(read == (inside ? 1 : 0));
        if (inside) FUZZ_ASSERT(std::memcmp(buffer.data(), bytes + expected.dataOffset, expected.size) == 0);
    }
    CloseMember(member);
}

void CheckDirectory(const uint8_t* bytes, size_t size) {
    PackageDirectory directory;
    char message[kPackageMessageSize];
    if (!ReadPackageDirectory(kPackageFileName, &directory, message, sizeof message)) return;
    FUZZ_ASSERT(directory.fileLength == size);
    std::vector<uint32_t> firstOf(directory.count);
    FUZZ_ASSERT(FindFirstOfEachName(&directory, firstOf.data()) == 1);
    for (uint32_t i = 0; i < directory.count; ++i) {
        const PackageEntry& entry = directory.entries[i];
        FUZZ_ASSERT(uint64_t{entry.dataStart} + entry.size <= size);
        FUZZ_ASSERT(firstOf[i] <= i && EqualsNoCase(directory.entries[firstOf[i]].name, entry.name));
        if (i < 8) {
            FUZZ_ASSERT(FindPackageEntry(&directory, entry.name) == firstOf[i]);
            const Expected expected = Locate(bytes, size, entry.name);
            // A name with a '\\' is looked up by the part after it.
            if (firstOf[i] == i && entry.size != 0 && BaseNameOf(entry.name) == entry.name) {
                FUZZ_ASSERT(expected.found && expected.dataOffset == entry.dataStart && expected.size == entry.size);
            }
        }
    }
    ReleasePackageDirectory(&directory);
}

void CheckScriptLoad(const uint8_t* bytes, size_t size) {
    const Expected expected = Locate(bytes, size, kScriptFileName);
    const int result = LoadUpdateScript(kScriptFileName);
    if (!expected.found) {
        FUZZ_ASSERT(result == kScriptNotFound);
    } else if (expected.dataOffset + expected.size > size) {
        FUZZ_ASSERT(result == kScriptUnreadable);
    } else if (result == kScriptDamaged) {
        FUZZ_ASSERT(Locate(bytes, size, kDigestListName).found);
    } else {
        FUZZ_ASSERT(result == kScriptLoaded || result == kScriptMalformed);
    }
}

void CheckDigests(size_t size) {
    PackageDigests digests;
    char message[kPackageMessageSize];
    if (ReadPackageDigests(kPackageFileName, &digests, message, sizeof message) == kDigestsListed) {
        FUZZ_ASSERT(digests.listEntry >= 0 && digests.directory.fileLength == size);
        for (uint32_t i = 0; i < digests.directory.count; ++i) {
            const PackageEntry& entry = digests.directory.entries[i];
            if (i != digests.listEntry) FUZZ_ASSERT(uint64_t{entry.dataStart} + entry.size <= size);
        }
    }
    ReleasePackageDigests(&digests);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    EnterFuzzFolder();
    WriteFuzzFile(kPackageFileName, bytes, size);
    for (const std::string& name : Candidates(bytes, size)) CheckMember(bytes, size, name);
    CheckDirectory(bytes, size);
    CheckScriptLoad(bytes, size);
    CheckDigests(size);
    return 0;
}
