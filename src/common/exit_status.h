// Every exit status of the programs, with its name and its meaning: the
// updater's run, its check (updater --check) and updpack's commands. The
// usage texts, the log and the README's table are made from these rows.
// Launchers and publishers' scripts rely on the numbers: they never change.
#pragma once

#include <cstddef>
#include <string>

enum ExitStatus : int {
    // The updater's run.
    kExitApplied = 0,
    kExitCancelled = 1,
    kExitUsage = 2,
    kExitAlreadyRunning = 3,
    kExitScriptNotLoaded = 4,
    kExitNotInstalled = 5,
    kExitTooOld = 6,
    kExitWriteFailed = 7,
    kExitNotRecorded = 8,
    kExitDialogNotShown = 9,
    kExitNoMemory = 10,
    kExitDataDamaged = 11,
    // updater --check.
    kCheckPassed = 0,
    kCheckFailed = 2,
    // updpack's commands.
    kUpdpackDone = 0,
    kUpdpackFailed = 1,
    kUpdpackUsage = 2,
};

struct ExitStatusRow {
    int status;           // the number
    const char* name;     // a short name, for the log
    const char* meaning;  // for the usage texts and the README (Shift_JIS)
};

inline constexpr ExitStatusRow kUpdaterExitStatuses[] = {
    {kExitApplied, "applied", "applied, and the new version recorded"},
    {kExitCancelled, "cancelled", "cancelled: answered Cancel or 終了 (also a run without terminal and without --yes)"},
    {kExitUsage, "wrong usage", "wrong usage (an unknown option, a log file that cannot be opened)"},
    {kExitAlreadyRunning, "another updater is running",
     "another updater is running (on this machine, or on the same install folder), or its lock cannot be taken"},
    {kExitScriptNotLoaded, "script not loaded", "the script (Update.ini) is not found, unreadable or malformed"},
    {kExitNotInstalled, "game not installed", "the game is not installed"},
    {kExitTooOld, "installed version too old", "the installed version is too old for this update"},
    {kExitWriteFailed, "a file could not be written",
     "a file of the update could not be written; the next run finishes the update"},
    {kExitNotRecorded, "version not recorded", "applied, but the new version could not be recorded"},
    {kExitDialogNotShown, "dialog not shown", "the confirmation dialog could not be shown"},
    {kExitNoMemory, "not enough memory", "not enough memory: the run stopped, and the next run finishes the update"},
    {kExitDataDamaged, "update data damaged",
     "the update data (UpdateData.dat, or the Update.ini in it) is damaged: nothing was changed"},
};

inline constexpr ExitStatusRow kCheckExitStatuses[] = {
    {kCheckPassed, "passed", "the script loads and the package holds its sources"},
    {kCheckFailed, "failed", "otherwise"},
};

inline constexpr ExitStatusRow kUpdpackExitStatuses[] = {
    {kUpdpackDone, "done", "done (check: the update passed)"},
    {kUpdpackFailed, "failed", "failed (check: the update did not pass)"},
    {kUpdpackUsage, "wrong usage", "wrong usage"},
};

// The rows as a usage text lists them, one "  N  meaning" line each, after
// title and a line end.
template <size_t Count>
std::string ExitStatusLines(const char* title, const ExitStatusRow (&rows)[Count]) {
    std::string lines = std::string(title) + "\n";
    for (const ExitStatusRow& row : rows) lines += "  " + std::to_string(row.status) + "  " + row.meaning + "\n";
    return lines;
}

// The name of an updater's status for the log; "unknown" for another number.
inline const char* ExitStatusName(int status) {
    for (const ExitStatusRow& row : kUpdaterExitStatuses) {
        if (row.status == status) return row.name;
    }
    return "unknown";
}
