// The whole life of the updater: single instance, script, registry, version
// gate, confirmation dialog and the record of the new version.
#pragma once

#include "shell/install_state.h"

struct PlatformModule;

// Runs the updater once. module is handed on to the dialog. Returns what the
// run came to, an ExitStatus: kExitApplied when the update was applied
// and the new version recorded in the registry. Every step goes to the log,
// and every failure gets a diagnostic line with its cause (run_log.h).
int RunUpdater(PlatformModule* module);

// What RunUpdater does once the script is loaded (the plan filled), taking
// no instance mutex: the registry, the version gate, the dialog and the
// record of the new version, with the install folder locked. updpack try
// runs it on a copy of a game. Returns an ExitStatus.
int RunLoadedUpdate(PlatformModule* module);
