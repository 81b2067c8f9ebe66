// The crash-testing platform layer: counts every change of the disk that the
// platform layer makes and, at a chosen one, ends the process at once (as a
// kill or a power cut would, before the change) or fails the change with a
// chosen error (as a failing disk would). Linked into the test builds of the
// updater only, in place of the programs' hook, which lets everything pass.
//
// Set by the environment:
//   UPDATER_CRASH_AT=N        the change to act on, counted from 1
//   UPDATER_CRASH_ERROR=NAME  fail it with EIO, ENOSPC, EACCES or EROFS
//                             instead of ending the process
//   UPDATER_CRASH_REPORT=FILE at the end of the run, write there how many
//                             changes were made ("changes N"), and which one
//                             was failed ("failed N KIND")
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "crash_errors.h"
#include "platform/disk_change_hook.h"

namespace {

// The status of a run that the layer ended: no status of the updater's own.
constexpr int kCrashStatus = 99;

constexpr const char* kChangeNames[] = {"create", "write", "flush", "swap", "delete",
                                        "rename", "folder", "registry", "link"};

struct CrashPlan {
    bool read;
    unsigned long crashAt;      // 0: never
    const char* error;          // nullptr: end the process
    const char* report;         // nullptr: no report
    unsigned long changes;      // counted so far
    unsigned long failedAt;     // the change failed, 0 for none
    DiskChange failedKind;
};

CrashPlan g_plan;

void WriteReport() {
    std::FILE* report = std::fopen(g_plan.report, "wb");
    if (report == nullptr) return;
    std::fprintf(report, "changes %lu\n", g_plan.changes);
    if (g_plan.failedAt != 0) std::fprintf(report, "failed %lu %s\n", g_plan.failedAt, kChangeNames[g_plan.failedKind]);
    std::fclose(report);
}

void ReadPlan() {
    g_plan.read = true;
    const char* at = std::getenv("UPDATER_CRASH_AT");
    g_plan.crashAt = at != nullptr ? std::strtoul(at, nullptr, 10) : 0;
    const char* error = std::getenv("UPDATER_CRASH_ERROR");
    g_plan.error = error != nullptr && error[0] != '\0' ? error : nullptr;
    const char* report = std::getenv("UPDATER_CRASH_REPORT");
    g_plan.report = report != nullptr && report[0] != '\0' ? report : nullptr;
    if (g_plan.report != nullptr) std::atexit(WriteReport);
}

}  // namespace

int AllowDiskChange(DiskChange change) {
    if (!g_plan.read) ReadPlan();
    ++g_plan.changes;
    if (g_plan.changes != g_plan.crashAt) return 1;
    if (g_plan.error == nullptr) {
        if (g_plan.report != nullptr) WriteReport();
        std::_Exit(kCrashStatus);
    }
    g_plan.failedAt = g_plan.changes;
    g_plan.failedKind = change;
    SetInjectedError(g_plan.error);
    return 0;
}
