#include "install/file_operations.h"

#include <cstdint>

#include "common/sjis_text.h"
#include "package/member_reader.h"
#include "package/package_format.h"
#include "platform/platform.h"
#include "script/update_plan.h"
#include "shell/install_state.h"

namespace {

constexpr char kCopyErrorCaption[] = "エラー";

// The source column the edition of this run copies from.
const char* SourceFor(const CopyEntry& entry) {
    return g_installState.addContents != 0 ? entry.addContentsSource : entry.standardSource;
}

// Shows the copy step's message for entry and returns 0, the copy's result.
int FailCopy(PlatformWindow* owner, const CopyEntry& entry) {
    char text[kPathFieldSize];
    FormatText(text, sizeof text, "ファイルが書き込めません。[%s]", entry.destination);
    OsShowMessage(owner, kCopyErrorCaption, text);
    return 0;
}

// Opens the source of entry and checks that it can be copied to destination:
// every byte it claims lies inside its file, and the destination is not the
// source's own file, which creating the destination would empty. Returns the
// open member, or nullptr.
PackageMember* OpenCheckedSource(const CopyEntry& entry, const char* destination) {
    PackageMember* member = OpenMember(SourceFor(entry), kPackageFileName);
    if (member == nullptr) return nullptr;
    if (!MemberLiesInsideFile(member) || OsIsSameFile(member->file, destination)) {
        CloseMember(member);
        return nullptr;
    }
    return member;
}

// Checks every entry before anything is written, so that a broken package
// or script never leaves a half-updated game. Returns 1 when all pass, else
// shows the message for the first that fails and returns 0.
int CheckCopyList(PlatformWindow* owner, const char* installFolder) {
    for (uint32_t i = 0; i < g_copyTable.count; ++i) {
        const CopyEntry& entry = g_copyTable.records[i];
        if (SourceFor(entry)[0] == '\0') continue;
        char destination[kPathFieldSize];
        if (entry.destination[0] == '\0' ||
            !JoinPath(destination, sizeof destination, installFolder, entry.destination))
            return FailCopy(owner, entry);
        PackageMember* member = OpenCheckedSource(entry, destination);
        if (member == nullptr) return FailCopy(owner, entry);
        CloseMember(member);
    }
    return 1;
}

// Writes the source of a checked entry whole to a new file beside its
// destination and swaps that in, so that the destination holds its old
// content or the new one, never a part. Returns 1, or 0 when anything failed;
// the destination is then as it was.
int CopyEntryToDestination(const CopyEntry& entry, const char* installFolder) {
    char destination[kPathFieldSize];
    if (!JoinPath(destination, sizeof destination, installFolder, entry.destination)) return 0;
    PackageMember* member = OpenCheckedSource(entry, destination);
    if (member == nullptr) return 0;
    PlatformReplacement* replacement = OsBeginReplacement(destination);
    int copied = 0;
    if (replacement != nullptr) {
        if (OsCopyFileRange(member->file, member->dataOffset, member->size, OsReplacementFile(replacement))) {
            copied = OsCommitReplacement(replacement);
        } else {
            OsAbandonReplacement(replacement);
        }
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

int ApplyCopyList(PlatformWindow* owner, const char* installFolder) {
    if (g_copyTable.count == 0) return 0;
    if (!CheckCopyList(owner, installFolder)) return 0;
    RemoveCopyLeftovers(installFolder);
    for (uint32_t i = 0; i < g_copyTable.count; ++i) {
        const CopyEntry& entry = g_copyTable.records[i];
        if (SourceFor(entry)[0] == '\0') continue;
        if (!CopyEntryToDestination(entry, installFolder)) return FailCopy(owner, entry);
    }
    return 1;
}

void ApplyDeleteList(const char* installFolder) {
    for (uint32_t i = 0; i < g_deleteTable.count; ++i) {
        char path[kPathFieldSize];
        if (JoinPath(path, sizeof path, installFolder, g_deleteTable.records[i].fileName))
            OsDeleteFile(path);
    }
}

void ApplyRenameList(const char* installFolder) {
    for (uint32_t i = 0; i < g_renameTable.count; ++i) {
        const RenameEntry& entry = g_renameTable.records[i];
        char from[kPathFieldSize];
        char to[kPathFieldSize];
        if (JoinPath(from, sizeof from, installFolder, entry.oldName) &&
            JoinPath(to, sizeof to, installFolder, entry.newName))
            OsRenameNoReplace(from, to);
    }
}
