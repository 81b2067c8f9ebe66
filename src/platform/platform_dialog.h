// The dialog, message boxes and the console.
//
// Part of the narrow interface between the program and the operating system
// (see platform_files.h for its conventions).
#pragma once

#include <string>

// The running program's module, handed on to the dialog; nullptr where the
// platform needs none.
struct PlatformModule;

// User interface -----------------------------------------------------------

// A window that owns message boxes; nullptr for none.
struct PlatformWindow;

// Shows a modal message box with text, caption and one OK button, no icon,
// owned by owner.
void OsShowMessage(PlatformWindow* owner, const char* caption, const char* text);

// Asks an OK/Cancel question in a modal message box without owner. Returns 1
// for OK, 0 for Cancel (or when nobody can answer).
int OsAskOkCancel(const char* caption, const char* text);

// The confirmation dialog's run-time texts: installed version, install
// folder, update sentence, save-data note (controls 1000 to 1003).
constexpr int kDialogTextCount = 4;

// What the confirmation dialog came to.
enum DialogResult : int {
    kDialogNotShown = -1,     // the dialog could not be opened
    kDialogEnded = 0,         // its end button or its close command: nothing applied
    kDialogApplied = 1,       // the apply button, and the update was applied
    kDialogApplyFailed = 2,   // the apply button, and the update failed
};

// Shows the modal confirmation dialog with caption and controlTexts. Its
// apply button calls apply (the dialog owns its messages) and the dialog ends
// with apply's result; its end button and close command end it with
// kDialogEnded. Returns a DialogResult.
int OsRunUpdateDialog(PlatformModule* module, const char* caption,
                      const char* const controlTexts[kDialogTextCount],
                      int (*apply)(PlatformWindow* dialog));

// Console ------------------------------------------------------------------

// Write text to standard output or standard error, converted from Shift_JIS
// to UTF-8 (on Windows, to the console itself when one is attached). A byte
// or pair that is no Shift_JIS character comes out as U+FFFD.
void OsWriteOutput(const char* text);
void OsWriteError(const char* text);

// Write utf8, a text that is UTF-8 already (the plan's JSON, an argument), to
// standard output or standard error: as it is into a pipe or a file, as its
// characters onto a Windows console.
void OsWriteUtf8Output(const char* utf8);
void OsWriteUtf8Error(const char* utf8);

// text converted from Shift_JIS to UTF-8 whole. Returns 0 when it holds a
// byte or pair that is no Shift_JIS character.
int OsTextToUtf8(const char* text, std::string* utf8);

// text converted from Shift_JIS to UTF-8, as OsWriteOutput writes it into a
// pipe or a file: a byte or pair that is no Shift_JIS character becomes
// U+FFFD, so the result is always valid UTF-8.
std::string OsTextAsUtf8(const char* text);
