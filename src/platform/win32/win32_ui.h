// How the Win32 layer shows its windows: as windows, or not at all when the
// program runs unattended.
#pragma once

// --yes: no window is shown. Every message, question and the dialog's texts
// go to standard output as the plain lines of plain_dialog.h, and every
// question is answered OK / apply.
void SetWin32Unattended(bool unattended);
