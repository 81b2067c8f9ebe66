// The POSIX program: runs the updater from a terminal or a script, or checks
// an update's script.
//
// Exit status of an update: 0 when it was applied and its version recorded,
// 1 for every other outcome, 2 for a command line it does not understand.
// --check exits with the status of the check.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "common/sjis_text.h"
#include "platform/platform.h"
#include "platform/posix/posix_ui.h"
#include "script/script_check.h"
#include "shell/updater_main.h"

namespace {

constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "Usage: updater [--yes]\n"
    "       updater --check [FOLDER]\n"
    "       updater --help\n"
    "\n"
    "Applies the update beside this program (Update.ini, UpdateData.dat) to the\n"
    "installed game named in the registry file.\n"
    "\n"
    "  --yes    answer every question with OK and apply without asking\n"
    "  --check  load the script of FOLDER (default: this program's folder) as\n"
    "           the update would, print the plan as JSON and change nothing\n"
    "  --help   show this text\n"
    "\n"
    "Without a terminal and without --yes every question is answered Cancel.\n"
    "Registry file: $UPDATER_REGISTRY, else $XDG_CONFIG_HOME/updater/registry.reg,\n"
    "else ~/.config/updater/registry.reg.\n"
    "Exit status: 0 when the update was applied and recorded, 1 otherwise.\n";

int UsageError(const char* argument) {
    std::fprintf(stderr, "updater: unknown argument: %s\n%s", argument, kUsage);
    return kExitUsage;
}

// --check [FOLDER]: the folder is a Linux path, UTF-8 like every argument,
// entered as it is, whatever characters its name has.
int CheckScriptOf(const char* folder) {
    if (folder == nullptr) {
        char programFolder[kPathFieldSize];
        if (!OsEnterProgramFolder(programFolder, sizeof programFolder)) {
            std::fputs("updater: the program's folder cannot be entered\n", stderr);
            return kCheckFailed;
        }
    } else if (chdir(folder) != 0) {
        std::fprintf(stderr, "%s: the folder cannot be entered\n", folder);
        return kCheckFailed;
    }
    return RunScriptCheck();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--check") == 0) {
        if (argc > 3) return UsageError(argv[3]);
        return CheckScriptOf(argc == 3 ? argv[2] : nullptr);
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--yes") == 0) {
            SetPosixAnswerMode(kAnswerYes);
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            return UsageError(argv[i]);
        }
    }
    return RunUpdater(nullptr) == 1 ? 0 : 1;
}
