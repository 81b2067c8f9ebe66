// The directive loader: reads Update.ini and hands each statement to its
// directive handler, or to the rule parser for ConvertFile and ConvertSave.
#include "script/script_loader.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "common/digest.h"
#include "common/run_log.h"
#include "common/sjis_text.h"
#include "package/member_reader.h"
#include "package/package_digests.h"
#include "package/package_format.h"
#include "platform/platform_digest.h"
#include "script/directive_table.h"
#include "script/rule_statements.h"
#include "script/rule_tables.h"
#include "script/script_lexer.h"
#include "script/update_plan.h"

namespace {

// Zero bytes after the text: its terminator, and one for each field a field
// list may lack at the very end of the text (a rule statement has at most
// eight fields), so that no scan ever leaves the buffer.
constexpr uint32_t kScriptSpareBytes = 16;
constexpr int kLongestFieldList = 8;
static_assert(kScriptSpareBytes > kLongestFieldList);

constexpr size_t kWordScratchSize = 1024;  // a statement's first word

// The loading pass over one script text.
struct ScriptScan {
    const ScriptLoadObserver* observer;  // may be nullptr
    const char* countedTo;               // line breaks before this are in countedLine
    uint32_t countedLine;                // line of countedTo, from 1
};

// Line of position, which lies at or after every position asked before.
uint32_t LineOf(ScriptScan& scan, const char* position) {
    scan.countedLine += CountLineBreaks(scan.countedTo, position);
    scan.countedTo = position;
    return scan.countedLine;
}

void Tell(ScriptScan& scan, ScriptStatementOutcome outcome, int keyword, const char* statement,
          const char* word, const StatementReading& reading) {
    if (scan.observer == nullptr || scan.observer->noteStatement == nullptr) return;
    const ScriptStatementNote note{outcome, keyword, LineOf(scan, statement), statement, word, &reading};
    scan.observer->noteStatement(scan.observer->context, note);
}

// Appends record, read whole, to table; a full table drops it.
template <typename Record>
ScriptStatementOutcome AppendOrDrop(FixedTable<Record, kPlanTableCapacity>& table, const Record& record) {
    return AddRecord(table, record) ? kStatementDone : kStatementDropped;
}

// Directive handlers -------------------------------------------------------------
//
// Each reads the directive's fields by its row of the directive table, the
// first after its '=', and sets *lastField to where the last field began; the
// next statement is sought from that field's line end, so a value taken from
// the next line keeps that line from running.

// AppTitle = My Game: the new value replaces the setting whole.
ScriptStatementOutcome SetTextSetting(const Directive& directive, const char* first, const char** lastField,
                                      StatementReading* reading) {
    unsigned char* settings = reinterpret_cast<unsigned char*>(&g_settings);
    std::memset(settings + directive.fields[0].offset, 0, directive.fields[0].capacity);
    return ReadFields(directive.fields, 1, first, settings, reading, lastField) ? kStatementDone
                                                                                 : kStatementFailed;
}

// NewVersion = 1020, 1021: set only when both numbers parse.
ScriptStatementOutcome SetVersionSetting(const Directive& directive, const char* first, const char** lastField,
                                         StatementReading* reading) {
    UpdateSettings settings = g_settings;
    if (!ReadFields(directive.fields, 2, first, &settings, reading, lastField)) return kStatementFailed;
    g_settings = settings;
    return kStatementDone;
}

// The fields of a plan directive read into a record of its table.
template <typename Record>
int ReadRecord(const Directive& directive, const char* first, Record* record, const char** lastField,
               StatementReading* reading) {
    *record = Record{};
    return ReadFields(directive.fields, directive.fieldCount, first, record, reading, lastField);
}

// CopyFile, Shortcut, DeleteFile, RenameFile, CreateFolder: one record of
// their table, dropped when the table is full.
ScriptStatementOutcome AddPlanRecord(const Directive& directive, const char* first, const char** lastField,
                                     StatementReading* reading) {
    switch (directive.target) {
    case kCopyTable: {
        CopyEntry e{};
        if (!ReadRecord(directive, first, &e, lastField, reading)) return kStatementFailed;
        return AppendOrDrop(g_copyTable, e);
    }
    case kShortcutTable: {
        ShortcutEntry e{};
        if (!ReadRecord(directive, first, &e, lastField, reading)) return kStatementFailed;
        return AppendOrDrop(g_shortcutTable, e);
    }
    case kDeleteTable: {
        DeleteEntry e{};
        if (!ReadRecord(directive, first, &e, lastField, reading)) return kStatementFailed;
        return AppendOrDrop(g_deleteTable, e);
    }
    case kRenameTable: {
        RenameEntry e{};
        if (!ReadRecord(directive, first, &e, lastField, reading)) return kStatementFailed;
        return AppendOrDrop(g_renameTable, e);
    }
    case kFolderTable: {
        CreateFolderEntry e{};
        if (!ReadRecord(directive, first, &e, lastField, reading)) return kStatementFailed;
        return AppendOrDrop(g_createFolderTable, e);
    }
    default:
        return kStatementFailed;
    }
}

// ConvertFile BGMNO = 100, 200, 5 (and ConvertSave alike): the rule parser
// takes the text after the prefix keyword.
ScriptStatementOutcome RunRuleStatement(const char* start, StatementReading* reading) {
    const uint32_t before = g_filePatchTable.count + g_convertRuleTable.count;
    if (!ReadRuleStatement(TokenEnd(start), reading)) return kStatementFailed;
    const uint32_t after = g_filePatchTable.count + g_convertRuleTable.count;
    return after > before ? kStatementDone : kStatementIgnored;
}

ScriptStatementOutcome RunStatement(int keyword, const char* start, const char** lastField,
                                    StatementReading* reading) {
    *lastField = start;
    if (keyword == kKeywordLabel) return kStatementDone;
    if (keyword == kKeywordConvertFile || keyword == kKeywordConvertSave) return RunRuleStatement(start, reading);
    const Directive* directive = DirectiveOf(keyword);
    if (directive == nullptr) return kStatementIgnored;

    const char* equals = FindEquals(start);
    if (equals == nullptr) {
        NoteFault(reading, kFaultNoEquals, false);
        return kStatementFailed;
    }
    const char* first = SkipBlanks(equals + 1);
    switch (directive->target) {
    case kTextSetting: return SetTextSetting(*directive, first, lastField, reading);
    case kVersionSetting: return SetVersionSetting(*directive, first, lastField, reading);
    default: return AddPlanRecord(*directive, first, lastField, reading);
    }
}

// Loads the plan from text, which holds length bytes followed by
// kScriptSpareBytes zero bytes. Returns kScriptLoaded or kScriptMalformed.
int ScanScript(const char* text, uint32_t length, const ScriptLoadObserver* observer) {
    ScriptScan scan{observer, text, 1};
    g_scriptDigest = DigestOf(text, length);
    if (observer != nullptr && observer->noteText != nullptr) observer->noteText(observer->context, text, length);
    // The first zero byte ends the text for every scanner: one inside it
    // would silently cut the plan short.
    const void* zero = std::memchr(text, 0, length);
    if (zero != nullptr) {
        Tell(scan, kStatementZeroByte, kNoKeyword, static_cast<const char*>(zero), "", kNoReading);
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
        StatementReading reading = kNoReading;
        const ScriptStatementOutcome outcome = RunStatement(keyword, start, &lastField, &reading);
        Tell(scan, outcome, keyword, start, word, reading);
        if (outcome == kStatementFailed) return kScriptMalformed;
        position = LineEnd(lastField);
    }
}

void ClearUpdatePlan() {
    g_settings = UpdateSettings{};
    g_scriptDigest = 0;
    ClearPlanTables();
    ClearRules();
    ClearFilePatches();
}

// A zero-filled buffer for length bytes of text and the spare zeros, or
// nullptr when memory runs out.
std::unique_ptr<char[]> AllocateScriptText(uint32_t length) {
    return std::unique_ptr<char[]>(new (std::nothrow) char[size_t{length} + kScriptSpareBytes]());
}

// Whether text, read from the package as the script at scriptPath, matches
// the digest that the package's list gives for it. A package without a
// list, or too damaged to give one, has nothing to compare here.
bool MatchesListedDigest(const char* scriptPath, const char* text, uint32_t length) {
    PackageDigests digests;
    char message[kPackageMessageSize];
    ReadPackageDigests(kPackageFileName, &digests, message, sizeof message);
    const unsigned char* listed = ListedDigestOf(&digests, scriptPath);
    unsigned char actual[kSha256Size];
    const bool matches =
        listed == nullptr || (DigestOfBytes(text, length, actual) && std::memcmp(actual, listed, kSha256Size) == 0);
    ReleasePackageDigests(&digests);
    return matches;
}

}  // namespace

