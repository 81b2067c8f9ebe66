#include "shell/updater_main.h"

#include <cstring>
#include <string>

#include "common/exit_status.h"
#include "common/failure_note.h"
#include "common/run_log.h"
#include "common/sjis_text.h"
#include "install/update_journal.h"
#include "package/package_digests.h"
#include "package/package_format.h"
#include "platform/last_error.h"
#include "platform/platform_dialog.h"
#include "platform/platform_files.h"
#include "platform/platform_journal.h"
#include "platform/platform_process.h"
#include "platform/platform_registry.h"
#include "script/rule_tables.h"
#include "script/script_faults.h"
#include "script/script_loader.h"
#include "script/update_plan.h"
#include "shell/apply_sequence.h"
#include "shell/cause_message.h"
#include "shell/install_state.h"
#include "shell/shell_texts.h"
#include "shell/version_gate.h"

namespace {

constexpr char kInstanceMutexName[] = "VELDOROUPDATE Ver1.10";
constexpr char kInstallFolderValue[] = "InstallFolder";
constexpr char kVersionValue[] = "Version";
constexpr char kAddContentsValue[] = "AddContents";
constexpr VersionNumber kVersionWhenAbsent = 1000;

// What a stage of the run returns to let the run go on to the next; any
// other value is the ExitStatus to end with. No exit status is negative.
constexpr int kGoOn = -1;

// What the registry says of the installed game.
enum InstallLookup {
    kGameNotInstalled,    // no key, or no install folder named
    kGameInstalled,       // state holds the install folder and the values
    kGameFolderUnusable,  // the install folder has no path the program can use
};

// Reads InstallFolder, Version and AddContents from the script's registry
// key into state. A folder whose path Shift_JIS cannot hold and that has no
// short form is left in state.installFolder as the registry names it, with
// '?' for what Shift_JIS lacks.
InstallLookup ReadInstallState(InstallState& state, const char* subkey) {
    PlatformRegistryKey* key = OsOpenRegistryKey(subkey);
    if (key == nullptr) {
        DiagnoseLastError("registry key HKEY_CURRENT_USER\\%s cannot be opened", subkey);
        return kGameNotInstalled;
    }
    std::memset(state.installFolder, 0, sizeof state.installFolder);
    const int folder = OsQueryRegistryFolder(key, kInstallFolderValue, state.installFolder,
                                             sizeof state.installFolder);
    if (folder == kRegistryFolderUnusable) {
        OsCloseRegistryKey(key);
        return kGameFolderUnusable;
    }
    const InstallLookup installed =
        folder == kRegistryFolderRead && state.installFolder[0] != '\0' ? kGameInstalled : kGameNotInstalled;
    if (installed == kGameInstalled) {
        if (!OsQueryRegistryNumber(key, kVersionValue, &state.installedVersion)) {
            state.installedVersion = kVersionWhenAbsent;
        }
        if (!OsQueryRegistryNumber(key, kAddContentsValue, &state.addContents)) {
            state.addContents = 0;
        }
    } else {
        LogDiagnostic("registry key HKEY_CURRENT_USER\\%s has no InstallFolder text (or an empty one, or "
                      "one longer than 259 bytes)",
                      subkey);
    }
    OsCloseRegistryKey(key);
    return installed;
}

// Records version as the installed one. A key that cannot be reopened and a
// value that cannot be written are both reported: the update is applied,
// but its version is not recorded. Returns 1 when recorded.
int RecordInstalledVersion(const char* subkey, VersionNumber version) {
    PlatformRegistryKey* key = OsOpenRegistryKey(subkey);
    const int recorded = key != nullptr && OsSetRegistryBinaryNumber(key, kVersionValue, version);
    if (!recorded) {
        DiagnoseLastError("Version %u cannot be recorded in HKEY_CURRENT_USER\\%s", version, subkey);
    }
    OsCloseRegistryKey(key);
    if (!recorded) OsShowMessage(nullptr, g_installState.caption, kRegistryErrorMessage);
    if (recorded) LogEvent("registry: Version %u recorded", version);
    return recorded;
}

// Tells why the script did not load: which file, and the cause.
void DiagnoseScriptLoad(int result, const char* scriptPath, const std::string& reason) {
    switch (result) {
    case kScriptNotFound:
        LogDiagnostic("%s: found neither beside the updater nor in %s there", scriptPath, kPackageFileName);
        break;
    case kScriptNoMemory:
        LogDiagnostic("%s: no memory for the script", scriptPath);
        break;
    case kScriptUnreadable:
        LogDiagnostic("%s: cannot be read whole", scriptPath);
        break;
    case kScriptMalformed:
        LogDiagnostic("%s", reason.c_str());
        break;
    case kScriptTooLarge:
        LogDiagnostic("%s: %s", scriptPath, kScriptTooLargeReason);
        break;
    case kScriptDamaged:
        LogDiagnostic("%s in %s does not match its SHA-256: the package is damaged", scriptPath, kPackageFileName);
        ClearFailureNote();
        NoteFailure(kCauseDamaged, kScriptFileName);
        break;
    }
}

// Shows the confirmation dialog with its run-time texts. Returns its
// DialogResult.
int ConfirmAndApply(PlatformModule* module, const InstallState& state,
                    const EditionVersions& versions) {
    char installedText[kInstalledVersionTextSize];
    char updateSentence[kMessageSize];
    FormatInstalledVersionText(installedText, state.installedVersion);
    FormatUpdateSentence(updateSentence, g_settings.appTitle, state.targetVersionText);
    const char* const controlTexts[kDialogTextCount] = {
        installedText,
        state.installFolder,
        updateSentence,
        SaveDataNote(state.installedVersion, versions.saveVersion),
    };
    return OsRunUpdateDialog(module, state.caption, controlTexts, RunApplySequence);
}

// Makes the program's folder current and tells the log which it is.
// Returns 1, or 0 after a diagnostic when it cannot be entered.
int EnterProgramFolder(InstallState& state) {
    if (!OsEnterProgramFolder(state.programFolder, sizeof state.programFolder)) {
        DiagnoseLastError("the program's folder cannot be told or entered");
        return 0;
    }
    LogEvent("program folder: %s", state.programFolder[0] != '\0'
                                       ? state.programFolder
                                       : "(entered; its path has characters Shift_JIS lacks)");
    return 1;
}

// Reads the package's directory and digest list, when there is a package,
// before anything in it is used, so that a package cut short or damaged is
// refused before the player is asked anything. Returns 1 when it may be
// used, or 0 after telling the player it is damaged.
int CheckPackageBeforeUse(const char* caption) {
    PackageDigests digests;
    char message[kPackageMessageSize];
    const int result = ReadPackageDigests(kPackageFileName, &digests, message, sizeof message);
    if (result == kDigestsListed) {
        LogEvent("%s: %u members, each with its SHA-256", kPackageFileName, digests.directory.count);
    } else if (result == kDigestsAbsent) {
        LogEvent("%s: %u members, with no digest list: damage cannot be told", kPackageFileName,
                 digests.directory.count);
    }
    ReleasePackageDigests(&digests);
    if (result != kPackageDamaged) return 1;
    LogDiagnostic("%s", message);
    ClearFailureNote();
    NoteFailure(kCauseDamaged, kPackageFileName);
    ShowMessageWithCause(nullptr, caption, "");
    return 0;
}

// Loads the script of the program's folder, which is current, telling the
// log what came of it. Returns a ScriptLoadResult.
int LoadScriptOfProgramFolder(const InstallState& state) {
    char scriptPath[kPathFieldSize];
    // When the folder's path has no Shift_JIS form, the script is named
    // relative to it. A script path that would not fit is no script the
    // program can find.
    if (!FormatText(scriptPath, sizeof scriptPath, "%s%s", state.programFolder, kScriptFileName)) {
        LogDiagnostic("the program's folder %s is too long for a path", state.programFolder);
        return kScriptNotFound;
    }
    std::string reason;
    const int result = LoadUpdateScriptExplained(scriptPath, &reason);
    if (result == kScriptLoaded) {
        LogEvent("script loaded: %s; %u copies, %u deletes, %u renames, %u shortcuts, %u patches, %u save rules",
                 g_settings.appTitle, g_copyTable.count, g_deleteTable.count, g_renameTable.count,
                 g_shortcutTable.count, g_filePatchTable.count, g_convertRuleTable.count);
    } else {
        DiagnoseScriptLoad(result, scriptPath, reason);
    }
    return result;
}

// Takes the install folder's journal, which is also its lock. Returns kGoOn
// once this run holds it, else the status to end with.
int LockInstallFolder(InstallState& state) {
    ClearFailureNote();
    const int opened = OpenUpdateJournal(state.installFolder, g_settings.registrySubkey, &state.journal);
    if (opened == kJournalOpened) return kGoOn;
    switch (opened) {
    case kJournalHeld:
        LogDiagnostic("another updater is working on %s", state.installFolder);
        return kExitAlreadyRunning;
    case kJournalNotCreated:
        DiagnoseFileError(state.installFolder, "the update journal cannot be created in %s", state.installFolder);
        ShowMessageWithCause(nullptr, state.caption, kWriteFailedMessage);
        return kExitWriteFailed;
    case kJournalNotAFile:
        LogDiagnostic("the update journal cannot be created in %s: Update.journal-* there is no file but a "
                      "folder, a pipe, a device or a link; remove it",
                      state.installFolder);
        OsShowMessage(nullptr, state.caption, kWriteFailedMessage);
        return kExitWriteFailed;
    default:
        DiagnoseLastError("the install folder %s cannot be locked", state.installFolder);
        return kExitAlreadyRunning;
    }
}

// Reads the installed game from the registry and locks its install folder.
// Another updater may have finished between the first reading and the lock,
// so the registry is read again under the lock. Returns kGoOn when the game
// is installed and its folder locked, else the status to end with.
int FindAndLockInstall(InstallState& state) {
    char message[kMessageSize];
    InstallLookup lookup = ReadInstallState(state, g_settings.registrySubkey);
    // A folder that is not there is a game that is not installed (any more),
    // not a file that cannot be written.
    if (lookup == kGameInstalled && OsFolderIsMissing(state.installFolder)) {
        LogDiagnostic("the install folder %s does not exist", state.installFolder);
        ClearFailureNote();
        NoteFailure(kCauseFolderMissing, state.installFolder);
        FormatNotInstalledMessage(message, g_settings.appTitle);
        ShowMessageWithCause(nullptr, state.caption, message);
        return kExitNotInstalled;
    }
    if (lookup == kGameInstalled) {
        char lockedFolder[kPathFieldSize];
        CopyText(lockedFolder, state.installFolder);
        const int locked = LockInstallFolder(state);
        if (locked != kGoOn) return locked;
        lookup = ReadInstallState(state, g_settings.registrySubkey);
        if (lookup == kGameInstalled && std::strcmp(lockedFolder, state.installFolder) != 0) {
            LogDiagnostic("InstallFolder changed to %s while the updater locked %s", state.installFolder,
                          lockedFolder);
            return kExitAlreadyRunning;
        }
    }
    switch (lookup) {
    case kGameNotInstalled:
        FormatNotInstalledMessage(message, g_settings.appTitle);
        OsShowMessage(nullptr, state.caption, message);
        return kExitNotInstalled;
    case kGameFolderUnusable:
        LogDiagnostic("InstallFolder %s has characters Shift_JIS lacks, and no short name", state.installFolder);
        FormatUnusableFolderMessage(message, state.installFolder);
        OsShowMessage(nullptr, state.caption, message);
        return kExitNotInstalled;
    case kGameInstalled:
        break;
    }
    LogEvent("registry: InstallFolder \"%s\", Version %u, AddContents %u", state.installFolder,
             state.installedVersion, state.addContents);
    return kGoOn;
}

// The version gate, the dialog and the record of the new version, with the
// install folder locked. Returns an ExitStatus.
int GateAndApply(PlatformModule* module, InstallState& state) {
    char message[kMessageSize];
    const EditionVersions versions = ChooseEditionVersions(g_settings, state.addContents);
    FormatTargetVersionText(state.targetVersionText, versions.newVersion);
    LogEvent("edition: %s; installed %u, NewVersion %u, SupportVersion %u, SaveVersion %u",
             state.addContents != 0 ? "add-contents" : "standard", state.installedVersion, versions.newVersion,
             versions.supportVersion, versions.saveVersion);
    int applyAgainAnswer = 1;
    if (AsksApplyAgain(state.installedVersion, versions.newVersion)) {
        applyAgainAnswer = OsAskOkCancel(state.caption, kApplyAgainQuestion);
        LogEvent("already applied; apply again: %s", applyAgainAnswer ? "OK" : "Cancel");
    }
    switch (DecideVersionGate(state.installedVersion, versions, applyAgainAnswer)) {
    case kGateDeclined:
        return kExitCancelled;
    case kGateTooOld:
        LogDiagnostic("installed version %u is below SupportVersion %u", state.installedVersion,
                      versions.supportVersion);
        FormatTooOldMessage(message, versions.supportVersion);
        OsShowMessage(nullptr, state.caption, message);
        return kExitTooOld;
    case kGateOpenDialog:
        break;
    }

    switch (ConfirmAndApply(module, state, versions)) {
    case kDialogApplied:
        break;
    case kDialogApplyFailed:
        return NotedFailure().cause == kCauseDamaged ? kExitDataDamaged : kExitWriteFailed;
    case kDialogNotShown:
        DiagnoseLastError("the confirmation dialog cannot be shown");
        return kExitDialogNotShown;
    default:
        LogEvent("dialog: ended without applying");
        return kExitCancelled;
    }
    state.installedVersion = versions.newVersion;
    return RecordInstalledVersion(g_settings.registrySubkey, versions.newVersion) ? kExitApplied
                                                                                   : kExitNotRecorded;
}

// Everything after the mutex is taken. Returns an ExitStatus.
int RunGuarded(PlatformModule* module) {
    InstallState& state = g_installState;
    CopyText(state.caption, kUpdaterCaption);

    if (!EnterProgramFolder(state)) {
        OsShowMessage(nullptr, state.caption, ScriptLoadMessage(kScriptNotFound));
        return kExitScriptNotLoaded;
    }
    if (!CheckPackageBeforeUse(state.caption)) return kExitDataDamaged;
    const int loadResult = LoadScriptOfProgramFolder(state);
    if (loadResult == kScriptDamaged) {
        ShowMessageWithCause(nullptr, state.caption, ScriptLoadMessage(loadResult));
        return kExitDataDamaged;
    }
    if (loadResult != kScriptLoaded) {
        OsShowMessage(nullptr, state.caption, ScriptLoadMessage(loadResult));
        return kExitScriptNotLoaded;
    }
    return RunLoadedUpdate(module);
}

}  // namespace

int RunLoadedUpdate(PlatformModule* module) {
    InstallState& state = g_installState;
    FormatTitledCaption(state.caption, g_settings.appTitle);
    state.addContents = 0;
    state.saveFolder[0] = '\0';
    int status = FindAndLockInstall(state);
    if (status == kGoOn) status = GateAndApply(module, state);
    // Once the version is recorded the journal has served; otherwise it
    // keeps what is done for the next run.
    CloseUpdateJournal(&state.journal, status == kExitApplied);
    return status;
}

int RunUpdater(PlatformModule* module) {
    PlatformMutex* mutex = nullptr;
    int status = kExitAlreadyRunning;
    if (OsTakeInstanceMutex(kInstanceMutexName, &mutex)) {
        status = RunGuarded(module);
        OsReleaseInstanceMutex(mutex);
    } else {
        DiagnoseLastError("another updater is running, or the instance lock cannot be taken");
    }
    LogEvent("outcome: %s, exit status %d", ExitStatusName(status), status);
    return status;
}
