// The directive loader: reads Update.ini and hands each statement to its
// directive handler, or to the rule parser for ConvertFile and ConvertSave.
#include "script/script_loader.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "convert/rule_statements.h"
#include "convert/rule_tables.h"
#include "package/member_reader.h"
#include "package/package_format.h"
#include "script/script_lexer.h"
#include "script/update_plan.h"

namespace {

// Zero bytes after the text: its terminator, and one for each field a field
// list may lack at the very end of the text (a rule statement has at most
// eight fields), so that no scan ever leaves the buffer.
constexpr uint32_t kScriptSpareBytes = 16;
constexpr int kLongestFieldList = 8;
static_assert(kScriptSpareBytes > kLongestFieldList);

// A larger script is taken as a memory failure: no script is that large, and
// a damaged package directory must not make the loader zero-fill gigabytes.
constexpr uint32_t kScriptSizeLimit = 64u << 20;

constexpr size_t kWordScratchSize = 1024;       // a statement's first word
constexpr size_t kCopyFieldScratchSize = 1024;  // each CopyFile field
constexpr int kShortcutFieldCount = 6;

// The loading pass over one script text.
struct ScriptScan {
    const ScriptLoadObserver* observer;  // may be nullptr
    const char* countedTo;               // line breaks before this are in countedLine
    uint32_t countedLine;                // line of countedTo, from 1
};

// Line of position, which lies at or after every position asked before.
uint32_t LineOf(ScriptScan& scan, const char* position) {
    for (const char* p = scan.countedTo; p < position; ++p) {
        // CR LF counts once, a lone CR or LF once each.
        if (*p == '\n' || (*p == '\r' && p[1] != '\n')) ++scan.countedLine;
    }
    scan.countedTo = position;
    return scan.countedLine;
}

void Tell(ScriptScan& scan, ScriptStatementOutcome outcome, int keyword, const char* statement,
          const char* word) {
    if (scan.observer == nullptr || scan.observer->noteStatement == nullptr) return;
    const ScriptStatementNote note{outcome, keyword, LineOf(scan, statement), statement, word};
    scan.observer->noteStatement(scan.observer->context, note);
}

ScriptStatementOutcome OutcomeOfAdd(int added) {
    switch (added) {
    case kPlanRecordAdded: return kStatementDone;
    case kPlanRecordDropped: return kStatementDropped;
    default: return kStatementFailed;
    }
}

// Reads count comma-separated fields, the first at field, into count slots of
// slotSize bytes each. Returns 1 and the start of the last field in
// *lastField, or 0 when a field does not fit its slot.
int ReadFieldList(const char* field, char* slots, size_t slotSize, int count, const char** lastField) {
    for (int i = 0; i < count - 1; ++i) {
        int fits = 0;
        const char* separator = NextField(slots + i * slotSize, slotSize, field, &fits);
        if (!fits) return 0;
        field = SkipBlanks(separator + 1);
    }
    *lastField = field;
    return ReadField(slots + (count - 1) * slotSize, slotSize, field);
}

// Directive handlers -------------------------------------------------------------
//
// Each takes the statement's '=' and sets *lastField to where
// its last field began; the next statement is sought from that field's line
// end, so a value taken from the next line keeps that line from running.

// AppTitle = My Game
ScriptStatementOutcome SetTextSetting(char (&setting)[kSettingFieldSize], const char* equals,
                                      const char** lastField) {
    const char* value = SkipBlanks(equals + 1);
    *lastField = value;
    std::memset(setting, 0, sizeof setting);
    return ReadField(setting, sizeof setting, value) ? kStatementDone : kStatementFailed;
}

// NewVersion = 1020, 1021
ScriptStatementOutcome SetVersionPair(VersionPair& pair, const char* equals, const char** lastField) {
    const char* first = SkipBlanks(equals + 1);
    const char* second = SkipBlanks(FindSeparator(first, ',') + 1);
    *lastField = second;
    uint32_t standard = 0;
    uint32_t addContents = 0;
    if (!ParseIntField(first, &standard) || !ParseIntField(second, &addContents)) return kStatementFailed;
    pair = VersionPair{standard, addContents};
    return kStatementDone;
}

// CopyFile = std\a.dat, add\a.dat, data\a.dat
ScriptStatementOutcome AddCopyFile(const char* equals, const char** lastField) {
    char fields[3][kCopyFieldScratchSize] = {};
    if (!ReadFieldList(SkipBlanks(equals + 1), fields[0], kCopyFieldScratchSize, 3, lastField))
        return kStatementFailed;
    return OutcomeOfAdd(AddCopyEntry(fields[0], fields[1], fields[2]));
}

// Shortcut = Game.lnk, Play the game, game.exe, -window, game.ico, bin
ScriptStatementOutcome AddShortcut(const char* equals, const char** lastField) {
    char fields[kShortcutFieldCount][kNameFieldSize] = {};
    if (!ReadFieldList(SkipBlanks(equals + 1), fields[0], kNameFieldSize, kShortcutFieldCount, lastField))
        return kStatementFailed;
    // The line gives link name, description, target, arguments, icon file,
    // subfolder; the record holds the description after the arguments.
    return OutcomeOfAdd(AddShortcutEntry(fields[0], fields[2], fields[3], fields[1], fields[4], fields[5]));
}

// DeleteFile = old.dat
ScriptStatementOutcome AddDeleteFile(const char* equals, const char** lastField) {
    char field[kNameFieldSize] = {};
    if (!ReadFieldList(SkipBlanks(equals + 1), field, sizeof field, 1, lastField)) return kStatementFailed;
    return OutcomeOfAdd(AddDeleteEntry(field));
}

// RenameFile = a.tmp, a.dat
ScriptStatementOutcome AddRenameFile(const char* equals, const char** lastField) {
    char fields[2][kNameFieldSize] = {};
    if (!ReadFieldList(SkipBlanks(equals + 1), fields[0], kNameFieldSize, 2, lastField))
        return kStatementFailed;
    return OutcomeOfAdd(AddRenameEntry(fields[0], fields[1]));
}

// ConvertFile BGMNO = 100, 200, 5 (and ConvertSave alike): the rule parser
// takes the text after the prefix keyword.
ScriptStatementOutcome RunRuleStatement(const char* start) {
    const uint32_t before = g_filePatchTable.count + g_convertRuleTable.count;
    if (!ParseRuleLine(TokenEnd(start))) return kStatementFailed;
    const uint32_t after = g_filePatchTable.count + g_convertRuleTable.count;
    return after > before ? kStatementDone : kStatementIgnored;
}

ScriptStatementOutcome RunStatement(int keyword, const char* start, const char** lastField) {
    *lastField = start;
    if (keyword == kKeywordLabel) return kStatementDone;
    if (keyword == kKeywordConvertFile || keyword == kKeywordConvertSave) return RunRuleStatement(start);
    if (keyword < kFirstDirectiveKeyword || keyword > kLastDirectiveKeyword) return kStatementIgnored;

    const char* equals = FindEquals(start);
    if (equals == nullptr) return kStatementFailed;
    switch (keyword) {
    case kKeywordAppTitle: return SetTextSetting(g_settings.appTitle, equals, lastField);
    case kKeywordBrandMenuFolder: return SetTextSetting(g_settings.brandMenuFolder, equals, lastField);
    case kKeywordGameMenuFolder: return SetTextSetting(g_settings.gameMenuFolder, equals, lastField);
    case kKeywordRegistory: return SetTextSetting(g_settings.registrySubkey, equals, lastField);
    case kKeywordNewVersion: return SetVersionPair(g_settings.newVersion, equals, lastField);
    case kKeywordSupportVersion: return SetVersionPair(g_settings.supportVersion, equals, lastField);
    case kKeywordSaveVersion: return SetVersionPair(g_settings.saveVersion, equals, lastField);
    case kKeywordCopyFile: return AddCopyFile(equals, lastField);
    case kKeywordShortcut: return AddShortcut(equals, lastField);
    case kKeywordDeleteFile: return AddDeleteFile(equals, lastField);
    case kKeywordRenameFile: return AddRenameFile(equals, lastField);
    default: return kStatementIgnored;
    }
}

// Loads the plan from text, which holds length bytes followed by
// kScriptSpareBytes zero bytes. Returns kScriptLoaded or kScriptMalformed.
int ScanScript(const char* text, uint32_t length, const ScriptLoadObserver* observer) {
    ScriptScan scan{observer, text, 1};
    // The first zero byte ends the text for every scanner: one inside it
    // would silently cut the plan short.
    const void* zero = std::memchr(text, 0, length);
    if (zero != nullptr) {
        Tell(scan, kStatementZeroByte, kNoKeyword, static_cast<const char*>(zero), "");
        return kScriptMalformed;
    }
    const char* position = text;
    for (;;) {
        const char* start = SkipBlanks(position);
        if (*start == '\0') return kScriptLoaded;
        // The first word is only looked up, so a longer word may be cut here.
        char word[kWordScratchSize] = {};
        ReadField(word, sizeof word, start);
        const int keyword = KeywordId(word);
        const char* lastField = start;
        const ScriptStatementOutcome outcome = RunStatement(keyword, start, &lastField);
        Tell(scan, outcome, keyword, start, word);
        if (outcome == kStatementFailed) return kScriptMalformed;
        position = LineEnd(lastField);
    }
}

void ClearUpdatePlan() {
    g_settings = UpdateSettings{};
    ClearPlanTables();
    ClearRules();
    ClearFilePatches();
}

// A zero-filled buffer for length bytes of text and the spare zeros, or
// nullptr.
std::unique_ptr<char[]> AllocateScriptText(uint32_t length) {
    if (length > kScriptSizeLimit) return nullptr;
    return std::unique_ptr<char[]>(new (std::nothrow) char[size_t{length} + kScriptSpareBytes]());
}

}  // namespace

