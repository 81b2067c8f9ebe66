#include "platform/last_error.h"

#include <cstdarg>
#include <cstdio>

#include "common/run_log.h"
#include "platform/platform.h"

namespace {

constexpr size_t kTextSize = 1024;

// The formatted text and the reason, the reason told first so that nothing
// meanwhile changes the last error.
__attribute__((format(printf, 3, 0))) void Describe(char (&text)[kTextSize], char (&reason)[kTextSize],
                                                    const char* format, va_list args) {
    OsDescribeLastError(reason, sizeof reason);
    std::vsnprintf(text, sizeof text, format, args);
}

}  // namespace

void DiagnoseLastError(const char* format, ...) {
    char text[kTextSize];
    char reason[kTextSize];
    va_list args;
    va_start(args, format);
    Describe(text, reason, format, args);
    va_end(args);
    LogDiagnostic("%s: %s", text, reason);
}

void LogLastError(const char* format, ...) {
    char text[kTextSize];
    char reason[kTextSize];
    va_list args;
    va_start(args, format);
    Describe(text, reason, format, args);
    va_end(args);
    LogEvent("%s: %s", text, reason);
}
