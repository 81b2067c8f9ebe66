// updater --check: the script check of a folder or of the program's own.
#include "shell/check_command.h"

#include "common/sjis_text.h"
#include "platform/platform.h"
#include "script/script_check.h"
#include "shell/updater_main.h"

int CheckScriptOf(const char* folder) {
    if (folder != nullptr) return RunScriptCheck(folder);
    char programFolder[kPathFieldSize];
    if (!GetProgramFolder(programFolder)) {
        OsWriteError("updater: the program's folder cannot be told\n");
        return kCheckFailed;
    }
    return RunScriptCheck(programFolder);
}
