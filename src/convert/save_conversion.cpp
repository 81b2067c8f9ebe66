// Save conversion: the save layout, the range test and the name tests, the
// working list, then the four passes and ConvertSaveFile.
#include "convert/save_conversion.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "common/little_endian.h"
#include "common/sjis_text.h"
#include "convert/save_format.h"
#include "script/rule_tables.h"

namespace {

// Where the sections of one save image lie; every range is inside the image.
struct SaveLayout {
    uint32_t graphLength;  // G
    uint32_t middleLength; // M
    uint32_t entryCount;   // graph entries, at most kGraphListCapacity
    uint32_t stateOffset;  // 8 + G + M
    uint32_t stateLength;  // to the end of the image, at least kMinStateLength
};

// Reads the header of image and checks it against the format: the two
// section lengths fit the file, the graph section holds its count of
// entries, at most 64, and the state section holds every word a rule
// touches. Returns 1 and fills layout, or 0 for an image that is no save.
int ReadSaveLayout(const SaveImage& image, SaveLayout* layout) {
    if (image.bytes == nullptr || image.length < kSaveHeaderSize) return 0;
    const unsigned char* bytes = image.bytes.get();
    const uint32_t graphLength = ReadLittleEndian32(bytes + kGraphLengthOffset);
    const uint32_t middleLength = ReadLittleEndian32(bytes + kMiddleLengthOffset);
    const uint64_t stateOffset = uint64_t{kSaveHeaderSize} + graphLength + middleLength;
    if (stateOffset > image.length || graphLength < kEntryCountSize) return 0;
    const uint32_t entryCount = ReadLittleEndian32(bytes + kSaveHeaderSize);
    if (entryCount > kGraphListCapacity ||
        graphLength < kEntryCountSize + uint64_t{kGraphEntrySize} * entryCount)
        return 0;
    if (image.length - stateOffset < kMinStateLength) return 0;
    layout->graphLength = graphLength;
    layout->middleLength = middleLength;
    layout->entryCount = entryCount;
    layout->stateOffset = static_cast<uint32_t>(stateOffset);
    layout->stateLength = static_cast<uint32_t>(image.length - stateOffset);
    return 1;
}

unsigned char* GraphEntry(unsigned char* image, uint32_t index) {
    return image + kSaveHeaderSize + kEntryCountSize + kGraphEntrySize * index;
}

unsigned char* StateSection(unsigned char* image, const SaveLayout& layout) {
    return image + layout.stateOffset;
}

// Range and names -----------------------------------------------------------------

// True when the message word of state lies in low to high, unsigned. The
// word is read anew for every test.
bool InRange(const unsigned char* state, uint32_t low, uint32_t high) {
    const uint32_t message = ReadLittleEndian32(state + kMessageOffset);
    return low <= message && message <= high;
}

char* EntryName(unsigned char* entry) {
    return reinterpret_cast<char*>(entry + kEntryNameOffset);
}

// True when the graph name field holds exactly name, byte for byte. The
// field ends at its first zero or at its width, so a name without a
// terminator is compared as its 32 bytes. name is a rule's 64-byte field.
bool GraphNameEquals(const char* field, const char* name) {
    const void* zero = std::memchr(field, 0, kGraphNameFieldSize);
    const size_t length =
        zero != nullptr ? static_cast<size_t>(static_cast<const char*>(zero) - field) : kGraphNameFieldSize;
    return std::memcmp(field, name, length) == 0 && name[length] == '\0';
}

// Writes the added mark and name over the start of the graph name field;
// the bytes after the name's terminator stay as they are.
void WriteAddedName(char* field, const char* name) {
    field[0] = kAddedGraphMark;
    CopyText(field + 1, kGraphNameFieldSize - 1, name);
}

// True when the graph name field holds the added mark followed by name,
// without regard to the case of ASCII letters.
bool IsAddedName(const char* field, const char* name) {
    return field[0] == kAddedGraphMark && FieldEqualsNoCase(field + 1, kGraphNameFieldSize - 1, name);
}

// Working list --------------------------------------------------------------------
//
// A copy of the save's graph list that ADDGRAPH and INSERTGRAPH grow; when it
// changed, the image is rebuilt around it. Loaded afresh for every save.

struct WorkingList {
    unsigned char entries[kGraphListCapacity][kGraphEntrySize];
    uint32_t count;  // entries in use; the rest are zero
    int changed;     // an entry was added or inserted
};

WorkingList g_workingList;

// Clears the whole list, then copies the count and the entries of the graph
// section of image.
void LoadWorkingList(unsigned char* image, const SaveLayout& layout) {
    std::memset(&g_workingList, 0, sizeof g_workingList);
    g_workingList.count = layout.entryCount;
    std::memcpy(g_workingList.entries, GraphEntry(image, 0), size_t{kGraphEntrySize} * layout.entryCount);
}

// True when an entry of the list is named name with the added mark.
bool HasAddedName(const char* name) {
    for (uint32_t i = 0; i < g_workingList.count; ++i) {
        if (IsAddedName(EntryName(g_workingList.entries[i]), name)) return true;
    }
    return false;
}

// True when the list may take the entry that rule adds.
bool MayAdd(const AddGraphRule& rule) {
    return g_workingList.count < kGraphAddLimit && !HasAddedName(rule.graphName);
}

// Writes the words and the added name of rule into entry.
void FillAddedEntry(unsigned char* entry, const AddGraphRule& rule) {
    WriteLittleEndian32(entry + kEntryWord0Offset, rule.entryWord0);
    WriteLittleEndian32(entry + kEntryWord1Offset, rule.entryWord1);
    WriteLittleEndian32(entry + kEntryWord2Offset, rule.entryWord2);
    WriteAddedName(EntryName(entry), rule.graphName);
}

// Appends the entry of an ADDGRAPH rule after the last one. Returns 1, or 0
// when the list is full or already holds the name.
int AppendGraph(const AddGraphRule& rule) {
    if (!MayAdd(rule)) return 0;
    FillAddedEntry(g_workingList.entries[g_workingList.count], rule);
    ++g_workingList.count;
    g_workingList.changed = 1;
    return 1;
}

// Inserts the entry of an INSERTGRAPH rule in place of the first entry named
// by its anchor, which moves up by one with the entries after it. The new
// entry starts as a copy of the anchor entry. Returns 1, or 0 when the list is
// full, already holds the name, or has no such anchor.
int InsertGraph(const AddGraphRule& rule) {
    if (!MayAdd(rule)) return 0;
    uint32_t anchor = 0;
    while (anchor < g_workingList.count &&
           !FieldEqualsNoCase(EntryName(g_workingList.entries[anchor]), kGraphNameFieldSize, rule.anchorName))
        ++anchor;
    if (anchor == g_workingList.count) return 0;
    std::memmove(g_workingList.entries[anchor + 1], g_workingList.entries[anchor],
                 size_t{kGraphEntrySize} * (g_workingList.count - anchor));
    FillAddedEntry(g_workingList.entries[anchor], rule);
    ++g_workingList.count;
    g_workingList.changed = 1;
    return 1;
}

// Writes the count and the entries of the list to section, when given.
// Returns the length of that graph section, 4 + 2400 per entry.
uint32_t StoreWorkingList(unsigned char* section) {
    const uint32_t length = kEntryCountSize + kGraphEntrySize * g_workingList.count;
    if (section != nullptr) {
        WriteLittleEndian32(section, g_workingList.count);
        std::memcpy(section + kEntryCountSize, g_workingList.entries, length - kEntryCountSize);
    }
    return length;
}

// Replaces image by a new one around the working list: the header with the
// new graph length and the old M, the list as the graph section, then the old
// middle and state sections byte for byte. Graph section bytes of the old
// image beyond its entries are not carried over. Updates layout. Returns 1,
// or 0 leaving image and layout as they were when the new image would pass
// 4 GiB or cannot be obtained.
int RebuildImage(SaveImage* image, SaveLayout* layout) {
    const uint32_t graphLength = StoreWorkingList(nullptr);
    const uint32_t tailLength = layout->middleLength + layout->stateLength;
    const uint64_t length = uint64_t{kSaveHeaderSize} + graphLength + tailLength;
    if (length > UINT32_MAX) return 0;
    std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[static_cast<size_t>(length)]);
    if (bytes == nullptr) return 0;
    WriteLittleEndian32(bytes.get() + kGraphLengthOffset, graphLength);
    WriteLittleEndian32(bytes.get() + kMiddleLengthOffset, layout->middleLength);
    StoreWorkingList(bytes.get() + kSaveHeaderSize);
    std::memcpy(bytes.get() + kSaveHeaderSize + graphLength,
                image->bytes.get() + kSaveHeaderSize + layout->graphLength, tailLength);
    image->bytes = std::move(bytes);
    image->length = static_cast<uint32_t>(length);
    layout->graphLength = graphLength;
    layout->entryCount = g_workingList.count;
    layout->stateOffset = kSaveHeaderSize + graphLength + layout->middleLength;
    return 1;
}

