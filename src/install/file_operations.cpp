#include "install/file_operations.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "common/digest.h"
#include "common/failure_note.h"
#include "common/run_log.h"
#include "common/sjis_text.h"
#include "install/plan_folders.h"
#include "install/update_journal.h"
#include "package/member_reader.h"
#include "package/package_digests.h"
#include "package/package_format.h"
#include "platform/changed_folders.h"
#include "platform/last_error.h"
#include "platform/platform_dialog.h"
#include "platform/platform_digest.h"
#include "platform/platform_files.h"
#include "platform/platform_process.h"
#include "platform/platform_replacement.h"
#include "script/rule_tables.h"
#include "script/update_plan.h"

namespace {

constexpr char kCopyErrorCaption[] = "エラー";
// A member is copied in slices of this size, with the progress told between
// them, so that a window stays responsive during a large member.
constexpr uint64_t kProgressSlice = uint64_t{4} << 20;

// The source column the edition copies from.
const char* SourceFor(const CopyEntry& entry, uint32_t addContents) {
    return addContents != 0 ? entry.addContentsSource : entry.standardSource;
}

// Shows the copy step's message for name, a destination or a folder, and
// returns 0, the copy's result.
int FailCopy(PlatformWindow* owner, const char* name) {
    char text[kPathFieldSize];
    FormatText(text, sizeof text, "ファイルが書き込めません。[%s]", name);
    OsShowMessage(owner, kCopyErrorCaption, text);
    return 0;
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
            return FailCopy(owner, entry.destination);
        }
        PackageMember* member = OpenCheckedSource(source, destination);
        if (member == nullptr) return FailCopy(owner, entry.destination);
        *total += member->size;
        CloseMember(member);
    }
    return 1;
}

// What staging one copy entry came to.
enum StageResult {
    kStageFailed,   // its new file could not be written
    kStaged,        // its new file waits beside its destination
    kStageDamaged,  // the member does not match its digest: the package is damaged
};

// Streams the member into file in slices, telling the progress, *done of
// total, after each; with digest (may be nullptr), hashes every byte on the
// way. Returns 1, or 0 when reading, writing or hashing failed.
int CopyInSlices(PackageMember* member, PlatformFile* file, PlatformDigest* digest, const char* name,
                 uint64_t* done, uint64_t total) {
    for (uint64_t copied = 0; copied < member->size;) {
        const uint64_t slice = std::min<uint64_t>(member->size - copied, kProgressSlice);
        if (!OsCopyFileRange(member->file, member->dataOffset + copied, slice, file, digest)) return 0;
        copied += slice;
        *done += slice;
        ReportProgress(name, *done, total);
    }
    return 1;
}

// Checks that the install folder's volume has room for total bytes of new
// files, which all exist beside their destinations before any is swapped in.
// A volume that cannot tell passes: the writes will tell.
int CheckFreeSpace(const char* installFolder, uint64_t total) {
    uint64_t free = 0;
    if (!OsFreeSpace(installFolder, &free)) {
        LogLastError("the free space cannot be told for %s", installFolder);
        return 1;
    }
    if (free >= total) return 1;
    LogDiagnostic("the update needs %llu bytes of new files in %s, and its volume has %llu bytes free",
                  static_cast<unsigned long long>(total), installFolder, static_cast<unsigned long long>(free));
    NoteFailure(kCauseDiskFull, installFolder, total, free);
    return 0;
}

// A staged member whose digest may still be at work on another thread. It
// is checked once the next entry is staged, so that its hashing overlaps
// that copy, and always before anything is swapped in.
struct PendingCheck {
    PlatformDigest* digest = nullptr;       // nullptr when nothing waits
    const unsigned char* listed = nullptr;  // the digest the package lists
    const char* source = nullptr;           // the member's name
};

// Checks the member that pending waits for, if any, and clears pending.
// stage, what the copy came to so far, becomes kStageDamaged when it does
// not match, after a diagnostic and a note of the damage; when the package
// is already known to be damaged, the member is not looked at.
void SettlePendingCheck(PendingCheck* pending, int* stage) {
    const PendingCheck check = *pending;
    if (check.digest == nullptr) return;
    *pending = PendingCheck{};
    if (*stage == kStageDamaged) {
        OsAbandonDigest(check.digest);
        return;
    }
    unsigned char actual[kSha256Size];
    if (OsFinishDigest(check.digest, actual) && std::memcmp(actual, check.listed, kSha256Size) == 0) return;
    LogDiagnostic("member %s of %s does not match its SHA-256: the package is damaged", BaseNameOf(check.source),
                  kPackageFileName);
    // The member came before the entry that failed, if one did: the damage
    // is what the player is told.
    if (*stage == kStageFailed) ClearFailureNote();
    NoteFailure(kCauseDamaged, BaseNameOf(check.source));
    *stage = kStageDamaged;
}

