// The script check: load, the plan as JSON, the package and the copy
// sources; warnings and errors, each naming its line of Update.ini.
#include "check/script_check.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "check/check_notes.h"
#include "check/field_warnings.h"
#include "check/keyword_hints.h"
#include "check/plan_errors.h"
#include "check/plan_json.h"
#include "check/source_check.h"
#include "common/sjis_text.h"
#include "common/utf8_text.h"
#include "platform/platform_dialog.h"
#include "script/script_faults.h"
#include "script/script_lexer.h"
#include "script/script_loader.h"
#include "script/update_plan.h"

std::string LinePrefix(uint32_t line) {
    return std::string(kScriptFileName) + "(" + std::to_string(line) + "): ";
}

void Warn(CheckNotes& notes, uint32_t line, const std::string& warning) {
    notes.warnings += LinePrefix(line) + "warning: " + warning + "\n";
}

namespace {

// A warning when the script is no valid Shift_JIS text: the updater would
// read its Japanese texts as other characters.
void NoteText(void* context, const char* text, uint32_t length) {
    CheckNotes& notes = *static_cast<CheckNotes*>(context);
    const size_t utf8 = FindUtf8Text(text, length);
    if (utf8 < length) {
        notes.utf8Text = true;
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

void NoteStatement(void* context, const ScriptStatementNote& note) {
    CheckNotes& notes = *static_cast<CheckNotes*>(context);
    CheckFields(notes, note);
    switch (note.outcome) {
    case kStatementDone:
        if (note.keyword == kKeywordCopyFile) notes.copyLines.push_back(note.line);
        if (IsDirectiveKeyword(note.keyword)) notes.settingLines[note.keyword] = note.line;
        return;
    case kStatementDropped:
        Warn(notes, note.line,
             std::string(KeywordText(note.keyword)) + " dropped: its table already holds " +
                 std::to_string(kPlanTableCapacity) + " records");
        return;
    case kStatementIgnored: {
        if (note.keyword == kKeywordConvertFile || note.keyword == kKeywordConvertSave) {
            Warn(notes, note.line, IgnoredRuleWarning(note));
            return;
        }
        bool surelyMeant = false;
        const std::string reason = IgnoredLineReason(note, &surelyMeant);
        if (surelyMeant) {
            notes.planErrors += LinePrefix(note.line) + "error: " + reason + "\n";
        } else if (!reason.empty()) {
            Warn(notes, note.line, reason);
        }
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
    report->notes.clear();
    std::string errors;
    const int packageSound = CheckPackage(&notes.warnings, &errors);
    report->errors = notes.warnings;
    if (result != kScriptLoaded) {
        const std::string where =
            notes.failureLine != 0 ? LinePrefix(notes.failureLine) : std::string(kScriptFileName) + ": ";
        const std::string why = !notes.failure.empty()        ? notes.failure
                                : result == kScriptTooLarge ? std::string(kScriptTooLargeReason) + "\n"
                                                            : std::string(ScriptLoadMessage(result)) + "\n";
        report->errors += where + "error " + std::to_string(result) + ": " + why + errors;
        report->utf8Text = notes.utf8Text;
        return;
    }
    WarnAboutPlan(notes);
    const int settingsSound = CheckPlanSettings(notes, &errors);
    const int sourcesSound = CheckCopySources(notes, &errors);
    report->errors = notes.warnings + notes.planErrors + errors;
    report->notes = SavesSummary() + SourcesSummary(notes);
    report->utf8Text = notes.utf8Text;
    if (!PlanAsJson(&report->output)) {
        report->errors += std::string(kScriptFileName) + ": error: not enough memory for the plan\n";
        return;
    }
    if (packageSound && settingsSound && sourcesSound && notes.planErrors.empty()) report->status = kCheckPassed;
}

int RunScriptCheck(int strict) {
    ScriptCheckReport report;
    CheckScript(&report);
    if (strict && report.errors.find(": warning: ") != std::string::npos) {
        report.errors += std::string(kScriptFileName) + ": error: --strict: the warnings above fail the check\n";
        report.status = kCheckFailed;
    }
    // Texts of a UTF-8 script stand in the messages as they are.
    const std::string lines = report.errors + report.notes;
    if (!lines.empty()) report.utf8Text ? OsWriteUtf8Error(lines.c_str()) : OsWriteError(lines.c_str());
    if (!report.output.empty()) OsWriteUtf8Output(report.output.c_str());
    return report.status;
}

