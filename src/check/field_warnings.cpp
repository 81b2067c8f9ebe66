#include "check/field_warnings.h"

#include <cmath>
#include <cstdint>
#include <string>

#include "script/script_faults.h"
#include "script/script_lexer.h"
#include "script/statement_fields.h"

namespace {

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

}  // namespace

void CheckFields(CheckNotes& notes, const ScriptStatementNote& note) {
    const StatementReading& reading = *note.reading;
    for (int i = 0; i < reading.count; ++i) {
        const FieldReading& field = reading.fields[i];
        // At the very end of the text a missing field starts on a spare zero
        // byte and reads as empty.
        if (*field.start == '\0') continue;
        const uint32_t line = note.line + CountLineBreaks(note.statement, field.start);
        if (line != note.line) {
            Warn(notes, note.line,
                 StatementName(note) + ": " + field.field->name + " is taken from line " + std::to_string(line) +
                     ", because this line ends before it; that line does not run as a statement of its own");
        }
        if (field.field->type != kTextField && i != reading.faultField) CheckNumberField(notes, note, field, line);
    }
}

