// Warnings for lines that the updater ignores although they look meant:
// misspelt or miscased directives and rule keywords.
#pragma once

#include <string>

#include "script/script_loader.h"

// A warning for a line ignored although its first word looks like a
// directive, or "" when the line is likely a comment.
std::string IgnoredLineWarning(const ScriptStatementNote& note);

// A warning for a ConvertFile or ConvertSave statement whose word is no rule
// keyword, so that it stores nothing.
std::string IgnoredRuleWarning(const ScriptStatementNote& note);
