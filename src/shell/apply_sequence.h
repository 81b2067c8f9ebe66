// The update itself, run when the user presses the dialog's apply button.
#pragma once

struct PlatformWindow;

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
