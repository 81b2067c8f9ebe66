// The Windows program: the updater a player starts beside UpdateData.dat.
//
//   updater.exe [--yes] [--log FILE]   the update; --yes shows no window
//   updater.exe --check [FOLDER]       the check of FOLDER's script (default:
//                                      its own folder), on its console
//   updater.exe --help | --version
//
// Exit status of an update: an UpdaterExitStatus (shell/exit_status.h), the
// same as the POSIX program's.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "common/run_log.h"
#include "platform/platform.h"
#include "platform/win32/win32_paths.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_ui.h"
#include "check/script_check.h"
#include "check/check_command.h"
#include "shell/exit_status.h"
#include "shell/updater_main.h"

namespace {

constexpr char kUsage[] =
    "Usage: updater.exe [--yes] [--log FILE]\n"
    "       updater.exe --check [FOLDER]\n"
    "       updater.exe --help | --version\n"
    "\n"
    "  --yes       show no window: print every message and answer every\n"
    "              question with OK, as the Linux updater's --yes does\n"
    "  --log FILE  append a timestamped record of the run to FILE\n"
    "  --check     load the script of FOLDER (default: this program's folder) as\n"
    "              the update would, print the plan as JSON, verify the package\n"
    "              and change nothing\n";

HANDLE g_log = INVALID_HANDLE_VALUE;

// --check [FOLDER], the folder entered through the wide API whatever
// characters its name has. Returns the check's exit status.
int CheckFolderArgument(const wchar_t* folder) {
    if (folder != nullptr && !::SetCurrentDirectoryW(folder)) {
        OsWriteError((WideTextForMessage(folder) + ": the folder cannot be entered\n").c_str());
        return kCheckFailed;
    }
    return CheckScriptOf(folder != nullptr ? "." : nullptr);
}

int UsageError(const char* problem) {
    OsWriteError((std::string("updater: ") + problem + "\n" + kUsage + "\n" + kExitStatusHelp).c_str());
    return kExitUsage;
}

void WriteDiagnostic(const char* line) {
    OsWriteError((std::string(line) + "\n").c_str());
}

// Appends line to the log file in UTF-8, with a Windows line end.
void WriteLogLine(const char* line) {
    const std::string utf8 = OsTextAsUtf8(line) + "\r\n";
    DWORD written = 0;
    ::WriteFile(g_log, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

// Opens the log file at path for appending, creating it when missing.
bool OpenLog(const wchar_t* path) {
    g_log = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (g_log == INVALID_HANDLE_VALUE) return false;
    SetLogFileSink(WriteLogLine);
    LogEvent("updater.exe %s started", UPDATER_VERSION);
    return true;
}

// The update with the options of the command line. Returns the exit status.
int RunWithOptions(HINSTANCE instance, int argc, wchar_t** argv) {
    bool unattended = false;
    const wchar_t* logPath = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--yes") == 0) {
            unattended = true;
        } else if (std::wcscmp(argv[i], L"--log") == 0 && i + 1 < argc) {
            logPath = argv[++i];
        } else if (std::wcscmp(argv[i], L"--help") == 0) {
            OsWriteOutput((std::string(kUsage) + "\n" + kExitStatusHelp).c_str());
            return kExitApplied;
        } else if (std::wcscmp(argv[i], L"--version") == 0) {
            OsWriteOutput("updater " UPDATER_VERSION "\n");
            return kExitApplied;
        } else {
            std::string problem = "unknown argument: ";
            problem += WideTextForMessage(argv[i]);
            return UsageError(problem.c_str());
        }
    }
    if (logPath != nullptr && !OpenLog(logPath)) return UsageError("the log file cannot be opened");
    if (unattended) {
        SetWin32Unattended(true);
        SetDiagnosticSink(WriteDiagnostic);
    }
    const int status = RunUpdater(reinterpret_cast<PlatformModule*>(instance));
    if (g_log != INVALID_HANDLE_VALUE) ::CloseHandle(g_log);
    return status;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv == nullptr) return UsageError("the command line cannot be read");
    int status;
    if (argc >= 2 && std::wcscmp(argv[1], L"--check") == 0) {
        status = argc > 3 ? UsageError("--check takes one folder at most")
                          : CheckFolderArgument(argc == 3 ? argv[2] : nullptr);
    } else {
        // The manifest asks for common controls 6; register their classes.
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
        ::InitCommonControlsEx(&controls);
        status = RunWithOptions(instance, argc, argv);
    }
    ::LocalFree(argv);
    return status;
}
