#include "shell/apply_sequence.h"

#include "install/file_operations.h"
#include "platform/platform.h"
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
    OsShowMessage(dialog, g_installState.caption, kUpdateCompletedMessage);
    return 1;
}
