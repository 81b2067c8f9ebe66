// Warnings for the fields of a statement that load but likely not as meant.
#pragma once

#include "check/check_notes.h"
#include "script/script_loader.h"

// Warnings for the fields of note's statement: a number that does not read
// as written, a field taken from a later line because its own line ended
// first, fields after a directive's last. Errors: a statement there taken as
// a field, a quoted text that a ',' or '=' inside it cuts short.
void CheckFields(CheckNotes& notes, const ScriptStatementNote& note);
