#include "script/script_faults.h"

#include "script/script_lexer.h"
#include "script/statement_fields.h"

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string TokenAt(const char* position) {
    const char* end = TokenEnd(position);
    // "- 7": the sign and the digits after it.
    if (end == position + 1 && *position == '-') end = TokenEnd(SkipBlanks(end));
    return std::string(position, end);
}

std::string RuleWordOf(const ScriptStatementNote& note) {
    char ruleWord[1024] = {};
    ReadField(ruleWord, sizeof ruleWord, SkipBlanks(TokenEnd(note.statement)));
    return ruleWord;
}

std::string StatementName(const ScriptStatementNote& note) {
    std::string name = KeywordText(note.keyword);
    if (note.keyword == kKeywordConvertFile || note.keyword == kKeywordConvertSave) {
        name += ' ';
        name += RuleWordOf(note);
    }
    return name;
}

namespace {

// The text of the field at position, as the lexer reads it.
std::string FieldText(const char* position) {
    char text[1024] = {};
    ReadField(text, sizeof text, position);
    return text;
}

}  // namespace

std::string FaultReason(const ScriptStatementNote& note) {
    const StatementReading& reading = *note.reading;
    const std::string statement = StatementName(note);
    const FieldReading* field = reading.faultField >= 0 ? &reading.fields[reading.faultField] : nullptr;
    const std::string fieldName = field != nullptr ? field->field->name : "";
    switch (reading.fault) {
    case kFaultNoEquals:
        return statement + " needs '=' before its fields";
    case kFaultNoNumber: {
        // A version directive's second number is the one left out.
        const bool version = note.keyword == kKeywordNewVersion || note.keyword == kKeywordSupportVersion ||
                             note.keyword == kKeywordSaveVersion;
        const std::string missing = statement + ": " +
                                    (version && reading.faultField == 1 ? "the second number, " + fieldName + ","
                                                                        : fieldName) +
                                    " is missing: ";
        if (*field->start == '\0') return missing + "the script ends before it";
        const uint32_t breaks = CountLineBreaks(note.statement, field->start);
        if (breaks != 0) {
            return missing + "its line ends before it, and " + Quoted(TokenAt(field->start)) + " on line " +
                   std::to_string(note.line + breaks) + " is no number";
        }
        return statement + ": " + fieldName + " must be a number or a named constant, not " +
               Quoted(TokenAt(field->start));
    }
    case kFaultTooLong:
        return statement + ": " + fieldName + " is longer than " + std::to_string(field->field->capacity - 1) +
               " bytes";
    case kFaultNoHexByte:
        return statement + ": " + fieldName + " " + Quoted(FieldText(field->start)) +
               " must be hexadecimal digits (0-9, A-F), two for each byte";
    case kFaultTooManyItems:
        return statement + ": " + fieldName + " holds at most 10 names";
    case kFaultTableFull:
        return statement + ": its table already holds 256 records";
    case kFaultLeavesFolder:
        return statement + ": " + fieldName + " " + Quoted(FieldText(field->start)) +
               " would leave its folder: a name may not be absolute, name a drive or hold \"..\"";
    case kFaultNone:
        break;
    }
    return kScriptMalformedMessage;
}

namespace {

void NoteFailedStatement(void* context, const ScriptStatementNote& note) {
    auto* reason = static_cast<std::string*>(context);
    if (note.outcome == kStatementFailed) {
        *reason = std::string(kScriptFileName) + "(" + std::to_string(note.line) + "): " + FaultReason(note);
    } else if (note.outcome == kStatementZeroByte) {
        *reason = std::string(kScriptFileName) + "(" + std::to_string(note.line) + "): a zero byte inside the text";
    }
}

}  // namespace

int LoadUpdateScriptExplained(const char* scriptPath, std::string* reason) {
    const ScriptLoadObserver observer{nullptr, NoteFailedStatement, reason};
    return LoadUpdateScriptFrom(scriptPath, &observer);
}
