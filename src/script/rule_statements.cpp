// Rule statements: a const table of the twelve statements drives one parser.
//
// Each statement reads its leading fields by the table into its record (a
// FilePatch or a ConvertRule payload), then, for five of them, a tail of its
// own: BINARY hex text, ASCII data, FILENAME items, GRAPHSTATUS values.
#include "script/rule_statements.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/ascii.h"
#include "script/rule_tables.h"
#include "script/script_lexer.h"

namespace {

constexpr size_t kTokenSize = 1024;  // the rule keyword; the BINARY hex text

constexpr StatementField Unsigned(const char* name, size_t offset) {
    return {name, kUnsignedField, offset, 0};
}
constexpr StatementField Signed(const char* name, size_t offset) {
    return {name, kSignedField, offset, 0};
}
constexpr StatementField Text(const char* name, size_t offset) {
    return {name, kTextField, offset, kRuleNameSize};
}
// A graph name that a save's graph name field receives whole.
constexpr StatementField GraphName(const char* name, size_t offset) {
    return {name, kTextField, offset, kGraphNameFieldSize};
}
// A graph name that a save receives after the added mark.
constexpr StatementField AddedGraphName(const char* name, size_t offset) {
    return {name, kTextField, offset, kGraphNameFieldSize - 1};
}

constexpr StatementField kPatchFileName{"fileName", kTextField, offsetof(FilePatch, fileName), kRuleNameSize, true};
constexpr StatementField kPatchOffset = Signed("offset", offsetof(FilePatch, offset));
// BINARY data: two hexadecimal digits per byte.
constexpr StatementField kHexData{"data", kTextField, offsetof(FilePatch, data), 2 * kPatchDataSize + 1};
constexpr StatementField kTextData{"data", kTextField, offsetof(FilePatch, data), kPatchDataSize};
constexpr StatementField kRealValues{"values", kRealField, offsetof(GraphStatusRule, values), 0};
constexpr StatementField kIntegerValues{"values", kSignedField, offsetof(GraphStatusRule, values), 0};

constexpr StatementField kRangeLow = Unsigned("low", 0);
constexpr StatementField kRangeHigh = Unsigned("high", 4);
static_assert(offsetof(FilenameRule, low) == 0 && offsetof(FilenameRule, high) == 4);
static_assert(offsetof(AddSeRule, high) == 4 && offsetof(ChangeSeRule, high) == 4);

constexpr RuleStatement kRuleStatements[] = {
    // ConvertFile BINARY = data\sys.bin, 0x100, 0A1B
    {kKeywordBinary, 0, 2, {kPatchFileName, kPatchOffset}, kHexDataTail, {kHexData}},
    // ConvertFile ASCII = data\sys.txt, 16, "AB CD"
    {kKeywordAscii, 0, 2, {kPatchFileName, kPatchOffset}, kTextDataTail, {kTextData}},
    // ConvertSave FILENAME = 0, 999, bg01, bg02, Aface1, Cface2
    {kKeywordFilename, kRuleFilename, 4,
     {kRangeLow, kRangeHigh, Text("oldGraphName", offsetof(FilenameRule, oldGraphName)),
      GraphName("newGraphName", offsetof(FilenameRule, newGraphName))},
     kFilenameItemsTail,
     {Text("aNames", offsetof(FilenameRule, aNames)), Text("cNames", offsetof(FilenameRule, cNames))}},
    // ConvertSave MESSAGE = 1200, 1300
    {kKeywordMessage, kRuleMessage, 2,
     {Unsigned("oldMessage", offsetof(MessageRule, oldMessage)),
      Unsigned("newMessage", offsetof(MessageRule, newMessage))},
     kNoTail, {}},
    // ConvertSave BGMNO = 100, 200, 5
    {kKeywordBgmNo, kRuleBgmNo, 3, {kRangeLow, kRangeHigh, Unsigned("bgmNumber", offsetof(RangeValueRule, value))},
     kNoTail, {}},
    // ConvertSave LOOPSENO = 100, 200, 7
    {kKeywordLoopSeNo, kRuleLoopSeNo, 3,
     {kRangeLow, kRangeHigh, Unsigned("loopSeNumber", offsetof(RangeValueRule, value))}, kNoTail, {}},
    // ConvertSave GRAPHSTATUS = 0, 100, chara, scale, 1.5, 2
    {kKeywordGraphStatus, kRuleGraphStatus, 4,
     {kRangeLow, kRangeHigh, Text("graphName", offsetof(GraphStatusRule, graphName)),
      Signed("property", offsetof(GraphStatusRule, property))},
     kGraphValuesTail, {kRealValues, kIntegerValues}},
    // ConvertSave CHANGEPARAM = filename, 3, 7
    {kKeywordChangeParam, kRuleChangeParam, 3,
     {Unsigned("selector", offsetof(ChangeParamRule, selector)), Unsigned("index", offsetof(ChangeParamRule, index)),
      Unsigned("value", offsetof(ChangeParamRule, value))},
     kNoTail, {}},
    // ConvertSave ADDGRAPH = 0, 100, 1, 2, face01, 3
    {kKeywordAddGraph, kRuleAddGraph, 6,
     {kRangeLow, kRangeHigh, Unsigned("entryWord0", offsetof(AddGraphRule, entryWord0)),
      Unsigned("entryWord1", offsetof(AddGraphRule, entryWord1)),
      AddedGraphName("graphName", offsetof(AddGraphRule, graphName)),
      Unsigned("entryWord2", offsetof(AddGraphRule, entryWord2))},
     kNoTail, {}},
    // ConvertSave INSERTGRAPH = 0, 100, 1, 2, face01, 3, bg01
    {kKeywordInsertGraph, kRuleInsertGraph, 7,
     {kRangeLow, kRangeHigh, Unsigned("entryWord0", offsetof(AddGraphRule, entryWord0)),
      Unsigned("entryWord1", offsetof(AddGraphRule, entryWord1)),
      AddedGraphName("graphName", offsetof(AddGraphRule, graphName)),
      Unsigned("entryWord2", offsetof(AddGraphRule, entryWord2)),
      GraphName("anchorName", offsetof(AddGraphRule, anchorName))},
     kNoTail, {}},
    // ConvertSave CHANGESE = 0, 100, 12, 13
    {kKeywordChangeSe, kRuleChangeSe, 4,
     {kRangeLow, kRangeHigh, Unsigned("oldSe", offsetof(ChangeSeRule, oldSe)),
      Unsigned("newSe", offsetof(ChangeSeRule, newSe))},
     kNoTail, {}},
    // ConvertSave ADDSE = 0, 100, 12, 1, 0, 1, 2, 30
    {kKeywordAddSe, kRuleAddSe, 8,
     {kRangeLow, kRangeHigh, Unsigned("slotWord1", offsetof(AddSeRule, slotWord1)),
      Unsigned("slotWord2", offsetof(AddSeRule, slotWord2)),
      Unsigned("slotWord5Flag", offsetof(AddSeRule, slotWord5Flag)),
      Unsigned("slotWord4Flag", offsetof(AddSeRule, slotWord4Flag)), Unsigned("mode", offsetof(AddSeRule, mode)),
      Unsigned("modeValue", offsetof(AddSeRule, modeValue))},
     kNoTail, {}},
};

// BINARY data: the field's characters two at a time as hexadecimal bytes; a
// last single character is ignored.
int ReadHexData(const RuleStatement& statement, const char* field, FilePatch* patch,
                StatementReading* reading) {
    NoteField(reading, statement.tailFields[0], field);
    char hex[kTokenSize] = {};
    if (!ReadField(hex, sizeof hex, field) || std::strlen(hex) > 2 * kPatchDataSize)
        return NoteFault(reading, kFaultTooLong, true);
    for (size_t i = 0; hex[i] != '\0' && hex[i + 1] != '\0'; i += 2) {
        if (!HexPairToByte(hex[i], hex[i + 1], &patch->data[patch->length]))
            return NoteFault(reading, kFaultNoHexByte, true);
        ++patch->length;
    }
    return 1;
}

// ASCII data: the field itself, at most 255 bytes.
int ReadTextData(const RuleStatement& statement, const char* field, FilePatch* patch,
                 StatementReading* reading) {
    NoteField(reading, statement.tailFields[0], field);
    char* data = reinterpret_cast<char*>(patch->data);
    if (!ReadField(data, sizeof patch->data, field)) return NoteFault(reading, kFaultTooLong, true);
    patch->length = static_cast<int32_t>(std::strlen(data));
    return 1;
}

// Reads a FILENAME item's name, which starts at name, into the next of names
// (count in use). Returns 1, or 0 when the list is full or the name too long.
int ReadFilenameItem(const StatementField& field, const char* name, char (&names)[kFilenameItemCapacity][kRuleNameSize],
                     int32_t* count, StatementReading* reading) {
    NoteField(reading, field, name);
    if (*count >= kFilenameItemCapacity) return NoteFault(reading, kFaultTooManyItems, true);
    if (!ReadField(names[*count], kRuleNameSize, name)) return NoteFault(reading, kFaultTooLong, true);
    ++*count;
    return 1;
}

// FILENAME items after the new graph name (starting at lastField): each
// comma-separated item starting with A or C adds the name after its letter;
// other items are skipped. The list ends with its line.
int ReadFilenameItems(const RuleStatement& statement, const char* lastField, FilenameRule* rule,
                      StatementReading* reading) {
    const char* previous = lastField;
    for (;;) {
        const char* separator = FindSeparator(previous, ',');
        if (*separator != ',') return 1;
        const char* item = SkipBlanks(separator + 1);
        const char letter = LowerAscii(*item);
        if (letter == 'a' &&
            !ReadFilenameItem(statement.tailFields[0], item + 1, rule->aNames, &rule->aCount, reading))
            return 0;
        if (letter == 'c' &&
            !ReadFilenameItem(statement.tailFields[1], item + 1, rule->cNames, &rule->cCount, reading))
            return 0;
        previous = item;
    }
}

// GRAPHSTATUS values after the property (starting at lastField): values 1 and
// 2 are required, 3 and 4 optional; a value 3 that does not parse leaves 3
// and 4 zero. A property outside 1-6 reads no values.
int ReadGraphValues(const RuleStatement& statement, const char* lastField, GraphStatusRule* rule,
                    StatementReading* reading) {
    const bool reals = GraphPropertyTakesReals(rule->property);
    if (!reals && !GraphPropertyTakesIntegers(rule->property)) return 1;
    const char* field = lastField;
    for (int i = 0; i < 4; ++i) {
        field = FollowingField(field);
        NoteField(reading, statement.tailFields[reals ? 0 : 1], field);
        int parsed;
        if (reals) {
            float value = 0.0f;
            parsed = ParseRealField(field, &value);
            if (parsed) rule->values[i] = GraphValueFromReal(value);
        } else {
            parsed = ParseIntField(field, &rule->values[i]);
        }
        if (parsed) continue;
        if (i < 2) return NoteFault(reading, kFaultNoNumber, true);
        // An optional value that is not there was not read.
        if (reading != nullptr) --reading->count;
        return 1;
    }
    return 1;
}

int StorePatch(const RuleStatement& statement, const char* field, StatementReading* reading) {
    FilePatch patch{};
    const char* lastField = nullptr;
    if (!ReadFields(statement.fields, statement.fieldCount, field, &patch, reading, &lastField)) return 0;
    const char* dataField = FollowingField(lastField);
    const int read = statement.tail == kHexDataTail ? ReadHexData(statement, dataField, &patch, reading)
                                                    : ReadTextData(statement, dataField, &patch, reading);
    if (!read) return 0;
    if (!AddFilePatch(patch)) return NoteFault(reading, kFaultTableFull, false);
    return 1;
}

int StoreRule(const RuleStatement& statement, const char* field, StatementReading* reading) {
    ConvertRulePayload payload{};
    unsigned char* record = reinterpret_cast<unsigned char*>(&payload);
    const char* lastField = nullptr;
    if (!ReadFields(statement.fields, statement.fieldCount, field, record, reading, &lastField)) return 0;
    if (statement.tail == kFilenameItemsTail) {
        FilenameRule rule;
        std::memcpy(&rule, record, sizeof rule);
        if (!ReadFilenameItems(statement, lastField, &rule, reading)) return 0;
        std::memcpy(record, &rule, sizeof rule);
    } else if (statement.tail == kGraphValuesTail) {
        GraphStatusRule rule;
        std::memcpy(&rule, record, sizeof rule);
        if (!ReadGraphValues(statement, lastField, &rule, reading)) return 0;
        std::memcpy(record, &rule, sizeof rule);
    }
    if (!AddRule(statement.kind, payload)) return NoteFault(reading, kFaultTableFull, false);
    return 1;
}

}  // namespace