// Pass 1: FILENAME ----------------------------------------------------------------

// Sets the first count sub-entries of list from names: a non-empty name marks
// its sub-entry present and is copied into it, an empty one zeroes it.
void SetSubEntries(unsigned char* list, const char (&names)[kFilenameItemCapacity][kRuleNameSize],
                   int32_t count) {
    const int32_t used = std::clamp<int32_t>(count, 0, kFilenameItemCapacity);
    for (int32_t i = 0; i < used; ++i) {
        unsigned char* subEntry = list + kSubEntrySize * static_cast<uint32_t>(i);
        if (names[i][0] == '\0') {
            std::memset(subEntry, 0, kSubEntrySize);
            continue;
        }
        subEntry[kSubEntryPresentOffset] = 1;
        CopyText(reinterpret_cast<char*>(subEntry + kSubEntryNameOffset), kSubEntrySize - kSubEntryNameOffset,
                 names[i]);
    }
}

// Renames every entry named by a FILENAME rule in range and sets its A and C
// sub-entries. Returns 1 when a rule was in range, matched or not.
int RenameGraphs(unsigned char* image, const SaveLayout& layout) {
    const unsigned char* state = StateSection(image, layout);
    int changed = 0;
    for (uint32_t r = 0; r < g_convertRuleTable.count; ++r) {
        const ConvertRule& rule = g_convertRuleTable.records[r];
        if (rule.kind != kRuleFilename) continue;
        const FilenameRule& filename = rule.payload.filename;
        if (!InRange(state, filename.low, filename.high)) continue;
        changed = 1;
        for (uint32_t i = 0; i < layout.entryCount; ++i) {
            unsigned char* entry = GraphEntry(image, i);
            char* name = EntryName(entry);
            if (!GraphNameEquals(name, filename.oldGraphName)) continue;
            std::memset(name, 0, kGraphNameFieldSize);
            CopyText(name, kGraphNameFieldSize, filename.newGraphName);
            SetSubEntries(entry + kEntryAListOffset, filename.aNames, filename.aCount);
            SetSubEntries(entry + kEntryCListOffset, filename.cNames, filename.cCount);
        }
    }
    return changed;
}

