#include "platform/last_error.h"

#include <cstdarg>
#include <cstdio>

#include "common/failure_note.h"
#include "common/run_log.h"
#include "platform/platform_process.h"

namespace {

constexpr size_t kTextSize = 1024;

// Who a failure is reported to: the player too, or only the log.
enum Audience { kToPlayer, kToLog };

// Formats the text, ": " and the reason for the last failure, the cause and
// the reason told first so that nothing meanwhile changes the last error;
// then hands the line to the log as a diagnostic, noting the failure with
// path, or as an event.
__attribute__((format(printf, 3, 0))) void Report(Audience audience, const char* path, const char* format,
                                                  va_list args) {
    const int cause = OsLastFailureCause();
    char reason[kTextSize];
    char text[kTextSize];
    OsDescribeLastError(reason, sizeof reason);
    std::vsnprintf(text, sizeof text, format, args);
    if (audience == kToPlayer) {
        LogDiagnostic("%s: %s", text, reason);
        NoteFailure(cause, path);
    } else {
        LogEvent("%s: %s", text, reason);
    }
}

}  // namespace

void DiagnoseLastError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Report(kToPlayer, nullptr, format, args);
    va_end(args);
}

void DiagnoseFileError(const char* path, const char* format, ...) {
    va_list args;
    va_start(args, format);
    Report(kToPlayer, path, format, args);
    va_end(args);
}

void LogLastError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Report(kToLog, nullptr, format, args);
    va_end(args);
}
