// The byte-patch and conversion-rule tables that the script's rule
// statements fill, and the record layouts their consumers read.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "common/fixed_table.h"
#include "script/script_lexer.h"

constexpr uint32_t kRuleTableCapacity = 256;
constexpr size_t kRuleNameSize = 64;       // a rule or patch name holds at most 63 bytes
constexpr size_t kPatchDataSize = 256;     // bytes a patch can write
constexpr size_t kRulePayloadSize = 1424;  // bytes after a rule's kind
constexpr size_t kRulePayloadWords = kRulePayloadSize / 4;
constexpr int kFilenameItemCapacity = 10;  // A names, and again C names, per FILENAME rule

// A graph name in a save is a 32-byte zero-terminated field. A name that a
// rule adds to a save starts with the added mark, so it holds one byte less.
constexpr size_t kGraphNameFieldSize = 32;
constexpr char kAddedGraphMark = '+';

// One byte patch of an installed file (BINARY, ASCII).
struct FilePatch {
    char fileName[kRuleNameSize];         // relative to the install folder, Shift_JIS
    int32_t offset;                       // bytes from the start of the file
    int32_t length;                       // data bytes to write, 0 to 256
    unsigned char data[kPatchDataSize];   // the first length bytes are written
};
static_assert(sizeof(FilePatch) == 328);

// A save rule's kind is its keyword's place among the save rule keywords,
// counted from 1: FILENAME is 1, ADDSE 10.
constexpr uint32_t RuleKindOf(int keyword) {
    return static_cast<uint32_t>(keyword - kKeywordAscii);
}

enum ConvertRuleKind : uint32_t {
    kRuleFilename = RuleKindOf(kKeywordFilename),
    kRuleMessage = RuleKindOf(kKeywordMessage),
    kRuleBgmNo = RuleKindOf(kKeywordBgmNo),
    kRuleLoopSeNo = RuleKindOf(kKeywordLoopSeNo),
    kRuleGraphStatus = RuleKindOf(kKeywordGraphStatus),
    kRuleChangeParam = RuleKindOf(kKeywordChangeParam),
    kRuleAddGraph = RuleKindOf(kKeywordAddGraph),
    kRuleInsertGraph = RuleKindOf(kKeywordInsertGraph),
    kRuleChangeSe = RuleKindOf(kKeywordChangeSe),
    kRuleAddSe = RuleKindOf(kKeywordAddSe),
};
static_assert(kRuleFilename == 1 && kRuleAddSe == 10, "the kinds a save rule record stores");

// Payload layouts, one per kind. Words are 32-bit; message-range bounds and
// words compared with a save are compared unsigned.

struct FilenameRule {                                  // kind 1, FILENAME
    uint32_t low;                                      // message range, first word
    uint32_t high;                                     // message range, last word
    char oldGraphName[kRuleNameSize];                  // graph name to replace
    char newGraphName[kRuleNameSize];                  // its replacement
    int32_t aCount;                                    // A names in use
    int32_t cCount;                                    // C names in use
    char aNames[kFilenameItemCapacity][kRuleNameSize]; // A items
    char cNames[kFilenameItemCapacity][kRuleNameSize]; // C items
};
static_assert(sizeof(FilenameRule) == 1424);

struct MessageRule {        // kind 2, MESSAGE
    uint32_t oldMessage;    // message word to replace
    uint32_t newMessage;    // its replacement
};

struct RangeValueRule {     // kind 3, BGMNO; kind 4, LOOPSENO
    uint32_t low;           // message range, first word
    uint32_t high;          // message range, last word
    uint32_t value;         // BGM number, or loop SE number
};

// Properties of GRAPHSTATUS: which four values it sets, and their type.
enum GraphProperty : int32_t {
    kGraphPosition = 1,  // reals
    kGraphCenter = 2,    // integers
    kGraphScale = 3,     // reals
    kGraphRotate = 4,    // reals
    kGraphFilePos = 5,   // integers
    kGraphClip = 6,      // integers
};

struct GraphStatusRule {               // kind 5, GRAPHSTATUS
    uint32_t low;                      // message range, first word
    uint32_t high;                     // message range, last word
    char graphName[kRuleNameSize];     // graph the values apply to
    int32_t property;                  // GraphProperty; any other value sets nothing
    uint32_t values[4];                // single-precision bits or 32-bit integers, by property
};
static_assert(sizeof(GraphStatusRule) == 92);

