#include "check/source_check.h"

#include <cstring>
#include <vector>

#include "common/sjis_text.h"
#include "install/file_operations.h"
#include "package/member_reader.h"
#include "package/package_digests.h"
#include "package/package_directory.h"
#include "package/package_format.h"
#include "platform/platform_files.h"
#include "script/script_faults.h"
#include "script/update_plan.h"

namespace {

// Whether the package holds a member of name's base name.
bool PackageHolds(const char* name) {
    PackageDirectory directory;
    char message[kPackageMessageSize];
    if (!ReadPackageDirectory(kPackageFileName, &directory, message, sizeof message)) return false;
    const bool holds = FindPackageEntry(&directory, BaseNameOf(name)) >= 0;
    ReleasePackageDirectory(&directory);
    return holds;
}

// An error when source, which editions copy, cannot be copied; a warning
// when it is found only loose, so that it must be shipped beside the
// updater. Notes where it was found. Returns 1 when it can be copied.
int CheckSource(const char* source, const char* editions, const std::string& prefix, CheckNotes& notes,
                std::string* errors) {
    PackageMember* member = nullptr;
    const int state = OpenCopySource(source, &member);
    const std::string what = prefix + "error: CopyFile source " + Quoted(source) + " (" + editions + ") ";
    switch (state) {
    case kSourceReady: {
        const bool loose = member->kind == kMemberLoose;
        CloseMember(member);
        std::string& found = loose ? notes.looseSources : notes.packedSources;
        found += (found.empty() ? "" : ", ") + std::string(source);
        if (loose && !PackageHolds(source)) {
            notes.warnings += prefix + "warning: CopyFile source " + Quoted(source) + " (" + editions +
                              ") is found only loose, not in " + kPackageFileName +
                              ": it must be shipped beside the updater\n";
        }
        return 1;
    }
    case kSourceNotFound:
        *errors += what + "is found neither loose nor in " + kPackageFileName + "\n";
        return 0;
    default:
        *errors += what + "runs past the end of " + kPackageFileName + ": the package is cut short or damaged\n";
        return 0;
    }
}

}  // namespace

int CheckPackage(std::string* warnings, std::string* errors) {
    PlatformFile* file = OsOpenForReading(kPackageFileName);
    if (file == nullptr) return 1;
    OsCloseFile(file);
    const std::string prefix = std::string(kPackageFileName) + ": ";
    PackageDigests digests;
    char message[kPackageMessageSize];
    const int result = ReadPackageDigests(kPackageFileName, &digests, message, sizeof message);
    if (result == kDigestsAbsent) {
        *warnings += prefix + "warning: the package has no digest list (" + kDigestListName +
                     "), as one made by another tool: damage to it cannot be found; make it with updpack create\n";
    }
    if (result == kDigestsAbsent || result == kDigestsListed) {
        std::vector<uint32_t> damaged;
        int sound = result == kDigestsAbsent || FindDamagedMembers(kPackageFileName, digests, &damaged);
        if (!sound) *errors += prefix + "error: the members cannot be read\n";
        for (uint32_t index : damaged) *errors += prefix + "error: " + DamagedMemberText(digests, index) + "\n";
        ReleasePackageDigests(&digests);
        return sound && damaged.empty();
    }
    // The message begins with the package's name.
    std::string error = message;
    if (error.compare(0, prefix.size(), prefix) == 0) error.erase(0, prefix.size());
    *errors += prefix + "error: " + error + "\n";
    return 0;
}

int CheckCopySources(CheckNotes& notes, std::string* errors) {
    int sound = 1;
    for (uint32_t i = 0; i < g_copyTable.count; ++i) {
        const CopyEntry& entry = g_copyTable.records[i];
        const std::string prefix = i < notes.copyLines.size() ? LinePrefix(notes.copyLines[i]) : "";
        const char* standard = entry.standardSource;
        const char* addContents = entry.addContentsSource;
        if (standard[0] == '\0' && addContents[0] == '\0') continue;
        if (entry.destination[0] == '\0') {
            *errors += prefix + "error: CopyFile needs three fields: the destination is empty\n";
            sound = 0;
        }
        if (std::strcmp(standard, addContents) == 0) {
            sound &= CheckSource(standard, "both editions", prefix, notes, errors);
            continue;
        }
        if (standard[0] != '\0') sound &= CheckSource(standard, "standard edition", prefix, notes, errors);
        if (addContents[0] != '\0') sound &= CheckSource(addContents, "add-contents edition", prefix, notes, errors);
    }
    return sound;
}


std::string SourcesSummary(const CheckNotes& notes) {
    const std::string note = std::string(kScriptFileName) + ": note: ";
    std::string summary;
    if (!notes.packedSources.empty())
        summary += note + "sources in " + kPackageFileName + ": " + notes.packedSources + "\n";
    if (!notes.looseSources.empty()) summary += note + "sources loose beside the updater: " + notes.looseSources + "\n";
    return summary;
}
