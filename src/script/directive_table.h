// The directives of Update.ini that set a setting or add a plan record, and
// their fields: one table that the loader reads them by and that the plan's
// JSON and the check's messages name their fields by.
#pragma once

#include "script/statement_fields.h"

// Where a directive's fields go.
enum DirectiveTarget : int {
    kTextSetting,     // a text of UpdateSettings
    kVersionSetting,  // a VersionPair of UpdateSettings
    kCopyTable,       // a CopyEntry
    kShortcutTable,   // a ShortcutEntry
    kDeleteTable,     // a DeleteEntry
    kRenameTable,     // a RenameEntry
    kFolderTable,     // a CreateFolderEntry
};

constexpr int kMaxDirectiveFields = 6;

struct Directive {
    int keyword;                                  // KeywordId, 2 to 12, or 27
    DirectiveTarget target;
    int fieldCount;
    StatementField fields[kMaxDirectiveFields];   // in script order; offsets into
                                                  // UpdateSettings, or into the record
};

// The directive of keyword, or nullptr for Label, the rule prefixes and any
// other id.
const Directive* DirectiveOf(int keyword);
