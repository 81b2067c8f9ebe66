// What the check says of lines that the updater ignores although they look
// meant: misspelt or miscased directives and rule keywords.
#pragma once

#include <string>

#include "script/script_loader.h"

// Why a line is ignored although its first word looks like a directive, or ""
// when the line is likely a comment. *surelyMeant is set for a near miss (the
// directive but for letter case, or one edit away), which the check takes
// for an error: that line does nothing.
std::string IgnoredLineReason(const ScriptStatementNote& note, bool* surelyMeant);

// A warning for a ConvertFile or ConvertSave statement whose word is no rule
// keyword, so that it stores nothing.
std::string IgnoredRuleWarning(const ScriptStatementNote& note);
