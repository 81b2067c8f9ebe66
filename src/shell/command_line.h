// The front door of both updater programs: one command line, one usage text.
#pragma once

struct PlatformModule;

// Runs the updater program with main's argc and argv (the Windows entry
// point passes 0 and nullptr): an update, the check of a folder's script,
// the usage or the version. Returns an ExitStatus (common/exit_status.h; with
// --check, the check's).
int RunUpdaterProgram(PlatformModule* module, int argc, char** argv);
