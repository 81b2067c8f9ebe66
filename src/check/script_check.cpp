// The script check: load, the plan as JSON, the package and the copy
// sources; warnings and errors, each naming its line of Update.ini.
#include "check/script_check.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/ascii.h"
#include "common/sjis_text.h"
#include "install/file_operations.h"
#include "package/member_reader.h"
#include "package/package_directory.h"
#include "package/package_format.h"
#include "platform/platform.h"
#include "check/plan_json.h"
#include "script/script_lexer.h"
#include "script/script_loader.h"
#include "script/update_plan.h"

namespace {

// What the load told the check, statement by statement.
struct CheckNotes {
    std::string warnings;             // one line each
    std::string failure;              // why the statement that failed did, and the statement
    uint32_t failureLine = 0;         // its line
    std::vector<uint32_t> copyLines;  // line of each stored CopyFile, in table order
};

std::string LinePrefix(uint32_t line) {
    return std::string(kScriptFileName) + "(" + std::to_string(line) + "): ";
}

void Warn(CheckNotes& notes, uint32_t line, const std::string& warning) {
    notes.warnings += LinePrefix(line) + "warning: " + warning + "\n";
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// The text from position to the end of its token.
std::string TokenAt(const char* position) {
    const char* end = TokenEnd(position);
    // "- 7": the sign and the digits after it.
    if (end == position + 1 && *position == '-') end = TokenEnd(SkipBlanks(end));
    return std::string(position, end);
}

// Encoding ---------------------------------------------------------------------

// Length of the UTF-8 sequence at text[i] (of length bytes) that encodes one
// character of two bytes or more, or 0 when there is none.
size_t Utf8SequenceAt(const unsigned char* text, size_t length, size_t i) {
    const unsigned char first = text[i];
    size_t width = 0;
    uint32_t lowest = 0;
    if (first >= 0xC2 && first <= 0xDF) {
        width = 2;
        lowest = 0x80;
    } else if (first >= 0xE0 && first <= 0xEF) {
        width = 3;
        lowest = 0x800;
    } else if (first >= 0xF0 && first <= 0xF4) {
        width = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (i + width > length) return 0;
    uint32_t code = first & (0x7F >> width);
    for (size_t k = 1; k < width; ++k) {
        if ((text[i + k] & 0xC0) != 0x80) return 0;
        code = code << 6 | (text[i + k] & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code >= lowest && code <= 0x10FFFF && !surrogate ? width : 0;
}

// Index of the first byte above 0x7F when the whole text is valid UTF-8
// that holds such bytes; length otherwise. Shift_JIS Japanese text is almost
// never valid UTF-8: its first lead byte or the byte after it breaks the
// rules.
size_t FindUtf8Text(const char* text, size_t length) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t first = length;
    for (size_t i = 0; i < length;) {
        if (bytes[i] < 0x80) {
            ++i;
            continue;
        }
        const size_t width = Utf8SequenceAt(bytes, length, i);
        if (width == 0) return length;
        first = std::min(first, i);
        i += width;
    }
    return first;
}

// A warning when the script is no valid Shift_JIS text: the updater would
// read its Japanese texts as other characters.
void NoteText(void* context, const char* text, uint32_t length) {
    CheckNotes& notes = *static_cast<CheckNotes*>(context);
    const size_t utf8 = FindUtf8Text(text, length);
    if (utf8 < length) {
        Warn(notes, 1 + CountLineBreaks(text, text + utf8),
             "the script is UTF-8 text; it must be saved as Shift_JIS (code page 932), or the updater reads "
             "its Japanese texts as other characters");
        return;
    }
    const size_t bad = FindBadSjisByte(text, length);
    if (bad < length) {
        char byte[8];
        std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(text[bad]));
        Warn(notes, 1 + CountLineBreaks(text, text + bad),
             std::string("the script is no valid Shift_JIS text: byte ") + byte +
                 " starts no character here; it must be saved as Shift_JIS (code page 932)");
    }
}

// Ignored lines ------------------------------------------------------------------

std::string Lowered(const char* text) {
    std::string lowered = text;
    FoldAsciiCase(lowered.data(), lowered.size());
    return lowered;
}

// Edits (insert, delete, replace, swap of neighbours) between a and b.
size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

// The keyword among ids first..last that word was likely meant to be: one it
// starts with but for letter case, or one a typing slip or two away. nullptr
// for none. caseOnly tells which of the two it is.
const char* LikelyKeyword(const char* word, int first, int last, bool* caseOnly) {
    const std::string lowered = Lowered(word);
    for (int id = first; id <= last; ++id) {
        const std::string keyword = Lowered(KeywordText(id));
        if (lowered.compare(0, keyword.size(), keyword) == 0) {
            *caseOnly = true;
            return KeywordText(id);
        }
    }
    for (int id = first; id <= last; ++id) {
        const std::string keyword = Lowered(KeywordText(id));
        const size_t allowed = keyword.size() <= 5 ? 1 : 2;
        if (EditDistance(lowered, keyword) <= allowed) {
            *caseOnly = false;
            return KeywordText(id);
        }
    }
    return nullptr;
}

bool StartsWithAsciiLetter(const char* word) {
    const char c = LowerAscii(word[0]);
    return c >= 'a' && c <= 'z';
}

// A warning for a line ignored although its first word looks like a
// directive, or "" when the line is likely a comment.
std::string IgnoredLineWarning(const ScriptStatementNote& note) {
    if (note.keyword >= kFirstRuleKeyword) {
        return std::string("line ignored: the rule keyword ") + KeywordText(note.keyword) +
               " must follow ConvertFile or ConvertSave";
    }
    if (note.line == 1 && std::strncmp(note.word, "\xEF\xBB\xBF", 3) == 0) {
        return "line ignored: the script starts with a UTF-8 byte order mark; it must be Shift_JIS text";
    }
    if (!StartsWithAsciiLetter(note.word)) return "";
    bool caseOnly = false;
    // Label is left out: a line that misspells it is ignored all the same.
    const char* keyword = LikelyKeyword(note.word, kKeywordAppTitle, kLastDirectiveKeyword, &caseOnly);
    if (keyword == nullptr) return "";
    return "line ignored: " + Quoted(note.word) + " is no directive" +
           (caseOnly ? std::string("; directives are case-sensitive: ") : std::string("; did you mean ")) +
           keyword + (caseOnly ? "" : "?");
}

// The word after a ConvertFile or ConvertSave keyword.
std::string RuleWordOf(const ScriptStatementNote& note) {
    char ruleWord[1024] = {};
    ReadField(ruleWord, sizeof ruleWord, SkipBlanks(TokenEnd(note.statement)));
    return ruleWord;
}

// A warning for a ConvertFile or ConvertSave statement whose word is no rule
// keyword, so that it stores nothing.
std::string IgnoredRuleWarning(const ScriptStatementNote& note) {
    const std::string ruleWord = RuleWordOf(note);
    std::string warning = std::string(KeywordText(note.keyword)) + " statement ignored: " + Quoted(ruleWord) +
                          " is no rule keyword";
    bool caseOnly = false;
    const char* keyword = LikelyKeyword(ruleWord.c_str(), kFirstRuleKeyword, kLastRuleKeyword, &caseOnly);
    if (keyword != nullptr) {
        warning += (caseOnly ? std::string("; rule keywords are case-sensitive: ") : std::string("; did you mean ")) +
                   keyword + (caseOnly ? "" : "?");
    }
    return warning;
}

// Fields ---------------------------------------------------------------------------

// The statement as messages name it: its directive, or the prefix and the
// rule keyword.
std::string StatementName(const ScriptStatementNote& note) {
    std::string name = KeywordText(note.keyword);
    if (note.keyword == kKeywordConvertFile || note.keyword == kKeywordConvertSave) {
        name += ' ';
        name += RuleWordOf(note);
    }
    return name;
}

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

// Warnings for the fields of a statement: a number that does not read as
// written, a field taken from a later line because its own line ended first.
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

// Why the statement of note is malformed.
std::string FaultReason(const ScriptStatementNote& note) {
    const StatementReading& reading = *note.reading;
    const std::string statement = StatementName(note);
    const FieldReading* field = reading.faultField >= 0 ? &reading.fields[reading.faultField] : nullptr;
    const std::string fieldName = field != nullptr ? field->field->name : "";
    switch (reading.fault) {
    case kFaultNoEquals:
        return statement + " needs '=' before its fields";
    case kFaultNoNumber:
        if (*field->start == '\0') return statement + ": " + fieldName + " is missing: the script ends before it";
        return statement + ": " + fieldName + " must be a number or a named constant, not " +
               Quoted(TokenAt(field->start));
    case kFaultTooLong:
        return statement + ": " + fieldName + " is longer than " + std::to_string(field->field->capacity - 1) +
               " bytes";
    case kFaultNoHexByte: {
        char hex[1024] = {};
        ReadField(hex, sizeof hex, field->start);
        return statement + ": " + fieldName + " " + Quoted(hex) +
               " must be hexadecimal digits (0-9, A-F), two for each byte";
    }
    case kFaultTooManyItems:
        return statement + ": " + fieldName + " holds at most 10 names";
    case kFaultTableFull:
        return statement + ": its table already holds 256 records";
    case kFaultNone:
        break;
    }
    return kScriptMalformedMessage;
}

void NoteStatement(void* context, const ScriptStatementNote& note) {
    CheckNotes& notes = *static_cast<CheckNotes*>(context);
    CheckFields(notes, note);
    switch (note.outcome) {
    case kStatementDone:
        if (note.keyword == kKeywordCopyFile) notes.copyLines.push_back(note.line);
        return;
    case kStatementDropped:
        Warn(notes, note.line,
             std::string(KeywordText(note.keyword)) + " dropped: its table already holds " +
                 std::to_string(kPlanTableCapacity) + " records");
        return;
    case kStatementIgnored: {
        const std::string warning = note.keyword == kKeywordConvertFile || note.keyword == kKeywordConvertSave
                                        ? IgnoredRuleWarning(note)
                                        : IgnoredLineWarning(note);
        if (!warning.empty()) Warn(notes, note.line, warning);
        return;
    }
    case kStatementFailed:
        notes.failureLine = note.line;
        notes.failure = FaultReason(note) + "\n    " + std::string(note.statement, LineEnd(note.statement)) + "\n";
        return;
    case kStatementZeroByte:
        notes.failureLine = note.line;
        notes.failure = "a zero byte inside the text\n";
        return;
    }
}

// The package and the sources ------------------------------------------------------

// An error when UpdateData.dat is there but damaged: a directory entry that
// lies outside the file, named. Returns 1 when there is no package or it is
// whole.
int CheckPackage(std::string* errors) {
    PlatformFile* file = OsOpenForReading(kPackageFileName);
    if (file == nullptr) return 1;
    OsCloseFile(file);
    PackageDirectory directory;
    char message[kPackageMessageSize];
    if (ReadPackageDirectory(kPackageFileName, &directory, message, sizeof message)) {
        ReleasePackageDirectory(&directory);
        return 1;
    }
    // The message begins with the package's name.
    std::string error = message;
    const std::string prefix = std::string(kPackageFileName) + ": ";
    if (error.compare(0, prefix.size(), prefix) == 0) error.erase(0, prefix.size());
    *errors += prefix + "error: " + error + "\n";
    return 0;
}

// An error when source, which editions copy, cannot be copied. Returns 1 when
// it can.
int CheckSource(const char* source, const char* editions, const std::string& prefix, std::string* errors) {
    PackageMember* member = nullptr;
    const int state = OpenCopySource(source, &member);
    if (member != nullptr) CloseMember(member);
    const std::string what = prefix + "error: CopyFile source " + Quoted(source) + " (" + editions + ") ";
    switch (state) {
    case kSourceReady:
        return 1;
    case kSourceNotFound:
        *errors += what + "is found neither loose nor in " + kPackageFileName + "\n";
        return 0;
    default:
        *errors += what + "runs past the end of " + kPackageFileName + ": the package is cut short or damaged\n";
        return 0;
    }
}

// Errors for the copy entries that would make the copy step fail: a source
// of either edition that is not there whole, a destination that is empty.
// An empty source copies nothing for its edition. Returns 1 when none fails.
int CheckCopySources(const CheckNotes& notes, std::string* errors) {
    int sound = 1;
    for (uint32_t i = 0; i < g_copyTable.count; ++i) {
        const CopyEntry& entry = g_copyTable.records[i];
        const std::string prefix = i < notes.copyLines.size() ? LinePrefix(notes.copyLines[i]) : "";
        const char* standard = entry.standardSource;
        const char* addContents = entry.addContentsSource;
        if (standard[0] == '\0' && addContents[0] == '\0') continue;
        if (entry.destination[0] == '\0') {
            *errors += prefix + "error: CopyFile needs three fields: the destination is empty\n";
            sound = 0;
        }
        if (std::strcmp(standard, addContents) == 0) {
            sound &= CheckSource(standard, "both editions", prefix, errors);
            continue;
        }
        if (standard[0] != '\0') sound &= CheckSource(standard, "standard edition", prefix, errors);
        if (addContents[0] != '\0') sound &= CheckSource(addContents, "add-contents edition", prefix, errors);
    }
    return sound;
}

}  // namespace

void CheckScript(ScriptCheckReport* report) {
    CheckNotes notes;
    const ScriptLoadObserver observer{NoteText, NoteStatement, &notes};
    char scriptPath[sizeof kScriptFileName + 2];
    // The current folder is the program folder: ".\Update.ini" is the path
    // the updater builds, relative to it.
    JoinPath(scriptPath, sizeof scriptPath, ".", kScriptFileName);
    const int result = LoadUpdateScriptFrom(scriptPath, &observer);
    report->status = kCheckFailed;
    report->output.clear();
    report->errors = notes.warnings;
    std::string errors;
    const int packageSound = CheckPackage(&errors);
    if (result != kScriptLoaded) {
        const std::string where =
            notes.failureLine != 0 ? LinePrefix(notes.failureLine) : std::string(kScriptFileName) + ": ";
        const std::string why = !notes.failure.empty() ? notes.failure : std::string(ScriptLoadMessage(result)) + "\n";
        report->errors += where + "error " + std::to_string(result) + ": " + why + errors;
        return;
    }
    const int sourcesSound = CheckCopySources(notes, &errors);
    report->errors += errors;
    if (!PlanAsJson(&report->output)) {
        report->errors += std::string(kScriptFileName) + ": error: not enough memory for the plan\n";
        return;
    }
    if (packageSound && sourcesSound) report->status = kCheckPassed;
}

int RunScriptCheck() {
    ScriptCheckReport report;
    CheckScript(&report);
    if (!report.errors.empty()) OsWriteError(report.errors.c_str());
    if (!report.output.empty()) OsWriteUtf8Output(report.output.c_str());
    return report.status;
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
