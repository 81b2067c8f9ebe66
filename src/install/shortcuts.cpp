#include "install/shortcuts.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "common/run_log.h"
#include "common/sjis_text.h"
#include "platform/changed_folders.h"
#include "platform/last_error.h"
#include "platform/platform_files.h"
#include "platform/platform_process.h"
#include "platform/platform_shell.h"
#include "script/update_plan.h"

namespace {

constexpr int kShowNormal = 1;             // a normal window

// The paths of one entry's link; an empty working folder or icon is none.
struct ShortcutPaths {
    char brandFolder[kPathFieldSize];
    char menuFolder[kPathFieldSize];
    char link[kPathFieldSize];
    char target[kPathFieldSize];
    char workingFolder[kPathFieldSize];
    char icon[kPathFieldSize];
};

// dest := folder, with name as one more level when name is not empty.
// Returns 0 when the path does not fit.
int JoinLevel(char (&dest)[kPathFieldSize], const char* folder, const char* name) {
    if (name[0] == '\0') return CopyText(dest, folder);
    return JoinPath(dest, sizeof dest, folder, name);
}

// The Programs folder without a trailing separator. Returns 0 when it cannot
// be found.
int FindProgramsFolder(char (&folder)[kPathFieldSize]) {
    if (!OsGetProgramsFolder(folder, sizeof folder) || folder[0] == '\0') return 0;
    // BaseNameOf knows double-byte characters: a trailing 0x5C that is a
    // second byte leaves a base name.
    if (*BaseNameOf(folder) == '\0') folder[std::strlen(folder) - 1] = '\0';
    return folder[0] != '\0';
}

// Builds every path of entry. Returns 0 when one does not fit or the
// Programs folder cannot be found.
int BuildShortcutPaths(const ShortcutEntry& entry, const char* installFolder, const char* brandMenuFolder,
                       const char* gameMenuFolder, ShortcutPaths* paths) {
    char programs[kPathFieldSize];
    if (!FindProgramsFolder(programs)) return 0;
    if (!JoinLevel(paths->brandFolder, programs, brandMenuFolder) ||
        !JoinLevel(paths->menuFolder, paths->brandFolder, gameMenuFolder) ||
        !JoinPath(paths->link, sizeof paths->link, paths->menuFolder, entry.linkName))
        return 0;
    paths->workingFolder[0] = '\0';
    if (entry.subfolder[0] != '\0') {
        if (!JoinPath(paths->workingFolder, sizeof paths->workingFolder, installFolder, entry.subfolder) ||
            !JoinPath(paths->target, sizeof paths->target, paths->workingFolder, entry.target))
            return 0;
    } else if (!JoinPath(paths->target, sizeof paths->target, installFolder, entry.target)) {
        return 0;
    }
    paths->icon[0] = '\0';
    return entry.iconFile[0] == '\0' || JoinPath(paths->icon, sizeof paths->icon, installFolder, entry.iconFile);
}

// What MakeMenuFolder came to.
enum MenuFolderResult : int {
    kMenuFolderFailed = 0,   // it cannot be made or flushed, after a diagnostic
    kMenuFolderReady = 1,    // it is there, its name flushed in its parent
    kMenuFolderBlocked = 2,  // a file of that name is in the way, logged
};

// Makes a menu folder unless it exists, and flushes its name in its parent
// (also when an interrupted run made it). Returns a MenuFolderResult.
int MakeMenuFolder(const char* folder) {
    if (!OsCreateFolder(folder)) {
        if (OsLastErrorKind() != kErrorExists) {
            DiagnoseFileError(folder, "cannot make the menu folder %s", folder);
            return kMenuFolderFailed;
        }
        // No run can change that: the shortcut is passed over.
        if (!OsIsFolder(folder)) {
            LogEvent("menu folder %s is a file: its shortcuts are skipped", folder);
            return kMenuFolderBlocked;
        }
    }
    ChangedFolders parent;
    NoteFolderOf(&parent, folder);
    return FlushChangedFolders(parent) ? kMenuFolderReady : kMenuFolderFailed;
}

}  // namespace

int MakeShortcut(const ShortcutEntry& entry, const char* installFolder, const char* brandMenuFolder,
                 const char* gameMenuFolder) {
    ShortcutPaths paths;
    if (entry.linkName[0] == '\0' ||
        !BuildShortcutPaths(entry, installFolder, brandMenuFolder, gameMenuFolder, &paths)) {
        LogEvent("shortcut %s skipped: no name, no Programs folder, or a path too long", entry.linkName);
        return 1;
    }
    for (const char* folder : {paths.brandFolder, paths.menuFolder}) {
        const int made = MakeMenuFolder(folder);
        if (made != kMenuFolderReady) return made == kMenuFolderBlocked;
    }
    ShellLinkProperties link{};
    link.targetPath = paths.target;
    link.description = entry.description;
    link.arguments = entry.arguments;
    link.workingFolder = paths.workingFolder[0] != '\0' ? paths.workingFolder : nullptr;
    link.iconPath = paths.icon[0] != '\0' ? paths.icon : nullptr;
    link.iconIndex = 0;
    link.showCommand = kShowNormal;
    const std::string file = OsShellLinkFile(paths.link);
    if (!OsWriteShellLink(paths.link, link)) {
        DiagnoseFileError(file.c_str(), "cannot write the shortcut %s", file.c_str());
        return 0;
    }
    LogEvent("shortcut %s -> %s", file.c_str(), paths.target);
    return 1;
}

int CreateShortcuts(const char* installFolder, const char* brandMenuFolder, const char* gameMenuFolder) {
    int created = 1;
    for (uint32_t i = 0; i < g_shortcutTable.count; ++i) {
        if (!MakeShortcut(g_shortcutTable.records[i], installFolder, brandMenuFolder, gameMenuFolder)) created = 0;
    }
    return created;
}