// Streams a checked member into the new file of replacement, beside
// destination, and keeps it there, in group. A member the package lists a
// digest for (listed not nullptr) is hashed as it is written and left in
// *pending to be checked. Returns a StageResult, after a diagnostic for a
// failure; the new file is removed unless kept.
int WriteNewFile(PackageMember* member, const unsigned char* listed, const CopyEntry& entry, const char* source,
                 const char* destination, PlatformReplacement* replacement, PlatformFlushGroup* group,
                 uint64_t* done, uint64_t total, PendingCheck* pending) {
    PlatformDigest* digest = listed != nullptr ? OsBeginSha256() : nullptr;
    if (listed != nullptr && digest == nullptr) {
        LogDiagnostic("no SHA-256 can be made to check %s", source);
        OsAbandonReplacement(replacement);
        return kStageFailed;
    }
    if (!CopyInSlices(member, OsReplacementFile(replacement), digest, entry.destination, done, total)) {
        DiagnoseFileError(destination, "cannot write the new content of %s", destination);
        OsAbandonDigest(digest);
        OsAbandonReplacement(replacement);
        return kStageFailed;
    }
    if (!OsKeepReplacement(replacement, group)) {
        DiagnoseFileError(destination, "cannot write the new content of %s", destination);
        OsAbandonDigest(digest);
        return kStageFailed;
    }
    if (digest != nullptr) *pending = PendingCheck{digest, listed, source};
    return kStaged;
}

// Writes the source of a checked entry whole to a new file beside its
// destination and keeps it there, in group, to be swapped in later; a packed
// member's digest is left in *pending to be checked. Returns a StageResult;
// the destination is as it was either way.
int StageCopyEntry(const CopyEntry& entry, const char* source, const char* installFolder,
                   const PackageDigests& digests, PlatformFlushGroup* group, uint64_t* done, uint64_t total,
                   PendingCheck* pending) {
    char destination[kPathFieldSize];
    if (!JoinPath(destination, sizeof destination, installFolder, entry.destination)) return kStageFailed;
    PackageMember* member = OpenCheckedSource(source, destination);
    if (member == nullptr) return kStageFailed;
    ReportProgress(entry.destination, *done, total);
    // A loose source is the publisher's override, taken as it is.
    const bool packed = member->kind == kMemberPacked;
    PlatformReplacement* replacement = OsBeginReplacement(destination);
    int staged = kStageFailed;
    if (replacement == nullptr) {
        DiagnoseFileError(destination, "cannot create a new file beside %s", destination);
    } else {
        staged = WriteNewFile(member, packed ? ListedDigestOf(&digests, source) : nullptr, entry, source,
                              destination, replacement, group, done, total, pending);
    }
    if (staged == kStaged) {
        LogEvent("staged %s (%u bytes from %s%s%s)", destination, member->size, source, packed ? " in " : "",
                 packed ? kPackageFileName : "");
    }
    CloseMember(member);
    return staged;
}

// The destination path of copy entry i in path. Returns 1 when the entry
// copies for the edition and its path fits, 0 otherwise.
int CopiedDestination(uint32_t i, const char* installFolder, uint32_t addContents, char (&path)[kPathFieldSize]) {
    const CopyEntry& entry = g_copyTable.records[i];
    return SourceFor(entry, addContents)[0] != '\0' && JoinPath(path, sizeof path, installFolder, entry.destination);
}

