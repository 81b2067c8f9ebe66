// The script check as the updater runs it: updater --check [FOLDER].
#pragma once

// Checks the script of folder (Shift_JIS), or of the program's own folder
// when folder is nullptr, writing the plan to standard output and warnings
// and errors to standard error. Returns kCheckPassed or kCheckFailed.
int CheckScriptOf(const char* folder);
