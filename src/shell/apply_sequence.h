// The update itself, run when the user presses the dialog's apply button.
#pragma once

struct PlatformWindow;

// Carries out the plan in its fixed order against g_installState's install
// folder, then tells the user the update is complete. dialog owns the
// messages shown meanwhile. Returns the dialog's result: 1 when the update was
// applied, 0 when it failed.
int RunApplySequence(PlatformWindow* dialog);
