#include "shell/updater_main.h"

#include <cstring>

#include "common/sjis_text.h"
#include "platform/platform.h"
#include "script/script_loader.h"
#include "script/update_plan.h"
#include "shell/apply_sequence.h"
#include "shell/install_state.h"
#include "shell/shell_texts.h"
#include "shell/version_gate.h"

namespace {

constexpr char kInstanceMutexName[] = "VELDOROUPDATE Ver1.10";
constexpr char kInstallFolderValue[] = "InstallFolder";
constexpr char kVersionValue[] = "Version";
constexpr char kAddContentsValue[] = "AddContents";
constexpr VersionNumber kVersionWhenAbsent = 1000;

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
    if (key == nullptr) return kGameNotInstalled;
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
    OsCloseRegistryKey(key);
    if (!recorded) OsShowMessage(nullptr, g_installState.caption, kRegistryErrorMessage);
    return recorded;
}

// Shows the confirmation dialog with its run-time texts. Returns its result:
// 1 when the update was applied.
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

// Everything after the mutex is taken. Returns 1 when the update was applied
// and recorded.
int RunGuarded(PlatformModule* module) {
    InstallState& state = g_installState;
    char message[kMessageSize];
    CopyText(state.caption, kUpdaterCaption);

    char scriptPath[kPathFieldSize];
    int loadResult = kScriptNotFound;
    // The program's folder is current: when its path has no Shift_JIS form,
    // the script is named relative to it. A script path that would not fit
    // is no script the program can find.
    if (OsEnterProgramFolder(state.programFolder, sizeof state.programFolder) &&
        FormatText(scriptPath, sizeof scriptPath, "%s%s", state.programFolder, kScriptFileName)) {
        loadResult = LoadUpdateScript(scriptPath);
    }
    if (loadResult != kScriptLoaded) {
        OsShowMessage(nullptr, state.caption, ScriptLoadMessage(loadResult));
        return 0;
    }

    FormatTitledCaption(state.caption, g_settings.appTitle);
    state.addContents = 0;
    switch (ReadInstallState(state, g_settings.registrySubkey)) {
    case kGameNotInstalled:
        FormatNotInstalledMessage(message, g_settings.appTitle);
        OsShowMessage(nullptr, state.caption, message);
        return 0;
    case kGameFolderUnusable:
        FormatUnusableFolderMessage(message, state.installFolder);
        OsShowMessage(nullptr, state.caption, message);
        return 0;
    case kGameInstalled:
        break;
    }

    const EditionVersions versions = ChooseEditionVersions(g_settings, state.addContents);
    FormatTargetVersionText(state.targetVersionText, versions.newVersion);
    int applyAgainAnswer = 1;
    if (AsksApplyAgain(state.installedVersion, versions.newVersion)) {
        applyAgainAnswer = OsAskOkCancel(state.caption, kApplyAgainQuestion);
    }
    switch (DecideVersionGate(state.installedVersion, versions, applyAgainAnswer)) {
    case kGateDeclined:
        return 0;
    case kGateTooOld:
        FormatTooOldMessage(message, versions.supportVersion);
        OsShowMessage(nullptr, state.caption, message);
        return 0;
    case kGateOpenDialog:
        break;
    }

    if (ConfirmAndApply(module, state, versions) != 1) return 0;
    state.installedVersion = versions.newVersion;
    return RecordInstalledVersion(g_settings.registrySubkey, versions.newVersion);
}

}  // namespace

int RunUpdater(PlatformModule* module) {
    PlatformMutex* mutex = nullptr;
    if (!OsTakeInstanceMutex(kInstanceMutexName, &mutex)) return 0;
    const int recorded = RunGuarded(module);
    OsReleaseInstanceMutex(mutex);
    return recorded;
}

int UpdaterMain(PlatformModule* module) {
    RunUpdater(module);
    return 0;
}