// Pass 2: graph status, state words and SE slots --------------------------------------

// GRAPHSTATUS: writes the property's values into every entry of that name.
// Returns 1 when in range, whether or not an entry matched or the property
// writes anything.
int SetGraphStatus(unsigned char* image, const SaveLayout& layout, const GraphStatusRule& rule) {
    if (!InRange(StateSection(image, layout), rule.low, rule.high)) return 0;
    const bool known = rule.property >= kGraphPosition && rule.property <= kGraphClip;
    const GraphPropertyPlace place = kGraphPropertyPlaces[known ? rule.property : 0];
    for (uint32_t i = 0; i < layout.entryCount; ++i) {
        unsigned char* entry = GraphEntry(image, i);
        if (!GraphNameEquals(EntryName(entry), rule.graphName)) continue;
        for (uint32_t v = 0; v < place.words; ++v) {
            WriteLittleEndian32(entry + place.offset + 4 * v, rule.values[v]);
        }
    }
    return 1;
}

// BGMNO, LOOPSENO: sets the state word at offset. Returns 1 when in range.
int SetRangeWord(unsigned char* state, uint32_t offset, const RangeValueRule& rule) {
    if (!InRange(state, rule.low, rule.high)) return 0;
    WriteLittleEndian32(state + offset, rule.value);
    return 1;
}

// CHANGEPARAM: sets a message parameter (selector 1, index 0-7) or a
// filename parameter (selector 2, any index whose word lies inside the state
// section). Returns 1 when it set one; any other selector or index does
// nothing.
int ChangeParam(unsigned char* state, const SaveLayout& layout, const ChangeParamRule& rule) {
    uint64_t offset;
    if (rule.selector == 1 && rule.index < kMessageParamCount) {
        offset = kMessageParamsOffset + uint64_t{4} * rule.index;
    } else if (rule.selector == 2) {
        offset = kFilenameParamsOffset + uint64_t{4} * rule.index;
        if (offset + 4 > layout.stateLength) return 0;
    } else {
        return 0;
    }
    WriteLittleEndian32(state + offset, rule.value);
    return 1;
}

unsigned char* SeSlotWord(unsigned char* state, uint32_t slot, uint32_t word) {
    return state + kSeSlotsOffset + kSeSlotSize * slot + 4 * word;
}

// CHANGESE: in the first free slot (flag 0) whose word 1 is the old value,
// sets word 1 to the new value. Returns 1 when in range and a slot was found.
int ChangeSe(unsigned char* state, const ChangeSeRule& rule) {
    if (!InRange(state, rule.low, rule.high)) return 0;
    for (uint32_t slot = 0; slot < kSeSlotCount; ++slot) {
        if (ReadLittleEndian32(SeSlotWord(state, slot, 0)) != 0 ||
            ReadLittleEndian32(SeSlotWord(state, slot, 1)) != rule.oldSe)
            continue;
        WriteLittleEndian32(SeSlotWord(state, slot, 1), rule.newSe);
        return 1;
    }
    return 0;
}

