#include "shell/apply_sequence.h"

#include "platform/platform.h"
#include "shell/install_state.h"

namespace {

constexpr char kUpdateCompletedMessage[] = "更新は完了しました。";

}  // namespace

int RunApplySequence(PlatformWindow* dialog) {
    OsShowMessage(dialog, g_installState.caption, kUpdateCompletedMessage);
    return 1;
}
