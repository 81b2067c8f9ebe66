#include "shell/version_gate.h"

EditionVersions ChooseEditionVersions(const UpdateSettings& settings, uint32_t addContents) {
    return EditionVersions{
        ForEdition(settings.newVersion, addContents),
        ForEdition(settings.supportVersion, addContents),
        ForEdition(settings.saveVersion, addContents),
    };
}

int AsksApplyAgain(VersionNumber installed, VersionNumber newVersion) {
    return installed >= newVersion;
}

GateOutcome DecideVersionGate(VersionNumber installed, const EditionVersions& versions,
                              int applyAgainAnswer) {
    if (AsksApplyAgain(installed, versions.newVersion) && applyAgainAnswer != 1) return kGateDeclined;
    // Asked or not, a version below SupportVersion is refused: with
    // SupportVersion above NewVersion the too-old message follows an OK.
    if (installed < versions.supportVersion) return kGateTooOld;
    return kGateOpenDialog;
}

int KeepsSaveData(VersionNumber installed, VersionNumber saveVersion) {
    return installed >= saveVersion;
}
