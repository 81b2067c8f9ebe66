// The Windows program: the updater a player starts beside UpdateData.dat.
// Started as "updater.exe --check [FOLDER]" it checks that folder's script
// instead (default: its own folder) and writes the plan to its console.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "platform/platform.h"
#include "platform/win32/win32_paths.h"
#include "script/script_check.h"
#include "shell/updater_main.h"

namespace {

// --check [FOLDER], the folder entered through the wide API whatever
// characters its name has. Returns the check's exit status.
int CheckScriptOf(const wchar_t* folder) {
    if (folder == nullptr) {
        char programFolder[kPathFieldSize];
        if (!OsEnterProgramFolder(programFolder, sizeof programFolder)) {
            OsWriteError("updater: the program's folder cannot be entered\n");
            return kCheckFailed;
        }
    } else if (!::SetCurrentDirectoryW(folder)) {
        OsWriteError((WidePathForMessage(folder) + ": the folder cannot be entered\n").c_str());
        return kCheckFailed;
    }
    return RunScriptCheck();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv != nullptr && argc >= 2 && std::wcscmp(argv[1], L"--check") == 0) {
        const int status = CheckScriptOf(argc >= 3 ? argv[2] : nullptr);
        ::LocalFree(argv);
        return status;
    }
    if (argv != nullptr) ::LocalFree(argv);
    // The manifest asks for common controls 6; register their classes.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    return UpdaterMain(reinterpret_cast<PlatformModule*>(instance));
}
