#include "package/member_reader.h"

#include <cstring>
#include <memory>
#include <new>

#include "common/sjis_text.h"
#include "package/package_format.h"
#include "platform/platform_files.h"

namespace {

void ReleaseMember(PackageMember* member) {
    OsCloseFile(member->file);
    delete member;
}

// The name fields are read in pieces of at most this many bytes, a multiple
// of both field widths, so that a damaged member count never makes the
// lookup hold more than one piece, whatever the file's size.
constexpr uint32_t kDirectoryPieceSize = 64u << 10;
static_assert(kDirectoryPieceSize % kLongNameFieldWidth == 0 && kDirectoryPieceSize % kShortNameFieldWidth == 0);

// Looks for baseName among the count name fields that follow the header, at
// the file's current position, reading at most the fields the file holds
// (fileLength bytes in all). Fields past the end of a truncated package read
// as empty names of size 0, not openable, so they are left out. Returns 1
// with *index set, or 0; in both cases *consumed tells how many bytes were
// read.
int FindNameField(PlatformFile* file, uint64_t fileLength, uint32_t count, uint32_t fieldWidth, const char* baseName,
                  uint32_t* index, uint64_t* consumed) {
    // A piece is no larger than the name fields the count claims, nor than
    // the file holds after the header.
    uint64_t pieceSize = uint64_t{count} * fieldWidth;
    if (pieceSize > kDirectoryPieceSize) pieceSize = kDirectoryPieceSize;
    const uint64_t present = fileLength > *consumed ? fileLength - *consumed : 0;
    if (pieceSize > present) pieceSize = present - present % fieldWidth;
    if (pieceSize == 0) return 0;
    std::unique_ptr<unsigned char[]> piece(new (std::nothrow) unsigned char[pieceSize]);
    if (!piece) return 0;
    const uint32_t fieldsPerPiece = static_cast<uint32_t>(pieceSize / fieldWidth);
    for (uint64_t first = 0; first < count; first += fieldsPerPiece) {
        const uint32_t fields = count - first < fieldsPerPiece ? static_cast<uint32_t>(count - first) : fieldsPerPiece;
        uint32_t delivered = 0;
        if (!OsReadFile(file, piece.get(), fields * fieldWidth, &delivered)) return 0;
        *consumed += delivered;
        const uint32_t whole = delivered / fieldWidth;
        for (uint32_t i = 0; i < whole; ++i) {
            if (FieldEqualsNoCase(reinterpret_cast<const char*>(piece.get() + i * fieldWidth), fieldWidth,
                                  baseName)) {
                *index = static_cast<uint32_t>(first + i);
                return 1;
            }
        }
        if (whole < fields) return 0;
    }
    return 0;
}

}  // namespace

PackageMember* OpenMember(const char* name, const char* packageName) {
    PackageMember* member = new (std::nothrow) PackageMember{};
    if (member == nullptr) return nullptr;

    member->file = OsOpenForReading(name);
    uint64_t looseLength = 0;
    if (member->file != nullptr && OsFileLength(member->file, &looseLength) &&
        looseLength <= UINT32_MAX) {
        member->kind = kMemberLoose;
        member->size = static_cast<uint32_t>(looseLength);
        member->dataOffset = 0;
        return member;
    }
    OsCloseFile(member->file);
    member->file = nullptr;

    if (packageName == nullptr) {
        delete member;
        return nullptr;
    }
    member->file = OsOpenForReading(packageName);
    if (member->file == nullptr) {
        delete member;
        return nullptr;
    }
    member->kind = kMemberPacked;
    member->size = FindMember(member, name);
    if (member->size == 0) {
        ReleaseMember(member);
        return nullptr;
    }
    return member;
}

uint32_t FindMember(PackageMember* member, const char* name) {
    const char* baseName = BaseNameOf(name);

    // Bytes a short package does not deliver count as zero.
    unsigned char header[kPackageHeaderSize] = {};
    uint32_t headerRead = 0;
    if (!OsReadFile(member->file, header, sizeof header, &headerRead)) return 0;
    const uint32_t fieldWidth = NameFieldWidthFor(header[kLayoutMarkerOffset]);
    const uint32_t count = ReadLittleEndian32(header + kMemberCountOffset);
    const uint64_t directorySize = static_cast<uint64_t>(count) * (fieldWidth + kPositionPairSize);

    uint64_t fileLength = 0;
    if (!OsFileLength(member->file, &fileLength)) return 0;
    uint32_t index = 0;
    uint64_t position = headerRead;
    if (!FindNameField(member->file, fileLength, count, fieldWidth, baseName, &index, &position)) return 0;

    // Only the found entry's position pair is read.
    const uint64_t pairStart = kPackageHeaderSize + uint64_t{count} * fieldWidth + uint64_t{kPositionPairSize} * index;
    if (pairStart > UINT32_MAX || !OsSkipForward(member->file, static_cast<uint32_t>(pairStart - position)))
        return 0;
    unsigned char pair[kPositionPairSize] = {};
    uint32_t pairRead = 0;
    if (!OsReadFile(member->file, pair, sizeof pair, &pairRead)) return 0;
    position = pairStart + pairRead;
    const uint32_t offset = ReadLittleEndian32(pair);
    const uint32_t size = ReadLittleEndian32(pair + 4);

    const uint64_t dataOffset = kPackageHeaderSize + directorySize + offset;
    if (size == 0 || dataOffset > UINT32_MAX || dataOffset < position) return 0;
    if (!OsSkipForward(member->file, static_cast<uint32_t>(dataOffset - position))) return 0;
    member->dataOffset = static_cast<uint32_t>(dataOffset);
    return size;
}

int MemberLiesInsideFile(const PackageMember* member) {
    uint64_t length = 0;
    return OsFileLength(member->file, &length) && uint64_t{member->dataOffset} + member->size <= length;
}

uint32_t MemberSize(const PackageMember* member) {
    return member->size;
}

int ReadMember(PackageMember* member, void* buffer) {
    if (member == nullptr) return 0;
    uint32_t delivered = 0;
    return OsReadFile(member->file, buffer, member->size, &delivered) && delivered == member->size;
}

void CloseMember(PackageMember* member) {
    ReleaseMember(member);
}
