#include "platform/last_error.h"

#include <cstdarg>
#include <cstdio>

#include "common/run_log.h"
#include "platform/platform.h"

namespace {

constexpr size_t kTextSize = 1024;

// Formats the text, ": " and the reason for the last failure, the reason
// told first so that nothing meanwhile changes the last error; then hands the
// line to the log as a diagnostic or as an event.
__attribute__((format(printf, 2, 0))) void Report(bool diagnostic, const char* format, va_list args) {
    char reason[kTextSize];
    char text[kTextSize];
    OsDescribeLastError(reason, sizeof reason);
    std::vsnprintf(text, sizeof text, format, args);
    if (diagnostic) {
        LogDiagnostic("%s: %s", text, reason);
    } else {
        LogEvent("%s: %s", text, reason);
    }
}

}  // namespace

void DiagnoseLastError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Report(true, format, args);
    va_end(args);
}

void LogLastError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Report(false, format, args);
    va_end(args);
}
