#include "install/file_operations.h"

#include <algorithm>
#include <cstdint>

#include "common/run_log.h"
#include "common/sjis_text.h"
#include "package/member_reader.h"
#include "package/package_format.h"
#include "platform/platform.h"
#include "script/update_plan.h"

namespace {

constexpr char kCopyErrorCaption[] = "エラー";
constexpr size_t kReasonSize = 260;
// A member is copied in slices of this size, with the progress told between
// them, so that a window stays responsive during a large member.
constexpr uint64_t kProgressSlice = uint64_t{4} << 20;

// The source column the edition copies from.
const char* SourceFor(const CopyEntry& entry, uint32_t addContents) {
    return addContents != 0 ? entry.addContentsSource : entry.standardSource;
}

// Shows the copy step's message for entry and returns 0, the copy's result.
int FailCopy(PlatformWindow* owner, const CopyEntry& entry) {
    char text[kPathFieldSize];
    FormatText(text, sizeof text, "ファイルが書き込めません。[%s]", entry.destination);
    OsShowMessage(owner, kCopyErrorCaption, text);
    return 0;
}

// Writes the diagnostic line of a failed system call about path: what was
// done, and the system's reason.
void DiagnoseSystemFailure(const char* doing, const char* path) {
    char reason[kReasonSize];
    OsDescribeLastError(reason, sizeof reason);
    LogDiagnostic("%s %s: %s", doing, path, reason);
}

// The same for a failure the player is never told of: to the log only.
void LogSystemFailure(const char* doing, const char* path) {
    char reason[kReasonSize];
    OsDescribeLastError(reason, sizeof reason);
    LogEvent("%s %s: %s", doing, path, reason);
}

// Opens source and checks that it can be copied to destination: every byte
// it claims lies inside its file, and the destination is not the source's own
// file. Returns the open member, or nullptr after a diagnostic.
PackageMember* OpenCheckedSource(const char* source, const char* destination) {
    PackageMember* member = nullptr;
    switch (OpenCopySource(source, &member)) {
    case kSourceReady:
        break;
    case kSourceNotFound:
        LogDiagnostic("source %s is found neither beside the updater nor in %s", source, kPackageFileName);
        return nullptr;
    default:
        LogDiagnostic("source %s lies beyond the end of its file", source);
        return nullptr;
    }
    if (OsIsSameFile(member->file, destination)) {
        LogDiagnostic("source %s is the destination itself", source);
        CloseMember(member);
        return nullptr;
    }
    return member;
}

// Checks every entry before anything is written, so that a broken package
// or script never leaves a half-updated game. Returns 1 when all pass, and
// the bytes to copy in *total; else shows the message for the first that
// fails and returns 0.
int CheckCopyList(PlatformWindow* owner, const char* installFolder, uint32_t addContents, uint64_t* total) {
    *total = 0;
    for (uint32_t i = 0; i < g_copyTable.count; ++i) {
        const CopyEntry& entry = g_copyTable.records[i];
        const char* source = SourceFor(entry, addContents);
        if (source[0] == '\0') continue;
        char destination[kPathFieldSize];
        if (entry.destination[0] == '\0' ||
            !JoinPath(destination, sizeof destination, installFolder, entry.destination)) {
            LogDiagnostic("destination %s: empty, or longer than a path may be below %s", entry.destination,
                          installFolder);
            return FailCopy(owner, entry);
        }
        PackageMember* member = OpenCheckedSource(source, destination);
        if (member == nullptr) return FailCopy(owner, entry);
        *total += member->size;
        CloseMember(member);
    }
    return 1;
}

// Streams the member into file in slices, telling the progress, *done of
// total, after each. Returns 1, or 0 when reading or writing failed.
int CopyInSlices(PackageMember* member, PlatformFile* file, const char* name, uint64_t* done, uint64_t total) {
    for (uint64_t copied = 0; copied < member->size;) {
        const uint64_t slice = std::min<uint64_t>(member->size - copied, kProgressSlice);
        if (!OsCopyFileRange(member->file, member->dataOffset + copied, slice, file)) return 0;
        copied += slice;
        *done += slice;
        ReportProgress(name, *done, total);
    }
    return 1;
}

// Writes the source of a checked entry whole to a new file beside its
// destination and swaps that in, so that the destination holds its old
// content or the new one, never a part. Returns 1, or 0 after a diagnostic
// when anything failed; the destination is then as it was.
int CopyEntryToDestination(const CopyEntry& entry, const char* source, const char* installFolder, uint64_t* done,
                           uint64_t total) {
    char destination[kPathFieldSize];
    if (!JoinPath(destination, sizeof destination, installFolder, entry.destination)) return 0;
    PackageMember* member = OpenCheckedSource(source, destination);
    if (member == nullptr) return 0;
    ReportProgress(entry.destination, *done, total);
    PlatformReplacement* replacement = OsBeginReplacement(destination);
    int copied = 0;
    if (replacement == nullptr) {
        DiagnoseSystemFailure("cannot create a new file beside", destination);
    } else if (!CopyInSlices(member, OsReplacementFile(replacement), entry.destination, done, total)) {
        DiagnoseSystemFailure("cannot write the new content of", destination);
        OsAbandonReplacement(replacement);
    } else if (!OsCommitReplacement(replacement)) {
        DiagnoseSystemFailure("cannot put the new content in place of", destination);
    } else {
        copied = 1;
        LogEvent("written %s (%u bytes from %s%s%s)", destination, member->size, source,
                 member->kind == kMemberPacked ? " in " : "", member->kind == kMemberPacked ? kPackageFileName : "");
    }
    CloseMember(member);
    return copied;
}

// Removes the new files that a run killed while copying left beside the
// destinations.
void RemoveCopyLeftovers(const char* installFolder) {
    for (uint32_t i = 0; i < g_copyTable.count; ++i) {
        char destination[kPathFieldSize];
        if (JoinPath(destination, sizeof destination, installFolder, g_copyTable.records[i].destination))
            OsRemoveReplacementLeftover(destination);
    }
}

}  // namespace