const RuleStatement* RuleStatementOf(int keyword) {
    for (const RuleStatement& statement : kRuleStatements) {
        if (statement.keyword == keyword) return &statement;
    }
    return nullptr;
}

const RuleStatement* RuleStatementOfKind(uint32_t kind) {
    if (kind == 0) return nullptr;
    for (const RuleStatement& statement : kRuleStatements) {
        if (statement.kind == kind) return &statement;
    }
    return nullptr;
}

int ReadRuleStatement(const char* position, StatementReading* reading) {
    const char* start = SkipBlanks(position);
    if (start == nullptr) return 0;
    // The keyword is only looked up, so a longer word may be cut here.
    char token[kTokenSize] = {};
    ReadField(token, sizeof token, start);
    const RuleStatement* statement = RuleStatementOf(KeywordId(token));
    if (statement == nullptr) return 1;
    const char* equals = FindEquals(start);
    if (equals == nullptr) return NoteFault(reading, kFaultNoEquals, false);
    const char* field = SkipBlanks(equals + 1);
    return statement->kind == 0 ? StorePatch(*statement, field, reading) : StoreRule(*statement, field, reading);
}

int HexPairToByte(char first, char second, unsigned char* byte) {
    const int high = HexDigitValue(first);
    const int low = HexDigitValue(second);
    if (high < 0 || low < 0) return 0;
    *byte = static_cast<unsigned char>(high * 16 + low);
    return 1;
}
