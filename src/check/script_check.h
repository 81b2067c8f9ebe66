// The script check (updater --check, updpack check): loads Update.ini exactly
// as the updater does and reports the plan, or why it does not load; then
// checks what the update will take from the package. It changes no file and
// no registry value.
#pragma once

#include <string>

#include "common/exit_status.h"

// What a check found. Texts are Shift_JIS, like every text of the program.
struct ScriptCheckReport {
    int status;          // kCheckPassed or kCheckFailed
    std::string output;  // for standard output: the plan as JSON (UTF-8), whenever it loads
    std::string errors;  // for standard error: warnings and errors, one a line
    bool utf8Text = false;  // the script is UTF-8 text, and so are its texts quoted in errors
    std::string notes;      // for standard error after the errors: the saves and the sources, a line each
};

// Loads Update.ini from the current folder, loose or from UpdateData.dat
// there, and fills report.
//
// Errors, which fail the check: the script does not load (the statement and
// why); UpdateData.dat is damaged (a directory entry that lies outside the
// file, or a member that does not match its SHA-256, named; a directory or
// digest list that does not match); a CopyFile source of either edition is
// found neither loose nor in the package, or runs past the end of the
// package; a CopyFile with a source has no destination; a line ignored
// because its first word is a directive in the wrong letter case or one slip
// away; a quoted text that a ',' or '=' in it cuts short; an update sure to
// fail every player (plan_errors.h).
//
// Warnings, for what loads but is likely a mistake: a package without a
// digest list; a script that is no valid Shift_JIS text (saved as UTF-8, for
// instance); a number too large for its 32 bits; a field taken from the next
// line because its own line ended early; fields after a directive's last; a
// record dropped past the 256th of its kind; a line ignored because its
// first word is two slips from a directive, or a rule keyword without its
// prefix; a rule statement without rule keyword; NewVersion equal to
// SupportVersion.
void CheckScript(ScriptCheckReport* report);

// Checks the script of the current folder, which the caller has entered, and
// writes the report to standard error and standard output. strict non-zero
// fails the check on any warning too. Returns kCheckPassed or kCheckFailed.
int RunScriptCheck(int strict);
