#include "install/plan_folders.h"

#include <cstring>
#include <string>
#include <vector>

#include "common/run_log.h"
#include "common/sjis_text.h"
#include "platform/last_error.h"
#include "platform/platform_files.h"
#include "platform/platform_process.h"
#include "platform/platform_replacement.h"
#include "script/update_plan.h"

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Whether path names a folder that exists.
bool IsFolder(const char* path) {
    PlatformFolderListing* listing = OsOpenFolderListing(path);
    OsCloseFolderListing(listing);
    return listing != nullptr;
}

// Makes the folder path unless it exists; a folder made is noted in
// *madeIn by the folder it was made in, the first parentLength bytes of
// path. Returns 1, or 0 after a diagnostic.
int MakeFolder(const char* path, size_t parentLength, std::vector<std::string>* madeIn) {
    if (OsCreateFolder(path)) {
        LogEvent("folder made: %s", path);
        madeIn->emplace_back(path, parentLength);
        return 1;
    }
    if (OsLastErrorKind() == kErrorExists && IsFolder(path)) return 1;
    DiagnoseLastError("cannot make the folder %s", path);
    return 0;
}

// Makes the folder name below installFolder and each of its parents that
// is missing, the outermost first, then flushes each folder that received
// a new one. Returns 1, or 0 after a diagnostic.
int MakeFolderAndParents(const char* installFolder, const char* name) {
    char path[kPathFieldSize];
    if (!JoinPath(path, sizeof path, installFolder, name)) {
        LogDiagnostic("the folder %s does not fit a path below %s", name, installFolder);
        return 0;
    }
    std::vector<std::string> madeIn;
    size_t parentLength = std::strlen(installFolder);
    const size_t length = std::strlen(path);
    for (size_t i = parentLength + 1; i <= length; i += i < length ? SjisCharacterWidth(path + i) : 1) {
        if (i < length && !IsSeparator(path[i])) continue;
        // An empty part (a doubled or trailing separator) names no folder.
        if (IsSeparator(path[i - 1])) continue;
        const char kept = path[i];
        path[i] = '\0';
        const int made = MakeFolder(path, parentLength, &madeIn);
        path[i] = kept;
        if (!made) return 0;
        parentLength = i;
    }
    for (const std::string& folder : madeIn) {
        if (!OsFlushFolder(folder.c_str())) {
            DiagnoseLastError("cannot flush the folder %s", folder.c_str());
            return 0;
        }
    }
    return 1;
}

}  // namespace

uint32_t CreatePlanFolders(const char* installFolder) {
    for (uint32_t i = 0; i < g_createFolderTable.count; ++i) {
        const char* name = g_createFolderTable.records[i].folderName;
        if (name[0] != '\0' && !MakeFolderAndParents(installFolder, name)) return i;
    }
    return g_createFolderTable.count;
}
