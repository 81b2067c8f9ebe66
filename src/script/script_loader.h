// Loading the update script Update.ini into the update plan.
#pragma once

#include <cstdint>

#include "script/statement_fields.h"

constexpr char kScriptFileName[] = "Update.ini";

// Results of LoadUpdateScript.
enum ScriptLoadResult : int {
    kScriptLoaded = 0,
    kScriptNotFound = 1,    // found neither loose nor in the package
    kScriptNoMemory = 2,    // no memory for the script text
    kScriptUnreadable = 3,  // reading the script failed
    kScriptMalformed = 4,   // a directive or rule statement is malformed
    kScriptTooLarge = 5,    // larger than any script: shown as malformed
    kScriptDamaged = 6,     // read from the package, it does not match the digest the package lists
};

// A larger script fails with kScriptTooLarge: no script is that large, and a
// damaged package directory must not make the loader zero-fill gigabytes.
constexpr uint32_t kScriptSizeLimit = 64u << 20;
constexpr char kScriptTooLargeReason[] = "larger than 64 MiB, the most a script may hold";

// The messages shown for results 1 to 6; a damaged script is unreadable.
constexpr char kScriptNotFoundMessage[] = "設定ファイルが見つかりません。処理を中断します。";
constexpr char kScriptNoMemoryMessage[] = "メモリが確保出来ません。処理を中断します。";
constexpr char kScriptUnreadableMessage[] = "設定ファイルが破損しています。処理を中断します。";
constexpr char kScriptMalformedMessage[] = "設定ファイルにエラーがありました。処理を中断します。";

// The message for result; nullptr for kScriptLoaded or an unknown result.
const char* ScriptLoadMessage(int result);

// Clears the plan, then reads the script at scriptPath, loose or as the
// member Update.ini of UpdateData.dat in the current folder, and fills the
// settings, the plan tables and the rule tables from it. A script read from
// a package with a digest list must match the digest listed for it (the
// package's own damage is left to its check: ReadPackageDigests). Returns a
// ScriptLoadResult; after any result but kScriptLoaded the plan must not be
// used.
int LoadUpdateScript(const char* scriptPath);

// What a statement of the script came to, as told to an observer.
enum ScriptStatementOutcome : int {
    kStatementDone,      // a setting set, a record stored, or a Label
    kStatementDropped,   // a plan record beyond the 256th of its kind, dropped
    kStatementIgnored,   // no directive; or a rule statement without rule keyword
    kStatementFailed,    // malformed: the load ends with kScriptMalformed
    kStatementZeroByte,  // a zero byte inside the text: the load ends with kScriptMalformed
};

struct ScriptStatementNote {
    ScriptStatementOutcome outcome;
    int keyword;            // KeywordId of the statement's first word; 0 for none
    uint32_t line;          // line of the statement's first byte, counted from 1
    const char* statement;  // that byte, inside the zero-terminated script text
    const char* word;       // the first word, as looked up
    const StatementReading* reading;  // the fields read and why the statement failed
};

// noteText is called once with the whole script text (length bytes) before
// its statements are read, then noteStatement once per statement, in script
// order. Either may be nullptr. The texts are valid only during the call.
struct ScriptLoadObserver {
    void (*noteText)(void* context, const char* text, uint32_t length);
    void (*noteStatement)(void* context, const ScriptStatementNote& note);
    void* context;
};

// LoadUpdateScript, telling observer (if not nullptr) about every statement.
int LoadUpdateScriptFrom(const char* scriptPath, const ScriptLoadObserver* observer);

// The same for a script already in memory: length bytes of text. Returns
// kScriptLoaded, kScriptNoMemory, kScriptMalformed or kScriptTooLarge.
int LoadUpdateScriptText(const char* text, uint32_t length, const ScriptLoadObserver* observer);
