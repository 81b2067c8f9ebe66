// The script check as the programs run it: updater --check [FOLDER] and
// updpack check [FOLDER].
#pragma once

// Enters folder (Shift_JIS), or the program's own folder when folder is
// nullptr, and checks its script, writing the plan to standard output and
// warnings and errors to standard error; strict non-zero fails the check on
// any warning. Returns kCheckPassed or kCheckFailed.
int CheckScriptOf(const char* folder, int strict);