// ADDSE: fills the first free slot and marks it taken. Word 3 takes the mode
// value by the mode (0 as it is, 1 and 2 with their high bits); any other
// mode leaves word 3. Returns 1 when in range and a slot was free.
int AddSe(unsigned char* state, const AddSeRule& rule) {
    if (!InRange(state, rule.low, rule.high)) return 0;
    for (uint32_t slot = 0; slot < kSeSlotCount; ++slot) {
        if (ReadLittleEndian32(SeSlotWord(state, slot, 0)) != 0) continue;
        WriteLittleEndian32(SeSlotWord(state, slot, 0), 1);
        WriteLittleEndian32(SeSlotWord(state, slot, 1), rule.slotWord1);
        WriteLittleEndian32(SeSlotWord(state, slot, 2), rule.slotWord2);
        WriteLittleEndian32(SeSlotWord(state, slot, 4), rule.slotWord4Flag != 0 ? 1 : 0);
        WriteLittleEndian32(SeSlotWord(state, slot, 5), rule.slotWord5Flag != 0 ? 1 : 0);
        if (rule.mode == 0) WriteLittleEndian32(SeSlotWord(state, slot, 3), rule.modeValue);
        if (rule.mode == 1) WriteLittleEndian32(SeSlotWord(state, slot, 3), rule.modeValue | 0x80000000u);
        if (rule.mode == 2) WriteLittleEndian32(SeSlotWord(state, slot, 3), rule.modeValue | 0x80010000u);
        return 1;
    }
    return 0;
}

// Applies the pass-2 rules in table order. Returns 1 when any changed the image.
int ApplyStateRules(unsigned char* image, const SaveLayout& layout) {
    unsigned char* state = StateSection(image, layout);
    int changed = 0;
    for (uint32_t r = 0; r < g_convertRuleTable.count; ++r) {
        const ConvertRule& rule = g_convertRuleTable.records[r];
        const ConvertRulePayload& payload = rule.payload;
        int ruleChanged = 0;
        switch (rule.kind) {
        case kRuleBgmNo: ruleChanged = SetRangeWord(state, kBgmNoOffset, payload.rangeValue); break;
        case kRuleLoopSeNo: ruleChanged = SetRangeWord(state, kLoopSeNoOffset, payload.rangeValue); break;
        case kRuleGraphStatus: ruleChanged = SetGraphStatus(image, layout, payload.graphStatus); break;
        case kRuleChangeParam: ruleChanged = ChangeParam(state, layout, payload.changeParam); break;
        case kRuleChangeSe: ruleChanged = ChangeSe(state, payload.changeSe); break;
        case kRuleAddSe: ruleChanged = AddSe(state, payload.addSe); break;
        default: break;
        }
        if (ruleChanged) changed = 1;
    }
    return changed;
}

// Pass 3: ADDGRAPH and INSERTGRAPH --------------------------------------------------

// Applies the rules in range to the working list. Returns 1 when an entry
// was added or inserted.
int AddGraphs(const unsigned char* state) {
    int changed = 0;
    for (uint32_t r = 0; r < g_convertRuleTable.count; ++r) {
        const ConvertRule& rule = g_convertRuleTable.records[r];
        if (rule.kind != kRuleAddGraph && rule.kind != kRuleInsertGraph) continue;
        const AddGraphRule& add = rule.payload.addGraph;
        if (!InRange(state, add.low, add.high)) continue;
        if (rule.kind == kRuleAddGraph ? AppendGraph(add) : InsertGraph(add)) changed = 1;
    }
    return changed;
}

// Pass 4: MESSAGE -------------------------------------------------------------------

// Rewrites the message word with every MESSAGE rule whose old word it holds
// at that moment, so that rules chain in table order. Returns 1 when one did.
int RewriteMessage(unsigned char* state) {
    int changed = 0;
    for (uint32_t r = 0; r < g_convertRuleTable.count; ++r) {
        const ConvertRule& rule = g_convertRuleTable.records[r];
        if (rule.kind != kRuleMessage) continue;
        if (ReadLittleEndian32(state + kMessageOffset) != rule.payload.message.oldMessage) continue;
        WriteLittleEndian32(state + kMessageOffset, rule.payload.message.newMessage);
        changed = 1;
    }
    return changed;
}

}  // namespace

int ConvertSaveFile(SaveImage* image) {
    SaveLayout layout;
    if (image == nullptr || !ReadSaveLayout(*image, &layout)) return 0;
    int changed = RenameGraphs(image->bytes.get(), layout);
    if (ApplyStateRules(image->bytes.get(), layout)) changed = 1;
    LoadWorkingList(image->bytes.get(), layout);
    if (AddGraphs(StateSection(image->bytes.get(), layout))) changed = 1;
    // A rebuild that cannot be made loses the additions only; the changed
    // result stays.
    if (g_workingList.changed) RebuildImage(image, &layout);
    if (RewriteMessage(StateSection(image->bytes.get(), layout))) changed = 1;
    return changed;
}
