#include "package/member_reader.h"

#include <cstring>
#include <memory>
#include <new>

#include "common/sjis_text.h"
#include "package/package_format.h"
#include "platform/platform.h"

namespace {

void ReleaseMember(PackageMember* member) {
    OsCloseFile(member->file);
    delete member;
}

int FindNameInDirectory(const unsigned char* directory, uint32_t presentBytes, uint32_t count,
                        uint32_t fieldWidth, const char* baseName, uint32_t* index) {
    // Entries whose name field lies past the end of a truncated package read
    // as empty names of size 0: not openable, so they can be left out.
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t fieldStart = static_cast<uint64_t>(i) * fieldWidth;
        if (fieldStart + fieldWidth > presentBytes) return 0;
        if (FieldEqualsNoCase(reinterpret_cast<const char*>(directory + fieldStart), fieldWidth,
                              baseName)) {
            *index = i;
            return 1;
        }
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

    // Read only the part of the directory the file really holds, so that a
    // corrupt count never sizes an allocation beyond the file.
    uint64_t fileLength = 0;
    if (!OsFileLength(member->file, &fileLength)) return 0;
    const uint64_t available = fileLength > kPackageHeaderSize ? fileLength - kPackageHeaderSize : 0;
    const uint64_t wanted = directorySize < available ? directorySize : available;
    if (wanted > UINT32_MAX) return 0;
    const uint32_t directoryWanted = static_cast<uint32_t>(wanted);

    std::unique_ptr<unsigned char[]> directory(new (std::nothrow) unsigned char[directoryWanted + 1]());
    if (!directory) return 0;
    uint32_t directoryRead = 0;
    if (!OsReadFile(member->file, directory.get(), directoryWanted, &directoryRead)) return 0;

    uint32_t index = 0;
    if (!FindNameInDirectory(directory.get(), directoryRead, count, fieldWidth, baseName, &index))
        return 0;
    const uint64_t pairStart = static_cast<uint64_t>(count) * fieldWidth + uint64_t{kPositionPairSize} * index;
    if (pairStart + kPositionPairSize > directoryRead) return 0;
    const uint32_t offset = ReadLittleEndian32(directory.get() + pairStart);
    const uint32_t size = ReadLittleEndian32(directory.get() + pairStart + 4);

    const uint64_t dataOffset = kPackageHeaderSize + directorySize + offset;
    const uint64_t position = uint64_t{headerRead} + directoryRead;
    if (size == 0 || dataOffset > UINT32_MAX || dataOffset < position) return 0;
    if (!OsSkipForward(member->file, static_cast<uint32_t>(dataOffset - position))) return 0;
    member->dataOffset = static_cast<uint32_t>(dataOffset);
    return size;
}

uint32_t MemberSize(const PackageMember* member) {
    return member->size;
}

int ReadMember(PackageMember* member, void* buffer) {
    if (member == nullptr) return 0;
    member->bytesRequested = member->size;
    member->bytesRead = 0;
    uint32_t delivered = 0;
    if (!OsReadFile(member->file, buffer, member->size, &delivered)) return 0;
    member->bytesRead = delivered;
    return WaitMember(member);
}

int WaitMember(const PackageMember* member) {
    if (member == nullptr) return 0;
    return member->bytesRead >= member->bytesRequested ? 1 : 0;
}

void CloseMember(PackageMember* member) {
    ReleaseMember(member);
}
