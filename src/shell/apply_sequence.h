// The update itself, run when the user presses the dialog's apply button.
#pragma once

struct PlatformWindow;

// Carries out the plan against g_installState's install folder, then tells
// the user the update is complete. The steps keep a fixed order: copy (the
// one step whose failure ends the update, with the write-failure message and
// result 0), delete, rename, byte patches, locating the save folder, then
// resetting the save data or converting the saves, and shortcuts. dialog
// owns the messages shown meanwhile. Returns the dialog's result: 1 when the
// update was applied, 0 when it failed.
int RunApplySequence(PlatformWindow* dialog);
