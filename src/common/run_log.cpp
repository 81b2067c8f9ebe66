#include "common/run_log.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "common/sjis_text.h"

namespace {

constexpr size_t kLineSize = 1024;  // a line holds at most 1023 bytes; longer ones are cut

RunLogLineSink g_logFileSink = nullptr;
RunLogLineSink g_diagnosticSink = nullptr;
RunLogProgressSink g_progressSink = nullptr;

// Formats into line, cut at a character boundary when it does not fit.
__attribute__((format(printf, 2, 0))) void FormatLine(char (&line)[kLineSize], const char* format, va_list args) {
    char whole[4 * kLineSize];
    std::vsnprintf(whole, sizeof whole, format, args);
    CopyText(line, whole);
}

void AppendToLog(const char* text) {
    if (g_logFileSink == nullptr) return;
    char stamp[32] = {};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (const std::tm* converted = std::localtime(&now)) local = *converted;
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    char line[kLineSize];
    FormatText(line, sizeof line, "%s %s", stamp, text);
    g_logFileSink(line);
}

}  // namespace

void SetLogFileSink(RunLogLineSink sink) {
    g_logFileSink = sink;
}

void SetDiagnosticSink(RunLogLineSink sink) {
    g_diagnosticSink = sink;
}

void SetProgressSink(RunLogProgressSink sink) {
    g_progressSink = sink;
}

void LogEvent(const char* format, ...) {
    if (g_logFileSink == nullptr) return;
    char text[kLineSize];
    va_list args;
    va_start(args, format);
    FormatLine(text, format, args);
    va_end(args);
    AppendToLog(text);
}

void LogDiagnostic(const char* format, ...) {
    if (g_logFileSink == nullptr && g_diagnosticSink == nullptr) return;
    char text[kLineSize];
    va_list args;
    va_start(args, format);
    FormatLine(text, format, args);
    va_end(args);
    char line[kLineSize];
    FormatText(line, sizeof line, "updater: %s", text);
    if (g_diagnosticSink != nullptr) g_diagnosticSink(line);
    AppendToLog(line);
}

void ReportProgress(const char* name, uint64_t done, uint64_t total) {
    if (g_progressSink != nullptr) g_progressSink(name, done, total);
}
