#include "check/field_warnings.h"

#include <cmath>
#include <cstdint>
#include <string>

#include "script/script_faults.h"
#include "script/script_lexer.h"
#include "script/statement_fields.h"

namespace {

constexpr size_t kWordSize = 64;

// A warning when the number at field does not read as written.
void CheckNumberField(CheckNotes& notes, const ScriptStatementNote& note, const FieldReading& field, uint32_t line) {
    const FieldType type = field.field->type;
    const std::string where = StatementName(note) + ": " + field.field->name + " " + TokenAt(field.start);
    if (type == kRealField) {
        float value = 0.0f;
        if (ParseRealField(field.start, &value) && std::isinf(value))
            Warn(notes, line, where + " is too large for a 32-bit real: it reads as infinity");
        return;
    }
    if (IntFieldFits(field.start, type == kSignedField)) return;
    uint32_t value = 0;
    ParseIntField(field.start, &value);
    const std::string reads =
        type == kSignedField ? std::to_string(static_cast<int32_t>(value)) : std::to_string(value);
    Warn(notes, line, where + " is too large for its 32 bits: it reads as " + reads);
}

// A warning when a version is written as a decimal fraction (1.10 reads as
// 1).
void CheckVersionFields(CheckNotes& notes, const ScriptStatementNote& note) {
    const StatementReading& reading = *note.reading;
    for (int i = 0; i < reading.count; ++i) {
        const std::string token = TokenAt(reading.fields[i].start);
        const size_t point = token.find('.');
        if (point == std::string::npos) continue;
        Warn(notes, note.line,
             StatementName(note) + ": " + reading.fields[i].field->name + " " + token + " reads as " +
                 token.substr(0, point) + ": a version is written in thousandths, without a point (1100 for 1.10)");
    }
}

// A warning when BINARY data has an odd number of hexadecimal digits: the
// last one is dropped.
void CheckHexData(CheckNotes& notes, const ScriptStatementNote& note) {
    const StatementReading& reading = *note.reading;
    for (int i = 0; i < reading.count; ++i) {
        if (std::string(reading.fields[i].field->name) != "data") continue;
        const std::string data = TokenAt(reading.fields[i].start);
        if (data.size() % 2 == 0) continue;
        Warn(notes, note.line,
             StatementName(note) + ": data " + Quoted(data) + " has an odd number of hexadecimal digits: its last, " +
                 data.back() + ", is dropped");
    }
}

bool IsVersionDirective(int keyword) {
    return keyword == kKeywordNewVersion || keyword == kKeywordSupportVersion || keyword == kKeywordSaveVersion;
}

// An error when a quoted text holds a ',' or '=', which ends the field there
// all the same: the text is cut, and a ',' shifts the fields after it.
// Returns 1 when it found one.
int CheckQuotedField(CheckNotes& notes, const ScriptStatementNote& note, const FieldReading& field, uint32_t line) {
    bool quoted = false;
    const char* end = FieldEnd(field.start, &quoted);
    if (!quoted || (*end != ',' && *end != '=')) return 0;
    const char* closing = end;
    while (*closing != '"' && *closing != '\0' && *closing != '\n' && *closing != '\r') ++closing;
    if (*closing == '"') ++closing;
    char read[kWordSize] = {};
    ReadField(read, sizeof read, field.start);
    const std::string shift = *end == ',' ? ", and the fields after it shift" : "";
    notes.planErrors += LinePrefix(line) + "error: " + StatementName(note) + ": " + field.field->name + " " +
                        std::string(field.start, closing) + " ends at its '" + *end +
                        "', which ends a field even inside quotes: it reads as " + Quoted(read) + shift + "\n";
    return 1;
}

// A warning when a directive's line holds more fields than the directive
// reads: they are not read.
void CheckFieldsBeyondLast(CheckNotes& notes, const ScriptStatementNote& note) {
    const StatementReading& reading = *note.reading;
    if (!IsDirectiveKeyword(note.keyword) || reading.count == 0) return;
    const FieldReading& last = reading.fields[reading.count - 1];
    const char* end = FieldEnd(last.start, nullptr);
    if (*end != ',') return;
    const char* rest = SkipBlanks(end + 1);
    const char* restEnd = LineEnd(end);
    if (rest >= restEnd) return;
    Warn(notes, note.line + CountLineBreaks(note.statement, end),
         StatementName(note) + ": " + Quoted(std::string(rest, restEnd)) + " after its last field, " +
             last.field->name + ", is not read" +
             (IsVersionDirective(note.keyword) ? ": a version holds no comma (1100, not 1,100)" : ""));
}

}  // namespace

void CheckFields(CheckNotes& notes, const ScriptStatementNote& note) {
    const StatementReading& reading = *note.reading;
    int cut = 0;  // a quoted field cut short: what follows it is off
    for (int i = 0; i < reading.count; ++i) {
        const FieldReading& field = reading.fields[i];
        // At the very end of the text a missing field starts on a spare zero
        // byte and reads as empty.
        if (*field.start == '\0') continue;
        const uint32_t line = note.line + CountLineBreaks(note.statement, field.start);
        if (line != note.line) {
            // A directive goes on after the line of its last field; a rule
            // statement after its own line, so the later line runs too.
            const bool rule = note.keyword == kKeywordConvertFile || note.keyword == kKeywordConvertSave;
            char word[kWordSize] = {};
            ReadField(word, sizeof word, field.start);
            const std::string taken = StatementName(note) + ": " + field.field->name + " is taken from line " +
                                      std::to_string(line) + ", because this line ends before it; ";
            if (!rule && KeywordId(word) != kNoKeyword) {
                notes.planErrors += LinePrefix(note.line) + "error: " + taken + "the " + word +
                                    " statement there then never runs\n";
                continue;
            }
            Warn(notes, note.line,
                 taken + "that line " +
                     (rule ? "runs as a statement of its own as well" : "does not run as a statement of its own"));
        }
        if (field.field->type != kTextField && i != reading.faultField) CheckNumberField(notes, note, field, line);
        if (field.field->type == kTextField && !cut) cut = CheckQuotedField(notes, note, field, line);
    }
    if (reading.fault != kFaultNone) return;
    if (IsVersionDirective(note.keyword)) CheckVersionFields(notes, note);
    if (!cut) CheckFieldsBeyondLast(notes, note);
    if (note.keyword == kKeywordConvertFile && RuleWordOf(note) == "BINARY") CheckHexData(notes, note);
}
