// The script check of a folder or of the program's own.
#include "check/check_command.h"

#include <string>

#include "common/sjis_text.h"
#include "platform/platform_dialog.h"
#include "platform/platform_process.h"
#include "check/script_check.h"

int CheckScriptOf(const char* folder, int strict) {
    if (folder == nullptr) {
        char programFolder[kPathFieldSize];
        if (!OsEnterProgramFolder(programFolder, sizeof programFolder)) {
            OsWriteError("updater: the program's folder cannot be entered\n");
            return kCheckFailed;
        }
    } else if (!OsEnterFolder(folder)) {
        OsWriteError((std::string(folder) + ": the folder cannot be entered\n").c_str());
        return kCheckFailed;
    }
    return RunScriptCheck(strict);
}
