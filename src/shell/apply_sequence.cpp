#include "shell/apply_sequence.h"

#include "common/failure_note.h"
#include "common/run_log.h"
#include "convert/file_patches.h"
#include "convert/save_folder.h"
#include "install/file_operations.h"
#include "install/shortcuts.h"
#include "install/update_journal.h"
#include "platform/platform.h"
#include "script/update_plan.h"
#include "shell/cause_message.h"
#include "shell/install_state.h"
#include "shell/shell_texts.h"
#include "shell/version_gate.h"

namespace {

constexpr char kUpdateCompletedMessage[] = "更新は完了しました。";

// One step of the update. Returns 1 when its changes are made and flushed.
using StepFunction = int (*)(PlatformWindow* dialog, InstallState& state);

// The saves were converted when the installed version was applied: applying
// it again leaves them as they are, since a conversion is not safe to repeat.
bool HandlesSaves(const InstallState& state) {
    return state.installedVersion < ChooseEditionVersions(g_settings, state.addContents).newVersion;
}

bool KeepsSaves(const InstallState& state) {
    return KeepsSaveData(state.installedVersion, ChooseEditionVersions(g_settings, state.addContents).saveVersion);
}

int CopyFiles(PlatformWindow* dialog, InstallState& state) {
    return ApplyCopyList(dialog, state.installFolder, state.addContents);
}

int DeleteFiles(PlatformWindow*, InstallState& state) {
    return ApplyDeleteList(state.installFolder);
}

int RenameFiles(PlatformWindow*, InstallState& state) {
    return ApplyRenameList(state.installFolder, &state.journal);
}

int PatchFiles(PlatformWindow*, InstallState& state) {
    return ApplyFilePatches(state.installFolder);
}

// Converts the saves into new files beside them, when they are kept.
int StageSaves(PlatformWindow*, InstallState& state) {
    if (!HandlesSaves(state)) {
        LogEvent("saves left as they are: version %u is installed already", state.installedVersion);
        return 1;
    }
    LocateSaveFolder(state.installFolder, state.saveFolder);
    return KeepsSaves(state) ? SweepSaveFolder(state.saveFolder) : 1;
}

// Swaps the converted saves in, or removes the save data.
int FinishSaves(PlatformWindow*, InstallState& state) {
    if (!HandlesSaves(state)) return 1;
    // A run that resumes here has not located the folder yet.
    if (state.saveFolder[0] == '\0') LocateSaveFolder(state.installFolder, state.saveFolder);
    if (KeepsSaves(state)) return CommitSweptSaves(state.saveFolder);
    ResetSaveData(state.saveFolder);
    return 1;
}

int MakeShortcuts(PlatformWindow*, InstallState& state) {
    return CreateShortcuts(state.installFolder, g_settings.brandMenuFolder, g_settings.gameMenuFolder);
}

struct UpdateStepRun {
    UpdateStep step;
    StepFunction run;
};

constexpr UpdateStepRun kUpdateSteps[] = {
    {kStepCopy, CopyFiles},         {kStepDelete, DeleteFiles}, {kStepRename, RenameFiles},
    {kStepPatches, PatchFiles},     {kStepSavesStaged, StageSaves}, {kStepSaves, FinishSaves},
    {kStepShortcuts, MakeShortcuts},
};
static_assert(sizeof kUpdateSteps / sizeof kUpdateSteps[0] == kStepCount, "every step runs");

int FailApply(PlatformWindow* dialog, const InstallState& state) {
    ShowMessageWithCause(dialog, state.caption, kWriteFailedMessage);
    return kDialogApplyFailed;
}

}  // namespace

int RunApplySequence(PlatformWindow* dialog) {
    InstallState& state = g_installState;
    LogEvent("dialog: apply");
    ClearFailureNote();
    const UpdateIdentity identity{g_scriptDigest, state.addContents != 0 ? 1u : 0u,
                                  ChooseEditionVersions(g_settings, state.addContents).newVersion};
    if (!BeginUpdateJournal(&state.journal, identity)) return FailApply(dialog, state);
    for (const UpdateStepRun& step : kUpdateSteps) {
        if (IsStepDone(state.journal, step.step)) continue;
        if (!step.run(dialog, state) || !MarkStepDone(&state.journal, step.step)) return FailApply(dialog, state);
    }
    // The bar stands full behind the last message, which its line repeats.
    ReportProgress(kUpdateCompletedMessage, 1, 1);
    OsShowMessage(dialog, state.caption, kUpdateCompletedMessage);
    return kDialogApplied;
}
