// Diagnostics and log events that end with the system's reason for the last
// failure of this thread (OsDescribeLastError): the one way a failed system
// call becomes a line for a person to read. Call them right after the
// failure, before any other operation.
#pragma once

// LogDiagnostic of the formatted text, ": " and the reason.
void DiagnoseLastError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// LogEvent of the same, for a failure the player is never told of.
void LogLastError(const char* format, ...) __attribute__((format(printf, 1, 2)));
