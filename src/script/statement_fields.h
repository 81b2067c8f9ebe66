// The fields of a statement of Update.ini: how the tables of the directives
// and of the rule statements describe each field, how a statement's fields
// are read one after another, and what reading them found, for the check to
// report on.
#pragma once

#include <cstddef>

enum FieldType : int {
    kUnsignedField,  // a number (ParseIntField): 32 bits, shown unsigned
    kSignedField,    // a number (ParseIntField): 32 bits, shown signed
    kRealField,      // a real (ParseRealField): single precision
    kTextField,      // a text (ReadField)
};

// One field of a statement.
struct StatementField {
    const char* name;  // in the plan's JSON and in the check's messages
    FieldType type;
    size_t offset;     // of its value in the record it is read into
    size_t capacity;   // a text: bytes of its field with the terminator; a longer text fails
    bool staysInside = false;  // a text naming a file below a folder: it may not leave it
};

// Why a statement is malformed.
enum StatementFault : int {
    kFaultNone,
    kFaultNoEquals,      // no '=' on the statement's line
    kFaultNoNumber,      // a number field does not parse
    kFaultTooLong,       // a text does not fit its field
    kFaultNoHexByte,     // a BINARY data pair is no hexadecimal byte
    kFaultTooManyItems,  // FILENAME: an eleventh A or C item
    kFaultTableFull,     // its rule or byte-patch table already holds 256 records
    kFaultLeavesFolder,  // a name that would leave its folder (StaysInsideFolder)
};

struct FieldReading {
    const StatementField* field;
    const char* start;  // its first byte in the script text, blanks skipped
};

// Fields one statement can have: FILENAME's four and twenty items.
constexpr int kMaxFieldReadings = 32;

// What reading one statement found: each field read, in order, and why the
// statement failed, if it did.
struct StatementReading {
    int count;                               // fields noted
    FieldReading fields[kMaxFieldReadings];  // fields[0 .. count-1]
    StatementFault fault;                    // kFaultNone unless the statement failed
    int faultField;                          // index in fields of the field at fault; -1 for none
};

// An empty reading.
constexpr StatementReading kNoReading{0, {}, kFaultNone, -1};

// Notes that field begins at position, where the reader will find it once
// past blanks. reading may be nullptr.
void NoteField(StatementReading* reading, const StatementField& field, const char* position);

// Notes fault, about the field noted last or, when aboutField is false, the
// statement as a whole. reading may be nullptr. Returns 0, the result of a
// statement that fails.
int NoteFault(StatementReading* reading, StatementFault fault, bool aboutField);

// Start of the field after the one starting at field: one byte past the next
// ',' or, when the line holds none, past its line end, and then past blanks,
// so that a field list may go on on the next line.
const char* FollowingField(const char* field);

// Reads count fields, the first starting at first and each next one at
// FollowingField of the one before, into record at their offsets: numbers as
// 32-bit words, texts zero-terminated. Notes each field in reading (which may
// be nullptr). Returns 1 and the start of the last field in *lastField; 0 when
// a number does not parse or a text does not fit, with the fault noted.
int ReadFields(const StatementField* fields, int count, const char* first, void* record,
               StatementReading* reading, const char** lastField);
