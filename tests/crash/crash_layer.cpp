// The crash-testing platform layer: counts every change of the disk that the
// platform layer makes and, at a chosen one, ends the process at once (a
// kill), cuts the power (what was not flushed may be lost), or fails the
// change as a failing or full disk would; it can also fail a chosen read,
// listing or lock. Linked into the test builds of the updater only, in
// place of the programs' hooks, which let everything pass.
//
// Set by the environment:
//   UPDATER_CRASH_AT=N          the change to act on, counted from 1
//   UPDATER_CRASH_POWER=CUT     at change N, cut the power instead of ending
//                               the process: all (every unflushed change is
//                               lost), none, file:K or folder:K (the K-th
//                               file's data or folder's entries alone, from
//                               0, in the order first changed), mix:SEED
//   UPDATER_CRASH_STASH=DIR     where the power model keeps files removed or
//                               replaced meanwhile: a new folder on the
//                               volume the update changes
//   UPDATER_CRASH_NO_FLUSH=1    the power model takes no flush into account,
//                               as if the program never flushed
//   UPDATER_CRASH_ERROR=NAME    fail change N with EIO, ENOSPC, EACCES or
//                               EROFS instead of ending the process
//   UPDATER_CRASH_PERSIST=1     with an error, fail every change from N on,
//                               the first write coming back short: a disk
//                               that filled up
//   UPDATER_CRASH_READ=N, UPDATER_CRASH_LIST=N, UPDATER_CRASH_LOCK=N
//                               fail the N-th read, listing or lock with the
//                               error (EIO when none is named)
//   UPDATER_CRASH_TRACE=FILE    write there a line for each change: its
//                               number, its kind and the path it touches
//   UPDATER_CRASH_REPORT=FILE   at the end of the run, write there how many
//                               changes and accesses were made ("changes N",
//                               "reads N", "lists N", "locks N"), the change
//                               or access failed ("failed N KIND"), and at a
//                               power cut what was unflushed ("unflushed
//                               FILES FOLDERS")
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "crash_platform.h"
#include "platform/disk_change_hook.h"
#include "power_loss.h"

