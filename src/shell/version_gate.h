// The version gate: which of the script's versions apply to the installed
// edition, and whether the update may go on to the confirmation dialog.
//
// Pure functions over version numbers, so that every decision can be checked
// without a registry or a window.
#pragma once

#include "common/version.h"
#include "script/update_plan.h"

// The script's three versions for one edition.
struct EditionVersions {
    VersionNumber newVersion;      // NewVersion: what the update installs
    VersionNumber supportVersion;  // SupportVersion: the oldest version it updates
    VersionNumber saveVersion;     // SaveVersion: the oldest version whose saves carry over
};

// The members of settings' version pairs for the edition that addContents
// selects (non-zero: the add-contents edition).
EditionVersions ChooseEditionVersions(const UpdateSettings& settings, uint32_t addContents);

// 1 when the already-applied question must be asked: the installed version is
// not below the new one.
int AsksApplyAgain(VersionNumber installed, VersionNumber newVersion);

enum GateOutcome {
    kGateOpenDialog,  // show the confirmation dialog
    kGateDeclined,    // the already-applied question was answered Cancel
    kGateTooOld,      // the installed version is below SupportVersion
};

// The gate's decision. applyAgainAnswer is the answer to the already-applied
// question (1 OK, 0 Cancel) and is looked at only when that question is asked.
GateOutcome DecideVersionGate(VersionNumber installed, const EditionVersions& versions,
                              int applyAgainAnswer);

// 1 when the update keeps the save data: the installed version is not below
// the edition's SaveVersion. Otherwise the save data is removed.
int KeepsSaveData(VersionNumber installed, VersionNumber saveVersion);
