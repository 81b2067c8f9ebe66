// The wording of what a script's statement is and why it is malformed, for
// the updater's diagnostics and the publisher's check alike.
#pragma once

#include <string>

#include "script/script_loader.h"

// text between double quotes.
std::string Quoted(const std::string& text);

// The text from position to the end of its token ("- 7": the sign and the
// digits after it).
std::string TokenAt(const char* position);

// The word after the ConvertFile or ConvertSave keyword of note's statement.
std::string RuleWordOf(const ScriptStatementNote& note);

// The statement as messages name it: its directive, or the prefix and the
// rule keyword.
std::string StatementName(const ScriptStatementNote& note);

// Why the statement of note is malformed.
std::string FaultReason(const ScriptStatementNote& note);

// LoadUpdateScript, with *reason set to why the script is malformed, naming
// its line ("Update.ini(7): AppTitle needs '=' before its fields"), when the
// load ends with kScriptMalformed.
int LoadUpdateScriptExplained(const char* scriptPath, std::string* reason);
