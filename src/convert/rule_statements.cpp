// Rule statements: a const table of the twelve statements drives one parser.
//
// Each statement reads its leading fields by the table into its record (a
// FilePatch or a ConvertRule payload), then, for five of them, a tail of its
// own: BINARY hex text, ASCII data, FILENAME items, GRAPHSTATUS values.
#include "convert/rule_statements.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "convert/rule_tables.h"
#include "script/script_lexer.h"

namespace {

constexpr size_t kTokenSize = 1024;  // the rule keyword; the BINARY hex text

enum FieldType {
    kIntField,   // ParseIntField, stored as a 32-bit word
    kTextField,  // ReadField into a 64-byte name
};

struct FieldPlace {
    FieldType type;
    size_t offset;    // in the record
    size_t capacity;  // a text field: its bytes with the terminator; a longer text fails
};

enum StatementTail {
    kNoTail,
    kHexDataTail,         // BINARY: hex text into the patch data
    kTextDataTail,        // ASCII: text into the patch data
    kFilenameItemsTail,   // FILENAME: A and C items
    kGraphValuesTail,     // GRAPHSTATUS: two to four values typed by the property
};

constexpr int kMaxLeadingFields = 8;

struct RuleStatement {
    int keyword;
    uint32_t kind;  // ConvertRuleKind; 0 for a byte patch
    StatementTail tail;
    int fieldCount;
    FieldPlace fields[kMaxLeadingFields];
};

constexpr FieldPlace Int(size_t offset) {
    return {kIntField, offset, 0};
}
constexpr FieldPlace Text(size_t offset) {
    return {kTextField, offset, kRuleNameSize};
}
// A graph name that a save's graph name field receives whole.
constexpr FieldPlace GraphName(size_t offset) {
    return {kTextField, offset, kGraphNameFieldSize};
}
// A graph name that a save receives after the added mark.
constexpr FieldPlace AddedGraphName(size_t offset) {
    return {kTextField, offset, kGraphNameFieldSize - 1};
}

constexpr RuleStatement kRuleStatements[] = {
    // ConvertFile BINARY = data\sys.bin, 0x100, 0A1B
    {kKeywordBinary, 0, kHexDataTail, 2,
     {Text(offsetof(FilePatch, fileName)), Int(offsetof(FilePatch, offset))}},
    // ConvertFile ASCII = data\sys.txt, 16, "AB CD"
    {kKeywordAscii, 0, kTextDataTail, 2,
     {Text(offsetof(FilePatch, fileName)), Int(offsetof(FilePatch, offset))}},
    // ConvertSave FILENAME = 0, 999, bg01, bg02, Aface1, Cface2
    {kKeywordFilename, kRuleFilename, kFilenameItemsTail, 4,
     {Int(offsetof(FilenameRule, low)), Int(offsetof(FilenameRule, high)),
      Text(offsetof(FilenameRule, oldGraphName)), GraphName(offsetof(FilenameRule, newGraphName))}},
    // ConvertSave MESSAGE = 1200, 1300
    {kKeywordMessage, kRuleMessage, kNoTail, 2,
     {Int(offsetof(MessageRule, oldMessage)), Int(offsetof(MessageRule, newMessage))}},
    // ConvertSave BGMNO = 100, 200, 5
    {kKeywordBgmNo, kRuleBgmNo, kNoTail, 3,
     {Int(offsetof(RangeValueRule, low)), Int(offsetof(RangeValueRule, high)),
      Int(offsetof(RangeValueRule, value))}},
    // ConvertSave LOOPSENO = 100, 200, 7
    {kKeywordLoopSeNo, kRuleLoopSeNo, kNoTail, 3,
     {Int(offsetof(RangeValueRule, low)), Int(offsetof(RangeValueRule, high)),
      Int(offsetof(RangeValueRule, value))}},
    // ConvertSave GRAPHSTATUS = 0, 100, chara, scale, 1.5, 2
    {kKeywordGraphStatus, kRuleGraphStatus, kGraphValuesTail, 4,
     {Int(offsetof(GraphStatusRule, low)), Int(offsetof(GraphStatusRule, high)),
      Text(offsetof(GraphStatusRule, graphName)), Int(offsetof(GraphStatusRule, property))}},
    // ConvertSave CHANGEPARAM = filename, 3, 7
    {kKeywordChangeParam, kRuleChangeParam, kNoTail, 3,
     {Int(offsetof(ChangeParamRule, selector)), Int(offsetof(ChangeParamRule, index)),
      Int(offsetof(ChangeParamRule, value))}},
    // ConvertSave ADDGRAPH = 0, 100, 1, 2, face01, 3
    {kKeywordAddGraph, kRuleAddGraph, kNoTail, 6,
     {Int(offsetof(AddGraphRule, low)), Int(offsetof(AddGraphRule, high)),
      Int(offsetof(AddGraphRule, entryWord0)), Int(offsetof(AddGraphRule, entryWord1)),
      AddedGraphName(offsetof(AddGraphRule, graphName)), Int(offsetof(AddGraphRule, entryWord2))}},
    // ConvertSave INSERTGRAPH = 0, 100, 1, 2, face01, 3, bg01
    {kKeywordInsertGraph, kRuleInsertGraph, kNoTail, 7,
     {Int(offsetof(AddGraphRule, low)), Int(offsetof(AddGraphRule, high)),
      Int(offsetof(AddGraphRule, entryWord0)), Int(offsetof(AddGraphRule, entryWord1)),
      AddedGraphName(offsetof(AddGraphRule, graphName)), Int(offsetof(AddGraphRule, entryWord2)),
      GraphName(offsetof(AddGraphRule, anchorName))}},
    // ConvertSave CHANGESE = 0, 100, 12, 13
    {kKeywordChangeSe, kRuleChangeSe, kNoTail, 4,
     {Int(offsetof(ChangeSeRule, low)), Int(offsetof(ChangeSeRule, high)),
      Int(offsetof(ChangeSeRule, oldSe)), Int(offsetof(ChangeSeRule, newSe))}},
    // ConvertSave ADDSE = 0, 100, 12, 1, 0, 1, 2, 30
    {kKeywordAddSe, kRuleAddSe, kNoTail, 8,
     {Int(offsetof(AddSeRule, low)), Int(offsetof(AddSeRule, high)),
      Int(offsetof(AddSeRule, slotWord1)), Int(offsetof(AddSeRule, slotWord2)),
      Int(offsetof(AddSeRule, slotWord5Flag)), Int(offsetof(AddSeRule, slotWord4Flag)),
      Int(offsetof(AddSeRule, mode)), Int(offsetof(AddSeRule, modeValue))}},
};

const RuleStatement* FindStatement(int keyword) {
    for (const RuleStatement& statement : kRuleStatements) {
        if (statement.keyword == keyword) return &statement;
    }
    return nullptr;
}

// Start of the field after the one starting at field: one byte past the next
// ',' or, when the line holds none, past its line end, and then past blanks,
// so that a field list may go on on the next line.
const char* FollowingField(const char* field) {
    return SkipBlanks(FindSeparator(field, ',') + 1);
}

void StoreWord(unsigned char* record, size_t offset, uint32_t word) {
    std::memcpy(record + offset, &word, sizeof word);
}

// Reads the statement's leading fields, the first at field, into record.
// Returns 1 and the start of the last field read in *lastField; 0 when a
// number does not parse or a text does not fit.
int ReadLeadingFields(const RuleStatement& statement, const char* field, unsigned char* record,
                      const char** lastField) {
    for (int i = 0; i < statement.fieldCount; ++i) {
        if (i > 0) field = FollowingField(field);
        const FieldPlace& place = statement.fields[i];
        if (place.type == kIntField) {
            uint32_t value = 0;
            if (!ParseIntField(field, &value)) return 0;
            StoreWord(record, place.offset, value);
        } else if (!ReadField(reinterpret_cast<char*>(record + place.offset), place.capacity, field)) {
            return 0;
        }
    }
    *lastField = field;
    return 1;
}

// BINARY data: the field's characters two at a time as hexadecimal bytes; a
// last single character is ignored.
int ReadHexData(const char* field, FilePatch* patch) {
    char hex[kTokenSize] = {};
    if (!ReadField(hex, sizeof hex, field)) return 0;
    if (std::strlen(hex) > 2 * kPatchDataSize) return 0;
    for (size_t i = 0; hex[i] != '\0' && hex[i + 1] != '\0'; i += 2) {
        if (!HexPairToByte(hex[i], hex[i + 1], &patch->data[patch->length])) return 0;
        ++patch->length;
    }
    return 1;
}

// ASCII data: the field itself, at most 255 bytes.
int ReadTextData(const char* field, FilePatch* patch) {
    char* data = reinterpret_cast<char*>(patch->data);
    if (!ReadField(data, sizeof patch->data, field)) return 0;
    patch->length = static_cast<int32_t>(std::strlen(data));
    return 1;
}

// FILENAME items after the new graph name (starting at lastField): each
// comma-separated item starting with A or C adds the name after its letter;
// other items are skipped. The list ends with its line.
int ReadFilenameItems(const char* lastField, FilenameRule* rule) {
    const char* previous = lastField;
    for (;;) {
        const char* separator = FindSeparator(previous, ',');
        if (*separator != ',') return 1;
        const char* item = SkipBlanks(separator + 1);
        const char letter = *item;
        if (letter == 'A' || letter == 'a') {
            if (rule->aCount >= kFilenameItemCapacity) return 0;
            if (!ReadField(rule->aNames[rule->aCount], kRuleNameSize, item + 1)) return 0;
            ++rule->aCount;
        } else if (letter == 'C' || letter == 'c') {
            if (rule->cCount >= kFilenameItemCapacity) return 0;
            if (!ReadField(rule->cNames[rule->cCount], kRuleNameSize, item + 1)) return 0;
            ++rule->cCount;
        }
        previous = item;
    }
}

// GRAPHSTATUS values after the property (starting at lastField): values 1 and
// 2 are required, 3 and 4 optional; a value 3 that does not parse leaves 3
// and 4 zero. A property outside 1-6 reads no values.
int ReadGraphValues(const char* lastField, GraphStatusRule* rule) {
    const bool reals = GraphPropertyTakesReals(rule->property);
    if (!reals && !GraphPropertyTakesIntegers(rule->property)) return 1;
    const char* field = lastField;
    for (int i = 0; i < 4; ++i) {
        field = FollowingField(field);
        int parsed;
        if (reals) {
            float value = 0.0f;
            parsed = ParseRealField(field, &value);
            if (parsed) rule->values[i] = GraphValueFromReal(value);
        } else {
            parsed = ParseIntField(field, &rule->values[i]);
        }
        if (!parsed) return i >= 2 ? 1 : 0;
    }
    return 1;
}

int StorePatch(const RuleStatement& statement, const char* field) {
    FilePatch patch{};
    const char* lastField = nullptr;
    if (!ReadLeadingFields(statement, field, reinterpret_cast<unsigned char*>(&patch), &lastField))
        return 0;
    const char* dataField = FollowingField(lastField);
    const int read = statement.tail == kHexDataTail ? ReadHexData(dataField, &patch)
                                                    : ReadTextData(dataField, &patch);
    if (!read) return 0;
    return AddFilePatch(patch);
}

int StoreRule(const RuleStatement& statement, const char* field) {
    ConvertRulePayload payload{};
    unsigned char* record = reinterpret_cast<unsigned char*>(&payload);
    const char* lastField = nullptr;
    if (!ReadLeadingFields(statement, field, record, &lastField)) return 0;
    if (statement.tail == kFilenameItemsTail) {
        FilenameRule rule;
        std::memcpy(&rule, record, sizeof rule);
        if (!ReadFilenameItems(lastField, &rule)) return 0;
        std::memcpy(record, &rule, sizeof rule);
    } else if (statement.tail == kGraphValuesTail) {
        GraphStatusRule rule;
        std::memcpy(&rule, record, sizeof rule);
        if (!ReadGraphValues(lastField, &rule)) return 0;
        std::memcpy(record, &rule, sizeof rule);
    }
    return AddRule(statement.kind, payload);
}

}  // namespace

int ParseRuleLine(const char* position) {
    const char* start = SkipBlanks(position);
    if (start == nullptr) return 0;
    // The keyword is only looked up, so a longer word may be cut here.
    char token[kTokenSize] = {};
    ReadField(token, sizeof token, start);
    const RuleStatement* statement = FindStatement(KeywordId(token));
    if (statement == nullptr) return 1;
    const char* equals = FindEquals(start);
    if (equals == nullptr) return 0;
    const char* field = SkipBlanks(equals + 1);
    return statement->kind == 0 ? StorePatch(*statement, field) : StoreRule(*statement, field);
}

int HexPairToByte(char first, char second, unsigned char* byte) {
    int digits[2];
    const char pair[2] = {first, second};
    for (int i = 0; i < 2; ++i) {
        const char c = pair[i];
        if (c >= '0' && c <= '9') {
            digits[i] = c - '0';
        } else if (c >= 'A' && c <= 'F') {
            digits[i] = c - 'A' + 10;
        } else if (c >= 'a' && c <= 'f') {
            digits[i] = c - 'a' + 10;
        } else {
            return 0;
        }
    }
    *byte = static_cast<unsigned char>(digits[0] * 16 + digits[1]);
    return 1;
}
