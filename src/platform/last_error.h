// Diagnostics and log events that end with the system's reason for the last
// failure of this thread (OsDescribeLastError): the one way a failed system
// call becomes a line for a person to read. Call them right after the
// failure, before any other operation.
#pragma once

// LogDiagnostic of the formatted text, ": " and the reason; the failure is
// noted for the player (common/failure_note.h) with its cause.
void DiagnoseLastError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The same for a failure on the file or folder at path, which the note names.
void DiagnoseFileError(const char* path, const char* format, ...) __attribute__((format(printf, 2, 3)));

// LogEvent of the same, for a failure the player is never told of.
void LogLastError(const char* format, ...) __attribute__((format(printf, 1, 2)));