namespace {

// The status of a run that the layer ended: no status of the updater's own.
constexpr int kCrashStatus = 99;

constexpr const char* kChangeNames[kDiskChangeCount] = {
    "create", "write", "flush", "flush-volume", "flush-folder", "swap",     "delete",
    "discard", "rename", "folder", "registry", "flush-registry", "link",
};
constexpr const char* kAccessNames[kDiskAccessCount] = {"read", "list", "lock"};
constexpr const char* kAccessVariables[kDiskAccessCount] = {"UPDATER_CRASH_READ", "UPDATER_CRASH_LIST",
                                                            "UPDATER_CRASH_LOCK"};

struct CrashPlan {
    bool read;
    unsigned long crashAt;     // 0: never
    bool power;                // cut the power at crashAt
    PowerCut cut;
    const char* error;         // nullptr: end the process
    bool persist;              // fail every change from crashAt on
    const char* report;        // nullptr: no report
    std::FILE* trace;          // nullptr: no trace
    unsigned long changes;     // counted so far
    unsigned long accessAt[kDiskAccessCount];
    unsigned long accesses[kDiskAccessCount];
    unsigned long failedAt;    // the change or access failed first, 0 for none
    const char* failedKind;
    bool cutDone;
    uint32_t unflushedFiles;
    uint32_t unflushedFolders;
};

CrashPlan g_plan;

void WriteReport() {
    std::FILE* report = std::fopen(g_plan.report, "wb");
    if (report == nullptr) return;
    std::fprintf(report, "changes %lu\n", g_plan.changes);
    for (int access = 0; access < kDiskAccessCount; ++access)
        std::fprintf(report, "%ss %lu\n", kAccessNames[access], g_plan.accesses[access]);
    if (g_plan.failedAt != 0) std::fprintf(report, "failed %lu %s\n", g_plan.failedAt, g_plan.failedKind);
    if (g_plan.cutDone) std::fprintf(report, "unflushed %u %u\n", g_plan.unflushedFiles, g_plan.unflushedFolders);
    std::fclose(report);
}

unsigned long NumberFrom(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::strtoul(value, nullptr, 10) : 0;
}

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

// Reads a cut: all, none, file:K, folder:K or mix:SEED.
PowerCut CutFrom(const char* text) {
    const auto numberAfter = [&](const char* prefix) {
        return static_cast<uint32_t>(std::strtoul(text + std::strlen(prefix), nullptr, 10));
    };
    if (std::strncmp(text, "file:", 5) == 0) return PowerCut{kLoseOneFile, numberAfter("file:"), 0};
    if (std::strncmp(text, "folder:", 7) == 0) return PowerCut{kLoseOneFolder, numberAfter("folder:"), 0};
    if (std::strncmp(text, "mix:", 4) == 0) return PowerCut{kLoseSome, 0, numberAfter("mix:")};
    if (std::strcmp(text, "none") == 0) return PowerCut{kLoseNothing, 0, 0};
    return PowerCut{kLoseEverything, 0, 0};
}

void ReadPlan() {
    g_plan.read = true;
    g_plan.crashAt = NumberFrom("UPDATER_CRASH_AT");
    g_plan.error = IsSet("UPDATER_CRASH_ERROR") ? std::getenv("UPDATER_CRASH_ERROR") : nullptr;
    g_plan.persist = IsSet("UPDATER_CRASH_PERSIST");
    g_plan.report = IsSet("UPDATER_CRASH_REPORT") ? std::getenv("UPDATER_CRASH_REPORT") : nullptr;
    for (int access = 0; access < kDiskAccessCount; ++access)
        g_plan.accessAt[access] = NumberFrom(kAccessVariables[access]);
    if (IsSet("UPDATER_CRASH_POWER")) {
        g_plan.power = true;
        g_plan.cut = CutFrom(std::getenv("UPDATER_CRASH_POWER"));
        StartPowerModel(NativeEnvironment("UPDATER_CRASH_STASH").c_str(), IsSet("UPDATER_CRASH_NO_FLUSH"));
    }
    if (g_plan.report != nullptr) std::atexit(WriteReport);
    if (IsSet("UPDATER_CRASH_TRACE")) g_plan.trace = std::fopen(std::getenv("UPDATER_CRASH_TRACE"), "wb");
}

void TraceChange(DiskChange change, const DiskChangeTarget& target) {
    const NativePath path = target.path != nullptr ? NativePath(target.path) : NativePath();
    std::fprintf(g_plan.trace, "%lu %s %s\n", g_plan.changes, kChangeNames[change], NarrowText(path).c_str());
    std::fflush(g_plan.trace);
}

// Fails the operation about to happen with the plan's error; the first
// failure is reported.
int Fail(unsigned long number, const char* kind) {
    if (g_plan.failedAt == 0) {
        g_plan.failedAt = number;
        g_plan.failedKind = kind;
    }
    SetInjectedError(g_plan.error != nullptr ? g_plan.error : "EIO");
    return 0;
}

[[noreturn]] void EndRun() {
    if (g_plan.report != nullptr) WriteReport();
    std::_Exit(kCrashStatus);
}

}  // namespace

int AllowDiskChange(DiskChange change, const DiskChangeTarget& target) {
    if (!g_plan.read) ReadPlan();
    ++g_plan.changes;
    if (g_plan.trace != nullptr) TraceChange(change, target);
    const bool reached = g_plan.crashAt != 0 && g_plan.changes >= g_plan.crashAt;
    if (reached && g_plan.changes == g_plan.crashAt && g_plan.error == nullptr) {
        if (g_plan.power) {
            CountUnflushed(&g_plan.unflushedFiles, &g_plan.unflushedFolders);
            CutPower(g_plan.cut);
            g_plan.cutDone = true;
        }
        EndRun();
    }
    // Removing a file nobody needs may fail without harm: it is never
    // failed, so that every failure the walks inject is one that counts.
    if (reached && g_plan.error != nullptr && change != kDiskDiscard &&
        (g_plan.changes == g_plan.crashAt || g_plan.persist)) {
        if (change == kDiskWrite && target.count != nullptr && g_plan.failedAt == 0 && *target.count > 1) {
            // A disk that fills up takes part of a write first.
            *target.count /= 2;
            Fail(g_plan.changes, kChangeNames[change]);
            return 1;
        }
        return Fail(g_plan.changes, kChangeNames[change]);
    }
    if (g_plan.power) RecordChange(change, target);
    return 1;
}

int AllowDiskAccess(DiskAccess access) {
    if (!g_plan.read) ReadPlan();
    const unsigned long number = ++g_plan.accesses[access];
    if (number != g_plan.accessAt[access]) return 1;
    return Fail(number, kAccessNames[access]);
}
