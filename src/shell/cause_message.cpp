#include "shell/cause_message.h"

#include "common/failure_note.h"
#include "common/run_log.h"
#include "common/sjis_text.h"
#include "platform/platform_dialog.h"
#include "shell/shell_texts.h"

void ShowMessageWithCause(PlatformWindow* owner, const char* caption, const char* message) {
    char cause[kCauseLineSize];
    if (!FormatCauseLine(cause, NotedFailure())) {
        OsShowMessage(owner, caption, message);
        return;
    }
    LogDiagnostic("%s", cause);
    char text[kMessageSize + kCauseLineSize];
    FormatText(text, sizeof text, "%s%s%s", message, message[0] != '\0' ? "\n" : "", cause);
    OsShowMessage(owner, caption, text);
}
