// On-disk layout of the update package UpdateData.dat.
//
// A 16-byte header, then the directory (all N name fields, then all N
// position pairs), then the data area. Numbers are unsigned 32-bit
// little-endian. A member's data starts at 16 + D + offset, D being the
// directory's size.
#pragma once

#include <cstdint>

#include "common/little_endian.h"

constexpr uint32_t kPackageHeaderSize = 16;
constexpr uint32_t kLayoutMarkerOffset = 11;   // '2' selects long names
constexpr uint32_t kMemberCountOffset = 12;    // N, 4 bytes
constexpr char kLongNameMarker = '2';
constexpr char kShortNameMarker = '1';         // any byte but '2' would do; the writer stores '1'
constexpr uint32_t kLongNameFieldWidth = 32;   // at most 31 bytes and a zero
constexpr uint32_t kShortNameFieldWidth = 16;  // at most 15 bytes and a zero
constexpr uint32_t kPositionPairSize = 8;      // offset, then size
constexpr uint64_t kPackageSizeLimit = 0x80000000u;  // packages stay below 2 GiB

constexpr char kPackageFileName[] = "UpdateData.dat";

// Header bytes 0-10, which the member reader does not examine: updpack
// writes this tag, which tells a person what the file is and tells the
// updater that the package carries a digest list (package_digests.h), so
// that a list lost to damage is not taken for a package made without one.
constexpr char kDigestPackageTag[] = "UPDATER+SHA";
static_assert(sizeof kDigestPackageTag - 1 == kLayoutMarkerOffset, "the tag fills bytes 0-10");

// Name field width for the layout marker byte.
inline uint32_t NameFieldWidthFor(unsigned char marker) {
    return marker == kLongNameMarker ? kLongNameFieldWidth : kShortNameFieldWidth;
}

// The two directory layouts a package can have.
enum PackageLayout : int32_t {
    kLongNameLayout = 0,   // marker '2': 32-byte name fields, names of at most 31 bytes
    kShortNameLayout = 1,  // any other marker: 16-byte name fields, at most 15 bytes
};

inline uint32_t NameFieldWidthOf(PackageLayout layout) {
    return layout == kLongNameLayout ? kLongNameFieldWidth : kShortNameFieldWidth;
}