// Puts the new files of the entries from first (the first that copies) to
// end in place of their destinations, in table order, after flushing them
// all, then flushes their folders. A destination named twice was staged
// once, with the later entry's content, and is swapped in at the first.
// Returns end when all went in, else the index of the entry that failed,
// after a diagnostic.
uint32_t CommitStagedEntries(PlatformFlushGroup* group, const char* installFolder, uint32_t addContents,
                             uint32_t first, uint32_t end) {
    if (first == end) return end;
    if (!OsFlushGroup(group)) {
        DiagnoseFileError(installFolder, "cannot flush the new files in %s", installFolder);
        return first;
    }
    ChangedFolders changed;
    for (uint32_t i = first; i < end; ++i) {
        char destination[kPathFieldSize];
        if (!CopiedDestination(i, installFolder, addContents, destination)) continue;
        NoteFolderOf(&changed, destination);
        switch (OsSwapInReplacement(destination)) {
        case kSwapFailed:
            DiagnoseFileError(destination, "cannot put the new content in place of %s", destination);
            return i;
        case kSwapDone:
            LogEvent("replaced %s", destination);
            break;
        default:
            break;
        }
    }
    return FlushChangedFolders(changed) ? end : first;
}

// Removes the new files that a run killed while copying left beside the
// destinations, and those of a copy that failed before they were swapped in.
void RemoveCopyLeftovers(const char* installFolder) {
    for (uint32_t i = 0; i < g_copyTable.count; ++i) {
        char destination[kPathFieldSize];
        if (JoinPath(destination, sizeof destination, installFolder, g_copyTable.records[i].destination))
            OsRemoveReplacementLeftover(destination);
    }
}

// The index of the first entry with a source for the edition; the table's
// count when there is none.
uint32_t FirstEntryToCopy(uint32_t addContents) {
    uint32_t i = 0;
    while (i < g_copyTable.count && SourceFor(g_copyTable.records[i], addContents)[0] == '\0') ++i;
    return i;
}

// Whether name (a path below the install folder) is deleted, renamed or
// patched after the copy.
bool ChangedAfterCopy(const char* name) {
    for (uint32_t i = 0; i < g_deleteTable.count; ++i) {
        if (EqualsNoCase(g_deleteTable.records[i].fileName, name)) return true;
    }
    for (uint32_t i = 0; i < g_renameTable.count; ++i) {
        const RenameEntry& entry = g_renameTable.records[i];
        if (EqualsNoCase(entry.oldName, name) || EqualsNoCase(entry.newName, name)) return true;
    }
    for (uint32_t i = 0; i < g_filePatchTable.count; ++i) {
        if (EqualsNoCase(g_filePatchTable.records[i].fileName, name)) return true;
    }
    return false;
}

