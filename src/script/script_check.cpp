// The script check: load, then the plan as JSON, or the failure; warnings.
#include "script/script_check.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/sjis_text.h"
#include "convert/rule_tables.h"
#include "package/member_reader.h"
#include "package/package_format.h"
#include "platform/platform.h"
#include "script/script_lexer.h"
#include "script/script_loader.h"
#include "script/update_plan.h"

namespace {

// JSON text --------------------------------------------------------------------

// Appends text as a JSON string. Shift_JIS characters are kept as they are
// (a second byte 0x5C is no backslash); control bytes are escaped; a byte
// that starts no character is written as \ufffd, so that the output stays
// valid JSON once converted to UTF-8.
void AppendJsonString(std::string& out, const char* text, size_t length) {
    out += '"';
    for (size_t i = 0; i < length; ++i) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        if (SjisCharacterWidthIn(text, length, i) == 2) {
            out += static_cast<char>(byte);
            out += text[i + 1];
            ++i;
        } else if (IsSjisLeadByte(byte)) {
            out += "\\ufffd";
        } else if (byte == '"' || byte == '\\') {
            out += '\\';
            out += static_cast<char>(byte);
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else if (byte == 0x80 || byte == 0xA0 || byte >= 0xFD) {
            out += "\\ufffd";
        } else {
            out += static_cast<char>(byte);
        }
    }
    out += '"';
}

// A text of a fixed field, which ends at its first zero or at its width.
void AppendJsonField(std::string& out, const char* field, size_t width) {
    const void* zero = std::memchr(field, 0, width);
    const size_t length = zero != nullptr ? static_cast<size_t>(static_cast<const char*>(zero) - field) : width;
    AppendJsonString(out, field, length);
}

void AppendJsonReal(std::string& out, float value) {
    if (!std::isfinite(value)) {
        // JSON has no number for these; a string keeps the value visible.
        out += std::isnan(value) ? "\"nan\"" : (value > 0 ? "\"inf\"" : "\"-inf\"");
        return;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    out += text;
}

// One JSON object on one line, built member by member.
struct JsonObject {
    std::string text;
};

void AppendKey(JsonObject& object, const char* name) {
    object.text += object.text.empty() ? "{" : ", ";
    AppendJsonString(object.text, name, std::strlen(name));
    object.text += ": ";
}

void AddUnsigned(JsonObject& object, const char* name, uint32_t value) {
    AppendKey(object, name);
    object.text += std::to_string(value);
}

void AddSigned(JsonObject& object, const char* name, int32_t value) {
    AppendKey(object, name);
    object.text += std::to_string(value);
}

template <size_t Width>
void AddText(JsonObject& object, const char* name, const char (&field)[Width]) {
    AppendKey(object, name);
    AppendJsonField(object.text, field, Width);
}

void AddRaw(JsonObject& object, const char* name, const std::string& json) {
    AppendKey(object, name);
    object.text += json;
}

std::string Finish(const JsonObject& object) {
    return object.text.empty() ? "{}" : object.text + "}";
}

// Appends "name": [ ... ] with one record per line.
void AppendArray(std::string& out, const char* name, const std::vector<std::string>& records, bool last) {
    out += "  ";
    AppendJsonString(out, name, std::strlen(name));
    if (records.empty()) {
        out += ": []";
    } else {
        out += ": [\n";
        for (size_t i = 0; i < records.size(); ++i) {
            out += "    " + records[i] + (i + 1 < records.size() ? ",\n" : "\n");
        }
        out += "  ]";
    }
    out += last ? "\n" : ",\n";
}

// The plan ---------------------------------------------------------------------

std::string VersionPairJson(const VersionPair& pair) {
    JsonObject object;
    AddUnsigned(object, "standard", pair.standard);
    AddUnsigned(object, "addContents", pair.addContents);
    return Finish(object);
}

std::string SettingsJson() {
    std::string out = "  \"settings\": {\n";
    const auto text = [&out](const char* name, const char (&field)[kSettingFieldSize]) {
        out += "    \"" + std::string(name) + "\": ";
        AppendJsonField(out, field, kSettingFieldSize);
        out += ",\n";
    };
    text("AppTitle", g_settings.appTitle);
    text("BrandMenuFolder", g_settings.brandMenuFolder);
    text("GameMenuFolder", g_settings.gameMenuFolder);
    text("Registory", g_settings.registrySubkey);
    out += "    \"NewVersion\": " + VersionPairJson(g_settings.newVersion) + ",\n";
    out += "    \"SupportVersion\": " + VersionPairJson(g_settings.supportVersion) + ",\n";
    out += "    \"SaveVersion\": " + VersionPairJson(g_settings.saveVersion) + "\n";
    out += "  },\n";
    return out;
}

std::vector<std::string> CopyTableJson() {
    std::vector<std::string> records;
    for (uint32_t i = 0; i < g_copyTable.count; ++i) {
        const CopyEntry& entry = g_copyTable.records[i];
        JsonObject object;
        AddText(object, "standardSource", entry.standardSource);
        AddText(object, "addContentsSource", entry.addContentsSource);
        AddText(object, "destination", entry.destination);
        records.push_back(Finish(object));
    }
    return records;
}

std::vector<std::string> DeleteTableJson() {
    std::vector<std::string> records;
    for (uint32_t i = 0; i < g_deleteTable.count; ++i) {
        JsonObject object;
        AddText(object, "fileName", g_deleteTable.records[i].fileName);
        records.push_back(Finish(object));
    }
    return records;
}

std::vector<std::string> RenameTableJson() {
    std::vector<std::string> records;
    for (uint32_t i = 0; i < g_renameTable.count; ++i) {
        const RenameEntry& entry = g_renameTable.records[i];
        JsonObject object;
        AddText(object, "oldName", entry.oldName);
        AddText(object, "newName", entry.newName);
        records.push_back(Finish(object));
    }
    return records;
}

std::vector<std::string> ShortcutTableJson() {
    std::vector<std::string> records;
    for (uint32_t i = 0; i < g_shortcutTable.count; ++i) {
        const ShortcutEntry& entry = g_shortcutTable.records[i];
        JsonObject object;
        AddText(object, "linkName", entry.linkName);
        AddText(object, "target", entry.target);
        AddText(object, "arguments", entry.arguments);
        AddText(object, "description", entry.description);
        AddText(object, "iconFile", entry.iconFile);
        AddText(object, "subfolder", entry.subfolder);
        records.push_back(Finish(object));
    }
    return records;
}

std::vector<std::string> FilePatchTableJson() {
    std::vector<std::string> records;
    for (uint32_t i = 0; i < g_filePatchTable.count; ++i) {
        const FilePatch& patch = g_filePatchTable.records[i];
        const int32_t length = std::clamp<int32_t>(patch.length, 0, static_cast<int32_t>(kPatchDataSize));
        std::string hex = "\"";
        for (int32_t b = 0; b < length; ++b) {
            char digits[3];
            std::snprintf(digits, sizeof digits, "%02x", patch.data[b]);
            hex += digits;
        }
        hex += '"';
        JsonObject object;
        AddText(object, "fileName", patch.fileName);
        AddSigned(object, "offset", patch.offset);
        AddSigned(object, "length", patch.length);
        AddRaw(object, "data", hex);
        records.push_back(Finish(object));
    }
    return records;
}

template <size_t Count, size_t Width>
std::string NameListJson(const char (&names)[Count][Width], int32_t used) {
    std::string out = "[";
    const int32_t count = std::clamp<int32_t>(used, 0, static_cast<int32_t>(Count));
    for (int32_t i = 0; i < count; ++i) {
        if (i > 0) out += ", ";
        AppendJsonField(out, names[i], Width);
    }
    return out + "]";
}

std::string GraphValuesJson(const GraphStatusRule& rule) {
    std::string out = "[";
    for (int i = 0; i < 4; ++i) {
        if (i > 0) out += ", ";
        if (GraphPropertyTakesReals(rule.property)) {
            AppendJsonReal(out, GraphValueAsReal(rule.values[i]));
        } else {
            out += std::to_string(static_cast<int32_t>(rule.values[i]));
        }
    }
    return out + "]";
}

// The payload fields of rule by name, after its kind and keyword.
void AddRuleFields(JsonObject& object, const ConvertRule& rule) {
    const ConvertRulePayload& payload = rule.payload;
    switch (rule.kind) {
    case kRuleFilename: {
        const FilenameRule& r = payload.filename;
        AddUnsigned(object, "low", r.low);
        AddUnsigned(object, "high", r.high);
        AddText(object, "oldGraphName", r.oldGraphName);
        AddText(object, "newGraphName", r.newGraphName);
        AddSigned(object, "aCount", r.aCount);
        AddSigned(object, "cCount", r.cCount);
        AddRaw(object, "aNames", NameListJson(r.aNames, r.aCount));
        AddRaw(object, "cNames", NameListJson(r.cNames, r.cCount));
        break;
    }
    case kRuleMessage:
        AddUnsigned(object, "oldMessage", payload.message.oldMessage);
        AddUnsigned(object, "newMessage", payload.message.newMessage);
        break;
    case kRuleBgmNo:
    case kRuleLoopSeNo:
        AddUnsigned(object, "low", payload.rangeValue.low);
        AddUnsigned(object, "high", payload.rangeValue.high);
        AddUnsigned(object, rule.kind == kRuleBgmNo ? "bgmNumber" : "loopSeNumber", payload.rangeValue.value);
        break;
    case kRuleGraphStatus: {
        const GraphStatusRule& r = payload.graphStatus;
        AddUnsigned(object, "low", r.low);
        AddUnsigned(object, "high", r.high);
        AddText(object, "graphName", r.graphName);
        AddSigned(object, "property", r.property);
        AddRaw(object, "values", GraphValuesJson(r));
        break;
    }
    case kRuleChangeParam:
        AddUnsigned(object, "selector", payload.changeParam.selector);
        AddUnsigned(object, "index", payload.changeParam.index);
        AddUnsigned(object, "value", payload.changeParam.value);
        break;
    case kRuleAddGraph:
    case kRuleInsertGraph: {
        const AddGraphRule& r = payload.addGraph;
        AddUnsigned(object, "low", r.low);
        AddUnsigned(object, "high", r.high);
        AddUnsigned(object, "entryWord0", r.entryWord0);
        AddUnsigned(object, "entryWord1", r.entryWord1);
        AddText(object, "graphName", r.graphName);
        AddUnsigned(object, "entryWord2", r.entryWord2);
        if (rule.kind == kRuleInsertGraph) AddText(object, "anchorName", r.anchorName);
        break;
    }
    case kRuleChangeSe:
        AddUnsigned(object, "low", payload.changeSe.low);
        AddUnsigned(object, "high", payload.changeSe.high);
        AddUnsigned(object, "oldSe", payload.changeSe.oldSe);
        AddUnsigned(object, "newSe", payload.changeSe.newSe);
        break;
    case kRuleAddSe:
        AddUnsigned(object, "low", payload.addSe.low);
        AddUnsigned(object, "high", payload.addSe.high);
        AddUnsigned(object, "slotWord1", payload.addSe.slotWord1);
        AddUnsigned(object, "slotWord2", payload.addSe.slotWord2);
        AddUnsigned(object, "slotWord5Flag", payload.addSe.slotWord5Flag);
        AddUnsigned(object, "slotWord4Flag", payload.addSe.slotWord4Flag);
        AddUnsigned(object, "mode", payload.addSe.mode);
        AddUnsigned(object, "modeValue", payload.addSe.modeValue);
        break;
    default:
        break;
    }
}

// The rule keyword that stores kind.
const char* KeywordOfRuleKind(uint32_t kind) {
    static constexpr int kKeywordByKind[] = {
        kNoKeyword,          kKeywordFilename,   kKeywordMessage,     kKeywordBgmNo,
        kKeywordLoopSeNo,    kKeywordGraphStatus, kKeywordChangeParam, kKeywordAddGraph,
        kKeywordInsertGraph, kKeywordChangeSe,   kKeywordAddSe,
    };
    if (kind < kRuleFilename || kind > kRuleAddSe) return "";
    return KeywordText(kKeywordByKind[kind]);
}

std::vector<std::string> ConvertRuleTableJson() {
    std::vector<std::string> records;
    for (uint32_t i = 0; i < g_convertRuleTable.count; ++i) {
        const ConvertRule& rule = g_convertRuleTable.records[i];
        const char* keyword = KeywordOfRuleKind(rule.kind);
        JsonObject object;
        AddUnsigned(object, "kind", rule.kind);
        AppendKey(object, "keyword");
        AppendJsonString(object.text, keyword, std::strlen(keyword));
        AddRuleFields(object, rule);
        records.push_back(Finish(object));
    }
    return records;
}

// Warnings ---------------------------------------------------------------------

// What the load told the check, statement by statement.
struct CheckNotes {
    std::string warnings;              // one line each
    std::string failure;               // the statement that failed, when one did
    uint32_t failureLine = 0;          // its line
    std::vector<uint32_t> copyLines;   // line of each stored CopyFile, in table order
};

std::string LinePrefix(uint32_t line) {
    return std::string(kScriptFileName) + "(" + std::to_string(line) + "): ";
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

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

std::string Quoted(const char* text) {
    std::string quoted = "\"";
    quoted += text;
    quoted += '"';
    return quoted;
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

// A warning for a ConvertFile or ConvertSave statement whose word is no rule
// keyword, so that it stores nothing.
std::string IgnoredRuleWarning(const ScriptStatementNote& note) {
    char ruleWord[1024] = {};
    ReadField(ruleWord, sizeof ruleWord, SkipBlanks(TokenEnd(note.statement)));
    std::string warning = std::string(KeywordText(note.keyword)) + " statement ignored: " + Quoted(ruleWord) +
                          " is no rule keyword";
    bool caseOnly = false;
    const char* keyword = LikelyKeyword(ruleWord, kFirstRuleKeyword, kLastRuleKeyword, &caseOnly);
    if (keyword != nullptr) {
        warning += (caseOnly ? std::string("; rule keywords are case-sensitive: ") : std::string("; did you mean ")) +
                   keyword + (caseOnly ? "" : "?");
    }
    return warning;
}

void NoteStatement(void* context, const ScriptStatementNote& note) {
    CheckNotes& notes = *static_cast<CheckNotes*>(context);
    const std::string prefix = LinePrefix(note.line);
    std::string warning;
    switch (note.outcome) {
    case kStatementDone:
        if (note.keyword == kKeywordCopyFile) notes.copyLines.push_back(note.line);
        return;
    case kStatementDropped:
        warning = std::string(KeywordText(note.keyword)) + " dropped: its table already holds " +
                  std::to_string(kPlanTableCapacity) + " records";
        break;
    case kStatementIgnored:
        warning = note.keyword == kKeywordConvertFile || note.keyword == kKeywordConvertSave
                      ? IgnoredRuleWarning(note)
                      : IgnoredLineWarning(note);
        break;
    case kStatementFailed:
        notes.failureLine = note.line;
        notes.failure = "    " + std::string(note.statement, LineEnd(note.statement)) + "\n";
        return;
    case kStatementZeroByte:
        notes.failureLine = note.line;
        notes.failure = "    (a zero byte inside the text)\n";
        return;
    }
    if (!warning.empty()) notes.warnings += prefix + "warning: " + warning + "\n";
}

bool SourceIsPresent(const char* source) {
    PackageMember* member = OpenMember(source, kPackageFileName);
    if (member == nullptr) return false;
    CloseMember(member);
    return true;
}

// Warnings for CopyFile sources found neither loose nor in the package.
void WarnAboutMissingSources(CheckNotes& notes) {
    for (uint32_t i = 0; i < g_copyTable.count; ++i) {
        const CopyEntry& entry = g_copyTable.records[i];
        const std::string prefix = i < notes.copyLines.size() ? LinePrefix(notes.copyLines[i]) : "";
        const bool sameSource = std::strcmp(entry.standardSource, entry.addContentsSource) == 0;
        const auto warn = [&](const char* source, const char* editions) {
            notes.warnings += prefix + "warning: CopyFile source " + Quoted(source) + " (" + editions +
                              ") is found neither loose nor in " + kPackageFileName + "\n";
        };
        if (!SourceIsPresent(entry.standardSource)) {
            warn(entry.standardSource, sameSource ? "both editions" : "standard edition");
        }
        if (!sameSource && !SourceIsPresent(entry.addContentsSource)) {
            warn(entry.addContentsSource, "add-contents edition");
        }
    }
}

}  // namespace

std::string PlanAsJson() {
    std::string out = "{\n";
    out += SettingsJson();
    AppendArray(out, "copyFiles", CopyTableJson(), false);
    AppendArray(out, "deleteFiles", DeleteTableJson(), false);
    AppendArray(out, "renameFiles", RenameTableJson(), false);
    AppendArray(out, "shortcuts", ShortcutTableJson(), false);
    AppendArray(out, "filePatches", FilePatchTableJson(), false);
    AppendArray(out, "convertRules", ConvertRuleTableJson(), true);
    out += "}\n";
    return out;
}

void CheckScript(ScriptCheckReport* report) {
    CheckNotes notes;
    const ScriptLoadObserver observer{NoteStatement, &notes};
    char scriptPath[sizeof kScriptFileName + 2];
    // The current folder is the program folder: ".\Update.ini" is the path
    // the updater builds, relative to it.
    JoinPath(scriptPath, sizeof scriptPath, ".", kScriptFileName);
    const int result = LoadUpdateScriptFrom(scriptPath, &observer);
    report->output.clear();
    report->errors.clear();
    if (result != kScriptLoaded) {
        report->status = kCheckFailed;
        const std::string where = notes.failureLine != 0 ? LinePrefix(notes.failureLine)
                                      : std::string(kScriptFileName) + ": ";
        report->errors = notes.warnings + where + "error " + std::to_string(result) + ": " +
                         ScriptLoadMessage(result) + "\n" + notes.failure;
        return;
    }
    WarnAboutMissingSources(notes);
    report->status = kCheckLoaded;
    report->output = PlanAsJson();
    report->errors = notes.warnings;
}

int RunScriptCheck() {
    ScriptCheckReport report;
    CheckScript(&report);
    if (!report.errors.empty()) OsWriteError(report.errors.c_str());
    if (!report.output.empty()) OsWriteOutput(report.output.c_str());
    return report.status;
}
