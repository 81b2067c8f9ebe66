// Run-time state of one updater run: where things are and what is installed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/sjis_text.h"
#include "common/version.h"
#include "install/update_journal.h"

constexpr size_t kVersionTextFieldSize = 32;  // "Ver.%d.%03d" of any 32-bit value fits

struct InstallState {
    char programFolder[kPathFieldSize];  // the program's own folder, ending in '\'
    char installFolder[kPathFieldSize];  // registry value InstallFolder
    char saveFolder[kPathFieldSize];     // set while the update runs
    VersionNumber installedVersion;      // registry value Version; 1000 when absent
    uint32_t addContents;                // registry value AddContents; non-zero: add-contents edition
    char caption[kPathFieldSize];        // title of the dialog and every message box
    char targetVersionText[kVersionTextFieldSize];  // the chosen NewVersion as "Ver.1.02"
    UpdateJournal journal;               // the install folder's journal, open and locked while the run works on it
    bool copyAgain;                      // the copy was done, but what it left is gone: copied again in part
};

inline InstallState g_installState;