int OpenCopySource(const char* source, PackageMember** member) {
    *member = OpenMember(source, kPackageFileName);
    if (*member == nullptr) return kSourceNotFound;
    if (MemberLiesInsideFile(*member)) return kSourceReady;
    CloseMember(*member);
    *member = nullptr;
    return kSourceCutShort;
}

int ApplyCopyList(PlatformWindow* owner, const char* installFolder, uint32_t addContents) {
    if (g_copyTable.count == 0) {
        LogDiagnostic("the script has no CopyFile line: nothing to update");
        return 0;
    }
    uint64_t total = 0;
    if (!CheckCopyList(owner, installFolder, addContents, &total)) return 0;
    RemoveCopyLeftovers(installFolder);
    uint64_t done = 0;
    for (uint32_t i = 0; i < g_copyTable.count; ++i) {
        const CopyEntry& entry = g_copyTable.records[i];
        const char* source = SourceFor(entry, addContents);
        if (source[0] == '\0') continue;
        if (!CopyEntryToDestination(entry, source, installFolder, &done, total)) return FailCopy(owner, entry);
    }
    return 1;
}

void ApplyDeleteList(const char* installFolder) {
    for (uint32_t i = 0; i < g_deleteTable.count; ++i) {
        char path[kPathFieldSize];
        if (!JoinPath(path, sizeof path, installFolder, g_deleteTable.records[i].fileName)) continue;
        if (OsDeleteFile(path)) {
            LogEvent("deleted %s", path);
        } else {
            LogSystemFailure("not deleted:", path);
        }
    }
}

void ApplyRenameList(const char* installFolder) {
    for (uint32_t i = 0; i < g_renameTable.count; ++i) {
        const RenameEntry& entry = g_renameTable.records[i];
        char from[kPathFieldSize];
        char to[kPathFieldSize];
        if (!JoinPath(from, sizeof from, installFolder, entry.oldName) ||
            !JoinPath(to, sizeof to, installFolder, entry.newName))
            continue;
        if (OsRenameNoReplace(from, to)) {
            LogEvent("renamed %s to %s", from, to);
        } else {
            LogSystemFailure("not renamed to its new name:", from);
        }
    }
}
