#include "shell/apply_sequence.h"

#include "common/failure_note.h"
#include "common/run_log.h"
#include "convert/file_patches.h"
#include "convert/save_folder.h"
#include "install/file_operations.h"
#include "install/shortcuts.h"
#include "install/update_journal.h"
#include "package/package_format.h"
#include "package/package_identity.h"
#include "platform/last_error.h"
#include "platform/platform_dialog.h"
#include "platform/platform_files.h"
#include "script/update_plan.h"
#include "shell/cause_message.h"
#include "shell/install_state.h"
#include "shell/shell_texts.h"
#include "shell/version_gate.h"

namespace {

constexpr char kUpdateCompletedMessage[] = "更新は完了しました。";

const ApplyStepObserver* g_stepObserver = nullptr;

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
    return ApplyCopyList(dialog, state.installFolder, state.addContents,
                         state.copyAgain ? kCopyUnchangedLater : kCopyAll);
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

// Converts the saves, or puts the save data aside, keeping every original
// in the update's backup folder; safe to do again.
int HandleSaves(PlatformWindow*, InstallState& state) {
    if (!HandlesSaves(state)) {
        LogEvent("saves left as they are: version %u is installed already", state.installedVersion);
        return 1;
    }
    LocateSaveFolder(state.installFolder, state.saveFolder);
    char backupFolder[kPathFieldSize];
    if (state.saveFolder[0] == '\0' ||
        !BackupFolderOf(state.saveFolder, state.installedVersion,
                        ChooseEditionVersions(g_settings, state.addContents).newVersion, backupFolder)) {
        LogEvent("saves left as they are: the path of the save folder would pass 259 bytes");
        return 1;
    }
    return KeepsSaves(state) ? ConvertSaves(state.saveFolder, backupFolder)
                             : ResetSaveData(state.saveFolder, backupFolder);
}

int MakeShortcuts(PlatformWindow*, InstallState& state) {
    return CreateShortcuts(state.installFolder, g_settings.brandMenuFolder, g_settings.gameMenuFolder);
}

struct UpdateStepRun {
    UpdateStep step;
    StepFunction run;
};

constexpr UpdateStepRun kUpdateSteps[] = {
    {kStepCopy, CopyFiles},       {kStepDelete, DeleteFiles}, {kStepRename, RenameFiles},
    {kStepPatches, PatchFiles},   {kStepSaves, HandleSaves},  {kStepShortcuts, MakeShortcuts},
};
static_assert(sizeof kUpdateSteps / sizeof kUpdateSteps[0] == kStepCount, "every step runs");

// Checks the disk against what the journal says is done, and has done again
// what is gone: the files copied as they were written (those no later step
// changes, copied again alone: redoing a rename is never safe), the files
// deleted gone; a game installed again over its folder, or written since,
// brings them back, and its patched files with them.
void RedoStepsGoneFromDisk(InstallState& state) {
    UpdateJournal& journal = state.journal;
    state.copyAgain = IsStepDone(journal, kStepCopy) &&
                      journal.current.copyStamp != CopiedFilesStamp(state.installFolder, state.addContents);
    const bool deletedBack = IsStepDone(journal, kStepDelete) && !DeletedFilesGone(state.installFolder);
    if (state.copyAgain) RedoStep(&journal, kStepCopy);
    if (deletedBack) RedoStep(&journal, kStepDelete);
    if (state.copyAgain || deletedBack) RedoStep(&journal, kStepPatches);
}

// Removes the new files that the run of another update, whose journal was
// set aside, left anywhere in the install and save folders: they lie beside
// that update's destinations, not this one's.
void RemoveLeftoversOfAnotherUpdate(InstallState& state) {
    OsRemoveStagedFiles(state.installFolder);
    LocateSaveFolder(state.installFolder, state.saveFolder);
    if (state.saveFolder[0] != '\0') OsRemoveStagedFiles(state.saveFolder);
}

int FailApply(PlatformWindow* dialog, const InstallState& state) {
    ShowMessageWithCause(dialog, state.caption, kWriteFailedMessage);
    return kDialogApplyFailed;
}

}  // namespace

void SetApplyStepObserver(const ApplyStepObserver* observer) {
    g_stepObserver = observer;
}

int RunApplySequence(PlatformWindow* dialog) {
    InstallState& state = g_installState;
    LogEvent("dialog: apply");
    ClearFailureNote();
    UpdateIdentity identity{g_scriptDigest, 0, state.addContents != 0 ? 1u : 0u,
                            ChooseEditionVersions(g_settings, state.addContents).newVersion};
    if (!PackageIdentityDigest(kPackageFileName, &identity.packageDigest)) {
        DiagnoseLastError("cannot read %s", kPackageFileName);
        return FailApply(dialog, state);
    }
    if (!BeginUpdateJournal(&state.journal, identity)) return FailApply(dialog, state);
    RedoStepsGoneFromDisk(state);
    if (state.journal.setAside) RemoveLeftoversOfAnotherUpdate(state);
    for (const UpdateStepRun& step : kUpdateSteps) {
        if (IsStepDone(state.journal, step.step)) continue;
        if (g_stepObserver != nullptr) g_stepObserver->before(g_stepObserver->context, step.step);
        int done = step.run(dialog, state);
        // What the copy left, for a later run to tell whether it is still there.
        const uint64_t stamp =
            done && step.step == kStepCopy ? CopiedFilesStamp(state.installFolder, state.addContents) : 0;
        done = done && MarkStepDone(&state.journal, step.step, stamp);
        if (g_stepObserver != nullptr) g_stepObserver->after(g_stepObserver->context, step.step, done);
        if (!done) return FailApply(dialog, state);
    }
    // The bar stands full behind the last message, which its line repeats.
    ReportProgress(kUpdateCompletedMessage, 1, 1);
    OsShowMessage(dialog, state.caption, kUpdateCompletedMessage);
    return kDialogApplied;
}
