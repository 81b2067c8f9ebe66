// Reading a statement's fields by the table that describes them.
#include "script/statement_fields.h"

#include <cstdint>
#include <cstring>

#include "common/sjis_text.h"
#include "script/script_lexer.h"

void NoteField(StatementReading* reading, const StatementField& field, const char* position) {
    if (reading == nullptr || reading->count >= kMaxFieldReadings) return;
    reading->fields[reading->count] = FieldReading{&field, SkipBlanks(position)};
    ++reading->count;
}

int NoteFault(StatementReading* reading, StatementFault fault, bool aboutField) {
    if (reading != nullptr) {
        reading->fault = fault;
        reading->faultField = aboutField && reading->count > 0 ? reading->count - 1 : -1;
    }
    return 0;
}

const char* FollowingField(const char* field) {
    return SkipBlanks(FindSeparator(field, ',') + 1);
}

int ReadFields(const StatementField* fields, int count, const char* first, void* record,
               StatementReading* reading, const char** lastField) {
    unsigned char* bytes = static_cast<unsigned char*>(record);
    const char* field = first;
    for (int i = 0; i < count; ++i) {
        const StatementField& place = fields[i];
        NoteField(reading, place, field);
        const char* separator = nullptr;
        if (place.type == kTextField) {
            int fits = 0;
            char* text = reinterpret_cast<char*>(bytes + place.offset);
            separator = NextField(text, place.capacity, field, &fits);
            if (!fits) return NoteFault(reading, kFaultTooLong, true);
            if (place.staysInside && !StaysInsideFolder(text)) return NoteFault(reading, kFaultLeavesFolder, true);
        } else {
            uint32_t word = 0;
            if (place.type == kRealField) {
                float real = 0.0f;
                if (!ParseRealField(field, &real)) return NoteFault(reading, kFaultNoNumber, true);
                std::memcpy(&word, &real, sizeof word);
            } else if (!ParseIntField(field, &word)) {
                return NoteFault(reading, kFaultNoNumber, true);
            }
            std::memcpy(bytes + place.offset, &word, sizeof word);
            separator = FindSeparator(field, ',');
        }
        if (i + 1 < count) field = SkipBlanks(separator + 1);
    }
    *lastField = field;
    return 1;
}
