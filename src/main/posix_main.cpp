// The POSIX program: runs the updater from a terminal or a script, or checks
// an update's script.
//
// Exit status of an update: an UpdaterExitStatus (shell/exit_status.h), the
// same as the Windows program's. --check exits with the status of the check.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "common/run_log.h"
#include "platform/platform.h"
#include "platform/posix/posix_text.h"
#include "platform/posix/posix_ui.h"
#include "check/script_check.h"
#include "check/check_command.h"
#include "shell/exit_status.h"
#include "shell/updater_main.h"

namespace {

constexpr char kUsage[] =
    "Usage: updater [--yes] [--log FILE]\n"
    "       updater --check [FOLDER]\n"
    "       updater --help | --version\n"
    "\n"
    "Applies the update beside this program (Update.ini, UpdateData.dat) to the\n"
    "installed game named in the registry file.\n"
    "\n"
    "  --yes       answer every question with OK and apply without asking\n"
    "  --log FILE  append a timestamped record of the run to FILE\n"
    "  --check     load the script of FOLDER (default: this program's folder) as\n"
    "              the update would, print the plan as JSON, verify the package\n"
    "              and change nothing\n"
    "  --help      show this text\n"
    "  --version   show the program's version\n"
    "\n"
    "Without a terminal and without --yes every question is answered Cancel.\n"
    "Registry file: $UPDATER_REGISTRY, else $XDG_CONFIG_HOME/updater/registry.reg,\n"
    "else ~/.config/updater/registry.reg.\n"
    "Shortcuts: desktop entries in $XDG_DATA_HOME/applications, else\n"
    "~/.local/share/applications.\n";

std::FILE* g_log = nullptr;

// The usage with the exit statuses, for standard output or standard error.
std::string FullUsage() {
    return std::string(kUsage) + "\n" + kExitStatusHelp;
}

// argument is UTF-8, as it came.
int UsageError(const char* problem, const char* argument) {
    std::fprintf(stderr, "updater: %s: %s\n", problem, argument);
    OsWriteError(FullUsage().c_str());
    return kExitUsage;
}

// --check [FOLDER]: the folder is a Linux path, UTF-8 like every argument,
// entered as it is, whatever characters its name has.
int CheckFolderArgument(const char* folder) {
    if (folder != nullptr && chdir(folder) != 0) {
        std::fprintf(stderr, "%s: the folder cannot be entered\n", folder);
        return kCheckFailed;
    }
    return CheckScriptOf(folder != nullptr ? "." : nullptr);
}

void WriteLogLine(const char* line) {
    const std::string utf8 = OsTextAsUtf8(line) + "\n";
    std::fwrite(utf8.data(), 1, utf8.size(), g_log);
    std::fflush(g_log);
}

}  // namespace

int main(int argc, char** argv) {
    // A reader of the output that goes away (updater --yes | head -1) must
    // not end an update halfway: failed writes to it are passed over.
    signal(SIGPIPE, SIG_IGN);
    if (argc >= 2 && std::strcmp(argv[1], "--check") == 0) {
        if (argc > 3) return UsageError("unknown argument", argv[3]);
        return CheckFolderArgument(argc == 3 ? argv[2] : nullptr);
    }
    const char* logPath = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--yes") == 0) {
            SetPosixAnswerMode(kAnswerYes);
        } else if (std::strcmp(argv[i], "--log") == 0 && i + 1 < argc) {
            logPath = argv[++i];
        } else if (std::strcmp(argv[i], "--help") == 0) {
            OsWriteOutput(FullUsage().c_str());
            return kExitApplied;
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("updater %s\n", UPDATER_VERSION);
            return kExitApplied;
        } else {
            return UsageError("unknown argument", argv[i]);
        }
    }
    if (logPath != nullptr) {
        g_log = std::fopen(logPath, "a");
        if (g_log == nullptr) return UsageError("the log file cannot be opened", logPath);
        SetLogFileSink(WriteLogLine);
        LogEvent("updater %s started", UPDATER_VERSION);
    }
    SetDiagnosticSink(PrintDiagnosticLine);
    if (isatty(STDERR_FILENO)) SetProgressSink(ShowProgressOnTerminal);
    const int status = RunUpdater(nullptr);
    if (g_log != nullptr) std::fclose(g_log);
    return status;
}
