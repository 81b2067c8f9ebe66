// The whole life of the updater: single instance, script, registry, version
// gate, confirmation dialog and the record of the new version.
#pragma once

#include "shell/install_state.h"

struct PlatformModule;

// Runs the updater once. module is handed on to the dialog. Returns 1 when
// the update was applied and the new version recorded in the registry, 0
// for every other outcome (another instance running, a refusal, a cancelled
// or failed update, a registry error).
int RunUpdater(PlatformModule* module);

// The program's entry as the Windows program runs it: RunUpdater, then 0
// whatever the outcome.
int UpdaterMain(PlatformModule* module);
