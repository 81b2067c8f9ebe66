// The program's own messages with the cause of a failure under them.
#pragma once

struct PlatformWindow;

// Shows message (may be empty), owned by owner, with the line that tells the
// noted failure's cause (common/failure_note.h) under it, and writes that
// line as a diagnostic too, so that the log, standard error and the window
// say the same. A cause without words leaves message as it is.
void ShowMessageWithCause(PlatformWindow* owner, const char* caption, const char* message);
