// The layout of a save file, as the conversion rules touch it: the one
// description of it for the code, the tests and the benchmark.
//
// Numbers are unsigned 32-bit little-endian. The graph section starts after
// the header, the middle section G bytes later, the state section M bytes
// after that; the state section runs to the end of the file.
#pragma once

#include <cstdint>

#include "script/rule_tables.h"

// No save the game writes comes near this: 64 graph entries, a middle
// section and a state section of a few tens of KiB. A larger file named like
// a save is none, and is not read.
inline constexpr uint64_t kLargestSaveSize = uint64_t{64} << 20;

inline constexpr uint32_t kGraphLengthOffset = 0;   // G, 4 bytes
inline constexpr uint32_t kMiddleLengthOffset = 4;  // M, 4 bytes
inline constexpr uint32_t kSaveHeaderSize = 8;

// Graph section: the entry count, then the entries.
inline constexpr uint32_t kEntryCountSize = 4;
inline constexpr uint32_t kGraphEntrySize = 2400;
inline constexpr uint32_t kGraphListCapacity = 64;  // entries a save may hold
inline constexpr uint32_t kGraphAddLimit = 63;      // a list this long takes no more

// Graph entry.
inline constexpr uint32_t kEntryWord0Offset = 0;    // entry words 0, 1 and 2, set by ADDGRAPH and INSERTGRAPH
inline constexpr uint32_t kEntryWord1Offset = 4;
inline constexpr uint32_t kEntryWord2Offset = 8;
inline constexpr uint32_t kEntryNameOffset = 116;   // kGraphNameFieldSize bytes, zero-terminated Shift_JIS
inline constexpr uint32_t kEntryAListOffset = 148;  // ten sub-entries
inline constexpr uint32_t kEntryCListOffset = 1268; // ten sub-entries
inline constexpr uint32_t kSubEntryListLength = 10;
inline constexpr uint32_t kSubEntrySize = 112;
inline constexpr uint32_t kSubEntryPresentOffset = 0;  // 1 when a rule set the name
inline constexpr uint32_t kSubEntryNameOffset = 33;    // zero-terminated, to the end of the sub-entry
static_assert(kEntryAListOffset + kSubEntryListLength * kSubEntrySize == kEntryCListOffset);
static_assert(kEntryCListOffset + kSubEntryListLength * kSubEntrySize <= kGraphEntrySize);
static_assert(kFilenameItemCapacity <= static_cast<int>(kSubEntryListLength));

// The words GRAPHSTATUS sets in a graph entry, by property (index 0 unused).
struct GraphPropertyPlace {
    uint32_t offset;  // in the entry
    uint32_t words;   // values 1 to words are written
};
inline constexpr GraphPropertyPlace kGraphPropertyPlaces[] = {
    {0, 0},
    {20, 2},  // 1 position: two reals
    {28, 2},  // 2 center: two words
    {48, 2},  // 3 scale: two reals
    {36, 3},  // 4 rotate: three reals
    {72, 2},  // 5 filepos: two integers
    {80, 4},  // 6 clip: four integers
};

// State section.
inline constexpr uint32_t kBgmNoOffset = 16720;
inline constexpr uint32_t kLoopSeNoOffset = 16724;
inline constexpr uint32_t kMessageOffset = 16804;          // read by every range test
inline constexpr uint32_t kMessageParamsOffset = 17040;
inline constexpr uint32_t kMessageParamCount = 8;
inline constexpr uint32_t kFilenameParamsOffset = 17072;   // as many words as the section holds
inline constexpr uint32_t kSeSlotsOffset = 17740;
inline constexpr uint32_t kSeSlotCount = 9;
inline constexpr uint32_t kSeSlotSize = 24;                // six words; word 0 is the flag
inline constexpr uint32_t kMinStateLength = kSeSlotsOffset + kSeSlotCount * kSeSlotSize;
static_assert(kMinStateLength == 17956);
