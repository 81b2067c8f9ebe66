// The record of one run, for the people who look after it: events for the
// log file (--log FILE), diagnostic lines that give the cause of a failure,
// and the progress of the update. Each goes to a sink that the program's main
// sets; without a sink it goes nowhere, so the core can report everything
// whether or not anybody listens.
//
// Texts are Shift_JIS like every text of the program; the sinks convert.
#pragma once

#include <cstdint>

// Receives one line without its line end.
using RunLogLineSink = void (*)(const char* line);

// Receives the progress of the update: the name of the file being worked on
// (empty when none), and how far the current step has come, done of total.
using RunLogProgressSink = void (*)(const char* name, uint64_t done, uint64_t total);

// Sets or, with nullptr, removes a sink.
void SetLogFileSink(RunLogLineSink sink);
void SetDiagnosticSink(RunLogLineSink sink);
void SetProgressSink(RunLogProgressSink sink);

// Appends one event to the log, after the local date and time.
void LogEvent(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes a diagnostic line, "updater: " and the text, for a person to read,
// and appends it to the log as an event.
void LogDiagnostic(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Tells the progress sink how far the update has come.
void ReportProgress(const char* name, uint64_t done, uint64_t total);
