#include "shell/command_line.h"

#include <new>
#include <string>
#include <vector>

#include "check/check_command.h"
#include "common/exit_status.h"
#include "common/run_log.h"
#include "platform/platform_dialog.h"
#include "platform/platform_process.h"
#include "script/script_loader.h"
#include "shell/install_state.h"
#include "shell/shell_texts.h"
#include "shell/updater_main.h"

namespace {

// The usage after its first lines, which name the program.
constexpr char kUsageBody[] =
    "Applies the update beside this program (Update.ini, UpdateData.dat) to the\n"
    "installed game named in the registry.\n"
    "\n"
    "  --yes       answer every question with OK and apply without asking\n"
    "  --log FILE  append a timestamped record of the run to FILE\n"
    "  --check     load the script of FOLDER (default: this program's folder) as\n"
    "              the update would, print the plan as JSON, verify the package\n"
    "              and change nothing; --strict fails it on any warning too\n"
    "  --help      show this text\n"
    "  --version   show the program's version\n"
    "\n";

std::string Usage() {
    const std::string name = OsProgramName();
    return "Usage: " + name + " [--yes] [--log FILE]\n       " + name + " --check [--strict] [FOLDER]\n       " + name +
           " --help | --version\n\n" + kUsageBody + OsUsageNotes() + "\n" +
           ExitStatusLines("Exit status:", kUpdaterExitStatuses) + ExitStatusLines("With --check:", kCheckExitStatuses);
}

// problem and argument are UTF-8, as the arguments came.
int UsageError(const std::string& problem, const std::string& argument) {
    OsWriteUtf8Error((std::string(OsProgramName()) + ": " + problem + ": " + argument + "\n").c_str());
    OsWriteError(Usage().c_str());
    return kExitUsage;
}

// --check [--strict] [FOLDER]: the folder entered whatever characters its
// name has.
int CheckFolder(const std::vector<std::string>& arguments) {
    size_t next = 1;
    const int strict = next < arguments.size() && arguments[next] == "--strict";
    if (strict) ++next;
    if (arguments.size() > next + 1) return UsageError("unknown argument", arguments[next + 1]);
    const bool folderGiven = next < arguments.size();
    if (folderGiven && !OsEnterArgumentFolder(arguments[next].c_str())) {
        OsWriteUtf8Error((arguments[next] + ": the folder cannot be entered\n").c_str());
        return kCheckFailed;
    }
    return CheckScriptOf(folderGiven ? "." : nullptr, strict);
}

// The program with its command line. Returns an ExitStatus.
int RunWithArguments(PlatformModule* module, int argc, char** argv) {
    std::vector<std::string> arguments;
    if (!OsProgramArguments(argc, argv, &arguments)) return UsageError("the command line cannot be read", "");
    if (!arguments.empty() && arguments[0] == "--check") return CheckFolder(arguments);
    int unattended = 0;
    const char* logPath = nullptr;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--yes") {
            unattended = 1;
        } else if (arguments[i] == "--log" && i + 1 < arguments.size()) {
            logPath = arguments[++i].c_str();
        } else if (arguments[i] == "--help") {
            OsWriteOutput(Usage().c_str());
            return kExitApplied;
        } else if (arguments[i] == "--version") {
            OsWriteOutput("updater " UPDATER_VERSION "\n");
            return kExitApplied;
        } else {
            return UsageError("unknown argument", arguments[i]);
        }
    }
    if (logPath != nullptr) {
        if (!OsOpenRunLog(logPath)) {
            // The command line is right; the file is not: no usage text.
            OsWriteUtf8Error((std::string(OsProgramName()) + ": the log file cannot be opened: " + logPath + "\n").c_str());
            return kExitUsage;
        }
        LogEvent("%s %s started", OsProgramName(), UPDATER_VERSION);
    }
    OsPrepareUpdate(unattended);
    const int status = RunUpdater(module);
    OsCloseRunLog();
    return status;
}

}  // namespace

int RunUpdaterProgram(PlatformModule* module, int argc, char** argv) {
    // Memory running out anywhere ends the run here, with the one message for
    // it; the journal keeps what was done for the next run.
    try {
        return RunWithArguments(module, argc, argv);
    } catch (const std::bad_alloc&) {
        LogDiagnostic("not enough memory");
        OsShowMessage(nullptr, g_installState.caption[0] != '\0' ? g_installState.caption : kUpdaterCaption,
                      kScriptNoMemoryMessage);
        OsCloseRunLog();
        return kExitNoMemory;
    }
}
