// What a run of the updater came to, as the exit status of both programs.
// Launchers and publishers' scripts rely on these numbers: they never change.
#pragma once

enum UpdaterExitStatus : int {
    kExitApplied = 0,          // applied, and the new version recorded
    kExitCancelled = 1,        // answered Cancel or 終了 (also: no terminal, no --yes)
    kExitUsage = 2,            // a command line the program does not understand
    kExitAlreadyRunning = 3,   // another updater is running, or its lock cannot be taken
    kExitScriptNotLoaded = 4,  // Update.ini not found, unreadable or malformed
    kExitNotInstalled = 5,     // the registry names no installed game
    kExitTooOld = 6,           // the installed version is below SupportVersion
    kExitWriteFailed = 7,      // a file of the update could not be written
    kExitNotRecorded = 8,      // applied, but the new version could not be recorded
    kExitDialogNotShown = 9,   // the confirmation dialog could not be shown
};

// The statuses as both programs' --help lists them.
inline constexpr char kExitStatusHelp[] =
    "Exit status:\n"
    "  0  applied, and the new version recorded\n"
    "  1  cancelled (answered Cancel or 終了, or no terminal without --yes)\n"
    "  2  wrong usage\n"
    "  3  another updater is running (here or on the same game), or its lock\n"
    "     cannot be taken\n"
    "  4  the script (Update.ini) is not found, unreadable or malformed\n"
    "  5  the game is not installed\n"
    "  6  the installed version is too old for this update\n"
    "  7  a file of the update could not be written; the next run finishes it\n"
    "  8  applied, but the new version could not be recorded\n"
    "  9  the confirmation dialog could not be shown\n"
    "With --check: 0 when the script loads and the package holds its sources, 2\n"
    "otherwise.\n";

// A short English name of status for the log ("applied", "cancelled", ...).
const char* ExitStatusName(int status);