const char* ScriptLoadMessage(int result) {
    switch (result) {
    case kScriptNotFound: return kScriptNotFoundMessage;
    case kScriptNoMemory: return kScriptNoMemoryMessage;
    case kScriptUnreadable:
    case kScriptDamaged: return kScriptUnreadableMessage;
    case kScriptMalformed:
    case kScriptTooLarge: return kScriptMalformedMessage;
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
    LogEvent("%s: %u bytes, %s %s", scriptPath, length, member->kind == kMemberLoose ? "loose, not from" : "from",
             kPackageFileName);
    if (length > kScriptSizeLimit) {
        CloseMember(member);
        return kScriptTooLarge;
    }
    std::unique_ptr<char[]> text = AllocateScriptText(length);
    if (!text) {
        CloseMember(member);
        return kScriptNoMemory;
    }
    const int read = ReadMember(member, text.get());
    const bool packed = member->kind == kMemberPacked;
    CloseMember(member);
    if (!read) return kScriptUnreadable;
    if (packed && !MatchesListedDigest(scriptPath, text.get(), length)) return kScriptDamaged;
    return ScanScript(text.get(), length, observer);
}

int LoadUpdateScriptText(const char* text, uint32_t length, const ScriptLoadObserver* observer) {
    ClearUpdatePlan();
    if (length > kScriptSizeLimit) return kScriptTooLarge;
    std::unique_ptr<char[]> copy = AllocateScriptText(length);
    if (!copy) return kScriptNoMemory;
    if (length != 0) std::memcpy(copy.get(), text, length);
    return ScanScript(copy.get(), length, observer);
}
