// The Windows program: the updater a player starts beside UpdateData.dat.
#include <windows.h>
#include <commctrl.h>

#include "platform/platform.h"
#include "shell/updater_main.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // The manifest asks for common controls 6; register their classes.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    return UpdaterMain(reinterpret_cast<PlatformModule*>(instance));
}
