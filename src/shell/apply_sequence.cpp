#include "shell/apply_sequence.h"

#include "convert/file_patches.h"
#include "install/file_operations.h"
#include "install/shortcuts.h"
#include "platform/platform.h"
#include "script/update_plan.h"
#include "shell/install_state.h"

namespace {

constexpr char kUpdateCompletedMessage[] = "更新は完了しました。";
constexpr char kCopyFailedMessage[] =
    "更新ファイル書き込みに失敗しました。ゲームが起動されている場合は、終了してから再度実行して下さい。";

}  // namespace

int RunApplySequence(PlatformWindow* dialog) {
    const char* installFolder = g_installState.installFolder;
    if (!ApplyCopyList(dialog, installFolder)) {
        OsShowMessage(dialog, g_installState.caption, kCopyFailedMessage);
        return 0;
    }
    ApplyDeleteList(installFolder);
    ApplyRenameList(installFolder);
    ApplyFilePatches(installFolder);

    CreateShortcuts(installFolder, g_settings.brandMenuFolder, g_settings.gameMenuFolder);
    OsShowMessage(dialog, g_installState.caption, kUpdateCompletedMessage);
    return 1;
}
