// The script check (updater --check): loads Update.ini exactly as the updater
// does and reports the plan, or why it does not load. It changes no file and
// no registry value.
#pragma once

#include <string>

// Exit statuses of the check.
constexpr int kCheckLoaded = 0;  // the script loads; the plan is on standard output
constexpr int kCheckFailed = 2;  // the script does not load

// What a check found. Texts are Shift_JIS, like every text of the program.
struct ScriptCheckReport {
    int status;          // kCheckLoaded or kCheckFailed
    std::string output;  // for standard output: the plan as JSON, when it loads
    std::string errors;  // for standard error: warnings, and the load failure
};

// Loads Update.ini from the current folder, loose or from UpdateData.dat
// there, and fills report. Warns about what loads but is likely a mistake: a
// record dropped past the 256th of its kind, a line ignored because its first
// word is a misspelt directive or a rule keyword without its prefix, a rule
// statement without rule keyword, a CopyFile source found neither loose nor
// in the package.
void CheckScript(ScriptCheckReport* report);

// The loaded plan as JSON: settings, each plan table, each byte patch (data
// in hexadecimal) and each conversion rule with its kind, keyword and fields.
std::string PlanAsJson();

// Checks the script of the current folder, which the caller has entered, and
// writes the report. Returns the exit status.
int RunScriptCheck();
