// The update itself, run when the user presses the dialog's apply button.
#pragma once

#include "install/update_journal.h"

struct PlatformWindow;

// Told of each step of the update that runs, before it runs and after it
// ended (done non-zero when its changes are made and flushed), so that
// updpack try can look at the install folder between the steps.
struct ApplyStepObserver {
    void (*before)(void* context, UpdateStep step);
    void (*after)(void* context, UpdateStep step, int done);
    void* context;
};

// Sets the observer of the steps RunApplySequence runs from now on; nullptr
// for none (the updater has none).
void SetApplyStepObserver(const ApplyStepObserver* observer);

// Carries out the plan against g_installState's install folder, then tells
// the user the update is complete. The steps keep a fixed order: copy,
// delete, rename, byte patches, locating the save folder, then resetting the
// save data or converting the saves, and shortcuts. The saves are left as
// they are when the installed version is the target or above: they were
// converted when it was applied.
//
// g_installState's journal records each step once its changes are flushed;
// a step it marks done, by this run or an interrupted earlier one of the same
// update, is skipped. A step that fails ends the update with the
// write-failure message, under which a line tells the cause when it is
// known, and the next run resumes there. dialog
// owns the messages shown meanwhile. Returns the dialog's result:
// kDialogApplied when the update was applied, kDialogApplyFailed when it
// failed.
int RunApplySequence(PlatformWindow* dialog);
