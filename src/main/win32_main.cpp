// The Windows program: the updater a player starts beside UpdateData.dat, or
// the check of an update's script (shell/command_line.h).
#include <windows.h>

#include "shell/command_line.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return RunUpdaterProgram(reinterpret_cast<PlatformModule*>(instance), 0, nullptr);
}
