// The rule statements that follow ConvertFile and ConvertSave in Update.ini.
//
// Either prefix takes any rule keyword: BINARY and ASCII fill the byte-patch
// table, the other ten fill the conversion-rule table (rule_tables.h). One
// table describes every statement's fields: the parser reads by it, and the
// plan's JSON and the check's messages name the fields by it.
#pragma once

#include <cstdint>

#include "script/statement_fields.h"

// What a statement reads after its leading fields.
enum RuleTail : int {
    kNoTail,
    kHexDataTail,         // BINARY: hex text into the patch data
    kTextDataTail,        // ASCII: text into the patch data
    kFilenameItemsTail,   // FILENAME: A and C items up to the line end
    kGraphValuesTail,     // GRAPHSTATUS: two to four values typed by the property
};

constexpr int kMaxLeadingFields = 8;

// One rule statement. Offsets are into the FilePatch for a byte patch, into
// the ConvertRule payload for a rule.
struct RuleStatement {
    int keyword;                               // KeywordId, 15 to 26
    uint32_t kind;                             // ConvertRuleKind; 0 for a byte patch
    int fieldCount;                            // leading fields
    StatementField fields[kMaxLeadingFields];  // in the order the script gives them
    RuleTail tail;
    StatementField tailFields[2];              // what the tail reads: data, A and C names, values
};

// The statement of a rule keyword, or nullptr for any other keyword id.
const RuleStatement* RuleStatementOf(int keyword);

// The statement that stores rules of kind (1 to 10), or nullptr.
const RuleStatement* RuleStatementOfKind(uint32_t kind);

// Parses the rule statement at position, the script text just after the
// ConvertFile or ConvertSave keyword (the text must end with the script's
// spare zero bytes). Returns 1 when the statement was stored, or ignored
// because its first word is no rule keyword; 0 when it is malformed (no '='
// on its line, a required number that does not parse, a BINARY pair that is
// no hexadecimal byte, a value too long for its field, more than ten A or ten
// C items) or its table already holds 256 records. A graph name that a save
// receives or is searched for must fit a save's graph name field: the new
// name of FILENAME and the anchor of INSERTGRAPH hold at most 31 bytes, the
// name that ADDGRAPH or INSERTGRAPH adds after its added mark at most 30.
// reading, when not nullptr, notes each field read and why the statement
// failed.
int ReadRuleStatement(const char* position, StatementReading* reading);

// Reads the pair first, second as two hexadecimal digits (0-9, A-F, a-f),
// the first being the high half. Returns 1 and stores the byte, or returns 0
// for any other character.
int HexPairToByte(char first, char second, unsigned char* byte);