// ApplyCopyList once the package's digests are read.
int CopyCheckedList(PlatformWindow* owner, const char* installFolder, uint32_t addContents, CopyScope scope,
                    const PackageDigests& digests) {
    uint64_t total = 0;
    if (!CheckCopyList(owner, installFolder, addContents, &total)) return 0;
    const uint32_t folders = CreatePlanFolders(installFolder);
    if (folders != g_createFolderTable.count)
        return FailCopy(owner, g_createFolderTable.records[folders].folderName);
    const uint32_t first = FirstEntryToCopy(addContents);
    if (first == g_copyTable.count) return 1;
    if (!CheckFreeSpace(installFolder, total)) return FailCopy(owner, g_copyTable.records[first].destination);
    RemoveCopyLeftovers(installFolder);
    PlatformFlushGroup* group = OsBeginFlushGroup(installFolder);
    if (group == nullptr) {
        DiagnoseFileError(installFolder, "cannot open the install folder %s", installFolder);
        return FailCopy(owner, g_copyTable.records[first].destination);
    }
    // Every new file is written first; if one cannot be, the entries before
    // it still go in, as they would one by one. A damaged member stops the
    // update before anything changes.
    uint64_t done = 0;
    uint32_t staged = first;
    int stage = kStaged;
    PendingCheck pending;
    for (; staged < g_copyTable.count; ++staged) {
        const CopyEntry& entry = g_copyTable.records[staged];
        const char* source = SourceFor(entry, addContents);
        if (source[0] == '\0' || (scope == kCopyUnchangedLater && ChangedAfterCopy(entry.destination))) continue;
        PendingCheck written;
        stage = StageCopyEntry(entry, source, installFolder, digests, group, &done, total, &written);
        SettlePendingCheck(&pending, &stage);
        pending = written;
        if (stage != kStaged) break;
    }
    SettlePendingCheck(&pending, &stage);
    const uint32_t committed =
        stage == kStageDamaged ? first : CommitStagedEntries(group, installFolder, addContents, first, staged);
    OsEndFlushGroup(group);
    if (committed == g_copyTable.count) return 1;
    RemoveCopyLeftovers(installFolder);
    // Damage is no destination that cannot be written: the apply sequence
    // names the member.
    return stage == kStageDamaged ? 0 : FailCopy(owner, g_copyTable.records[committed].destination);
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

int ApplyCopyList(PlatformWindow* owner, const char* installFolder, uint32_t addContents, CopyScope scope) {
    if (g_copyTable.count == 0) {
        LogDiagnostic("the script has no CopyFile line: nothing to update");
        return 0;
    }
    // The package's digests are read once for every entry. A package made
    // without them, or none at all, has nothing to compare; one found
    // damaged was refused before the dialog, and its sources are still
    // checked one by one.
    PackageDigests digests;
    char message[kPackageMessageSize];
    ReadPackageDigests(kPackageFileName, &digests, message, sizeof message);
    const int copied = CopyCheckedList(owner, installFolder, addContents, scope, digests);
    ReleasePackageDigests(&digests);
    return copied;
}

int ApplyDeleteList(const char* installFolder) {
    ChangedFolders changed;
    for (uint32_t i = 0; i < g_deleteTable.count; ++i) {
        char path[kPathFieldSize];
        if (!JoinPath(path, sizeof path, installFolder, g_deleteTable.records[i].fileName)) continue;
        if (OsDeleteFile(path)) {
            LogEvent("deleted %s", path);
            NoteFolderOf(&changed, path);
        } else if (OsLastErrorKind() == kErrorIo) {
            DiagnoseFileError(path, "cannot delete %s", path);
            return 0;
        } else {
            LogLastError("not deleted: %s", path);
        }
    }
    return FlushChangedFolders(changed);
}

int ApplyRenameList(const char* installFolder, UpdateJournal* journal) {
    for (uint32_t i = journal != nullptr ? journal->current.renamesDone : 0; i < g_renameTable.count; ++i) {
        const RenameEntry& entry = g_renameTable.records[i];
        char from[kPathFieldSize];
        char to[kPathFieldSize];
        if (JoinPath(from, sizeof from, installFolder, entry.oldName) &&
            JoinPath(to, sizeof to, installFolder, entry.newName)) {
            if (OsRenameNoReplace(from, to)) {
                LogEvent("renamed %s to %s", from, to);
                // The rename is on disk before the journal says it is done.
                ChangedFolders changed;
                NoteFolderOf(&changed, from);
                NoteFolderOf(&changed, to);
                if (!FlushChangedFolders(changed)) return 0;
            } else if (OsLastErrorKind() == kErrorIo) {
                DiagnoseFileError(from, "cannot rename %s", from);
                return 0;
            } else {
                LogLastError("not renamed to its new name: %s", from);
            }
        }
        // A rename is not safe to repeat: once done, the next run must
        // never try it again.
        if (journal != nullptr && !MarkRenamesDone(journal, i + 1)) return 0;
    }
    return 1;
}


uint64_t CopiedFilesStamp(const char* installFolder, uint32_t addContents) {
    uint64_t stamp = kDigestStart;
    for (uint32_t i = 0; i < g_copyTable.count; ++i) {
        char path[kPathFieldSize];
        if (!CopiedDestination(i, installFolder, addContents, path) ||
            ChangedAfterCopy(g_copyTable.records[i].destination))
            continue;
        uint64_t facts[3] = {i, 0, 0};
        if (!OsFileStamp(path, &facts[1], &facts[2])) facts[1] = facts[2] = UINT64_MAX;
        stamp = DigestOf(facts, sizeof facts, stamp);
    }
    return stamp;
}

int DeletedFilesGone(const char* installFolder) {
    for (uint32_t i = 0; i < g_deleteTable.count; ++i) {
        const char* name = g_deleteTable.records[i].fileName;
        bool renamedTo = false;
        for (uint32_t j = 0; j < g_renameTable.count && !renamedTo; ++j)
            renamedTo = EqualsNoCase(g_renameTable.records[j].newName, name);
        char path[kPathFieldSize];
        uint64_t size = 0;
        uint64_t written = 0;
        if (!renamedTo && JoinPath(path, sizeof path, installFolder, name) && OsFileStamp(path, &size, &written))
            return 0;
    }
    return 1;
}