struct ChangeParamRule {  // kind 6, CHANGEPARAM
    uint32_t selector;    // 1 message parameters, 2 filename parameters
    uint32_t index;       // parameter index
    uint32_t value;       // new value
};

struct AddGraphRule {                  // kind 7, ADDGRAPH; kind 8, INSERTGRAPH
    uint32_t low;                      // message range, first word
    uint32_t high;                     // message range, last word
    uint32_t entryWord0;               // graph entry word 0
    uint32_t entryWord1;               // graph entry word 1
    char graphName[kRuleNameSize];     // graph to add
    uint32_t entryWord2;               // graph entry word 2
    char anchorName[kRuleNameSize];    // INSERTGRAPH only: the graph to insert at
};
static_assert(offsetof(AddGraphRule, anchorName) == 84);
static_assert(sizeof(AddGraphRule) == 148);

struct ChangeSeRule {       // kind 9, CHANGESE
    uint32_t low;           // message range, first word
    uint32_t high;          // message range, last word
    uint32_t oldSe;         // SE value to replace
    uint32_t newSe;         // its replacement
    uint32_t unused[5];     // always zero
};
static_assert(sizeof(ChangeSeRule) == 36);

struct AddSeRule {          // kind 10, ADDSE
    uint32_t low;           // message range, first word
    uint32_t high;          // message range, last word
    uint32_t unused;        // no field sets it: always zero
    uint32_t slotWord1;     // SE slot word 1
    uint32_t slotWord2;     // SE slot word 2
    uint32_t slotWord5Flag; // SE slot word 5 flag
    uint32_t slotWord4Flag; // SE slot word 4 flag
    uint32_t mode;          // mode
    uint32_t modeValue;     // mode value
};
static_assert(sizeof(AddSeRule) == 36);

// The payload of a rule: the layout of its kind; every byte no field sets is 0.
union ConvertRulePayload {
    uint32_t words[kRulePayloadWords];
    FilenameRule filename;        // kind 1
    MessageRule message;          // kind 2
    RangeValueRule rangeValue;    // kinds 3 and 4
    GraphStatusRule graphStatus;  // kind 5
    ChangeParamRule changeParam;  // kind 6
    AddGraphRule addGraph;        // kinds 7 and 8
    ChangeSeRule changeSe;        // kind 9
    AddSeRule addSe;              // kind 10
};
static_assert(sizeof(ConvertRulePayload) == kRulePayloadSize);

// One save-conversion rule.
struct ConvertRule {
    uint32_t kind;                // ConvertRuleKind, 1 to 10
    ConvertRulePayload payload;   // the kind's layout
};
static_assert(sizeof(ConvertRule) == 1428);

// A GRAPHSTATUS value word read as, or made from, a single-precision real.
inline float GraphValueAsReal(uint32_t word) {
    return std::bit_cast<float>(word);
}
inline uint32_t GraphValueFromReal(float value) {
    return std::bit_cast<uint32_t>(value);
}

// True for the properties whose values are reals (position, scale, rotate).
inline bool GraphPropertyTakesReals(int32_t property) {
    return property == kGraphPosition || property == kGraphScale || property == kGraphRotate;
}

// True for the properties whose values are integers (center, filepos, clip).
inline bool GraphPropertyTakesIntegers(int32_t property) {
    return property == kGraphCenter || property == kGraphFilePos || property == kGraphClip;
}

// Filled in script order while the script loads, read-only afterwards.
// Defined once (rule_tables.cpp), not inline, as the plan tables are.
extern FixedTable<FilePatch, kRuleTableCapacity> g_filePatchTable;
extern FixedTable<ConvertRule, kRuleTableCapacity> g_convertRuleTable;

// Payload words AddRule copies for kind; 0 for a kind outside 1-10.
uint32_t RuleWordCount(uint32_t kind);

// Appends a rule of kind (1-10): its kind and the first RuleWordCount(kind)
// words of payload; the rest of the record stays zero. Returns 1, or 0 when
// the table already holds 256 rules or the kind is unknown.
int AddRule(uint32_t kind, const ConvertRulePayload& payload);

// Appends patch whole. Returns 1, or 0 when the table already holds 256.
int AddFilePatch(const FilePatch& patch);

// Zero-fill the whole table and set its count to 0.
void ClearRules();
void ClearFilePatches();
