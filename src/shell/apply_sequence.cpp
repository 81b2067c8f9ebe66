#include "shell/apply_sequence.h"

#include "common/run_log.h"
#include "convert/file_patches.h"
#include "convert/save_folder.h"
#include "install/file_operations.h"
#include "install/shortcuts.h"
#include "platform/platform.h"
#include "script/update_plan.h"
#include "shell/install_state.h"
#include "shell/version_gate.h"

namespace {

constexpr char kUpdateCompletedMessage[] = "更新は完了しました。";
constexpr char kCopyFailedMessage[] =
    "更新ファイル書き込みに失敗しました。ゲームが起動されている場合は、終了してから再度実行して下さい。";

}  // namespace

int RunApplySequence(PlatformWindow* dialog) {
    InstallState& state = g_installState;
    const char* installFolder = state.installFolder;
    LogEvent("dialog: apply");
    if (!ApplyCopyList(dialog, installFolder, state.addContents)) {
        state.applyFailed = 1;
        OsShowMessage(dialog, state.caption, kCopyFailedMessage);
        return 0;
    }
    ApplyDeleteList(installFolder);
    ApplyRenameList(installFolder);
    ApplyFilePatches(installFolder);
    LocateSaveFolder(installFolder, state.saveFolder);
    const VersionNumber saveVersion = ChooseEditionVersions(g_settings, state.addContents).saveVersion;
    if (KeepsSaveData(state.installedVersion, saveVersion)) {
        SweepSaveFolder(state.saveFolder);
    } else {
        ResetSaveData(state.saveFolder);
    }
    CreateShortcuts(installFolder, g_settings.brandMenuFolder, g_settings.gameMenuFolder);
    OsShowMessage(dialog, state.caption, kUpdateCompletedMessage);
    return 1;
}