const char* ScriptLoadMessage(int result) {
    switch (result) {
    case kScriptNotFound: return kScriptNotFoundMessage;
    case kScriptNoMemory: return kScriptNoMemoryMessage;
    case kScriptUnreadable: return kScriptUnreadableMessage;
    case kScriptMalformed: return kScriptMalformedMessage;
    default: return nullptr;
    }
}

int LoadUpdateScript(const char* scriptPath) {
    return LoadUpdateScriptFrom(scriptPath, nullptr);
}

int LoadUpdateScriptFrom(const char* scriptPath, const ScriptLoadObserver* observer) {
    ClearUpdatePlan();
    PackageMember* member = OpenMember(scriptPath, kPackageFileName);
    if (member == nullptr) return kScriptNotFound;
    // A damaged package may claim a script larger than the file: it is read
    // as damaged before any buffer is sized by the claim.
    if (!MemberLiesInsideFile(member)) {
        CloseMember(member);
        return kScriptUnreadable;
    }
    const uint32_t length = MemberSize(member);
    std::unique_ptr<char[]> text = AllocateScriptText(length);
    if (!text) {
        CloseMember(member);
        return kScriptNoMemory;
    }
    const int read = ReadMember(member, text.get());
    CloseMember(member);
    if (!read) return kScriptUnreadable;
    return ScanScript(text.get(), length, observer);
}

int LoadUpdateScriptText(const char* text, uint32_t length, const ScriptLoadObserver* observer) {
    ClearUpdatePlan();
    std::unique_ptr<char[]> copy = AllocateScriptText(length);
    if (!copy) return kScriptNoMemory;
    if (length != 0) std::memcpy(copy.get(), text, length);
    return ScanScript(copy.get(), length, observer);
}
