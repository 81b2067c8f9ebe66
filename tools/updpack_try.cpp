// updpack try: the update applied to a copy of the game by the updater's
// own code, with a look at the copy before each step for what the updater
// passes over in silence.
#include "updpack_try.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

#include "common/exit_status.h"
#include "common/run_log.h"
#include "common/sjis_text.h"
#include "convert/save_conversion.h"
#include "convert/save_folder.h"
#include "package/package_digests.h"
#include "package/package_format.h"
#include "platform/platform_files.h"
#include "platform/platform_process.h"
#include "platform/platform_registry.h"
#include "platform/platform_trial.h"
#include "script/rule_tables.h"
#include "script/script_faults.h"
#include "script/script_loader.h"
#include "script/update_plan.h"
#include "shell/apply_sequence.h"
#include "shell/updater_main.h"
#include "shell/version_gate.h"
#include "updpack.h"
#include "updpack_tree.h"

namespace {

constexpr char kTrialGameFolder[] = "game";
constexpr char kTrialProgramsFolder[] = "programs";

// The steps as the updater runs them.
constexpr const char* kStepNames[] = {"copy", "delete", "rename", "patches", "saves", "shortcuts"};
static_assert(sizeof kStepNames / sizeof kStepNames[0] == kStepCount, "every step has a name");

// What the trial knows while the update runs.
struct Trial {
    const char* game;                        // the copy's install folder
    uint32_t addContents;
    VersionNumber installed;
    int failures;
    std::vector<std::string> diagnostics;    // the updater's, since the last step
};

Trial* g_trial = nullptr;  // the trial whose update runs; the sinks take no context

void Say(const std::string& line) {
    PutText(stdout, ("try: " + line + "\n").c_str());
}

void Fail(Trial& trial, const std::string& why) {
    ++trial.failures;
    Say("failure: " + why);
}

void KeepDiagnostic(const char* line) {
    if (g_trial != nullptr) g_trial->diagnostics.push_back(line);
}

// Whether a file or a folder is at the path below the copy.
enum PathKind { kNothing, kFile, kFolder };

PathKind KindOf(const Trial& trial, const char* name, uint64_t* length = nullptr) {
    char path[kPathFieldSize];
    if (!JoinPath(path, sizeof path, trial.game, name)) return kNothing;
    if (PlatformFile* file = OsOpenForReading(path)) {
        if (length != nullptr) OsFileLength(file, length);
        OsCloseFile(file);
        return kFile;
    }
    PlatformFolderListing* listing = OsOpenFolderListing(path);
    OsCloseFolderListing(listing);
    return listing != nullptr ? kFolder : kNothing;
}

// The folder part of a name below the install folder; "" for none.
std::string FolderPartOf(const char* name) {
    return std::string(name, static_cast<size_t>(std::max<ptrdiff_t>(BaseNameOf(name) - name - 1, 0)));
}

// Whether folder is made by a CreateFolder line: it or one below it is named.
bool IsCreated(const std::string& folder) {
    const std::string key = TreePathKey(folder);
    for (uint32_t i = 0; i < g_createFolderTable.count; ++i) {
        const std::string created = TreePathKey(g_createFolderTable.records[i].folderName);
        if (created.compare(0, key.size(), key) == 0 &&
            (created.size() == key.size() || created[key.size()] == '\\' || created[key.size()] == '/'))
            return true;
    }
    return false;
}

// Before the copy: every destination's folder exists, or a CreateFolder
// makes it. The updater makes no folder for a copy.
void LookBeforeCopy(Trial& trial) {
    for (uint32_t i = 0; i < g_copyTable.count; ++i) {
        const CopyEntry& entry = g_copyTable.records[i];
        const char* source = trial.addContents != 0 ? entry.addContentsSource : entry.standardSource;
        const std::string folder = FolderPartOf(entry.destination);
        if (source[0] == '\0' || folder.empty() || KindOf(trial, folder.c_str()) == kFolder || IsCreated(folder))
            continue;
        Fail(trial, std::string("CopyFile to ") + entry.destination + ": the folder " + folder +
                        " does not exist, and no CreateFolder makes it: the copy fails");
    }
}

void LookBeforeDelete(Trial& trial) {
    for (uint32_t i = 0; i < g_deleteTable.count; ++i) {
        const char* name = g_deleteTable.records[i].fileName;
        const PathKind kind = KindOf(trial, name);
        if (kind == kFile) continue;
        Fail(trial, std::string("DeleteFile ") + name +
                        (kind == kFolder ? ": a folder, which DeleteFile does not delete" : ": no such file"));
    }
}

// Renames go in order, each seeing the ones before it.
void LookBeforeRename(Trial& trial) {
    std::map<std::string, bool> moved;  // key: present (renamed to) or gone (renamed away)
    const auto present = [&](const char* name) {
        const auto found = moved.find(TreePathKey(name));
        return found != moved.end() ? found->second : KindOf(trial, name) != kNothing;
    };
    for (uint32_t i = 0; i < g_renameTable.count; ++i) {
        const RenameEntry& entry = g_renameTable.records[i];
        const std::string what = std::string("RenameFile ") + entry.oldName + " to " + entry.newName;
        if (!present(entry.oldName)) {
            Fail(trial, what + ": no such file");
        } else if (present(entry.newName)) {
            Fail(trial, what + ": " + entry.newName + " exists, and a rename replaces nothing");
        } else {
            moved[TreePathKey(entry.oldName)] = false;
            moved[TreePathKey(entry.newName)] = true;
        }
    }
}

// Patches go in order; a file a patch grew is longer for the next.
void LookBeforePatches(Trial& trial) {
    std::map<std::string, uint64_t> lengths;
    for (uint32_t i = 0; i < g_filePatchTable.count; ++i) {
        const FilePatch& patch = g_filePatchTable.records[i];
        const std::string what = std::string("patch of ") + patch.fileName + " at " + std::to_string(patch.offset);
        if (patch.offset < 0) {
            Fail(trial, what + ": a negative offset, so it is skipped");
            continue;
        }
        const std::string key = TreePathKey(patch.fileName);
        if (lengths.count(key) == 0) {
            uint64_t length = 0;
            if (KindOf(trial, patch.fileName, &length) != kFile) {
                Fail(trial, what + ": no such file, so the patches end here");
                return;
            }
            lengths[key] = length;
        }
        const uint64_t end = static_cast<uint64_t>(patch.offset) + static_cast<uint64_t>(patch.length);
        if (end > lengths[key]) {
            Fail(trial, what + " (" + std::to_string(patch.length) + " bytes) goes past the file's end at " +
                            std::to_string(lengths[key]) + ": the file grows");
            lengths[key] = end;
        }
    }
}

// The files of folder that a reset deletes, or only its numbered saves.
std::vector<std::string> SaveFilesIn(const char* folder, bool numberedOnly) {
    std::vector<std::string> names;
    PlatformFolderListing* listing = OsOpenFolderListing(folder);
    char name[kPathFieldSize];
    int isFolder = 0;
    while (listing != nullptr && OsNextFolderEntry(listing, name, sizeof name, &isFolder)) {
        if (!isFolder && (numberedOnly ? IsNumberedSaveName(name) : IsSaveDataName(name))) names.push_back(name);
    }
    OsCloseFolderListing(listing);
    return names;
}

// folder as try shows it: relative to the copy when it lies below it.
std::string ShownFolder(const Trial& trial, const char* folder) {
    const size_t length = std::strlen(trial.game);
    return std::strncmp(folder, trial.game, length) == 0 && folder[length] == '\\' ? folder + length + 1 : folder;
}

// Before the saves: a reset deletes them; a save the rules leave as it is
// is not converted.
void LookBeforeSaves(Trial& trial) {
    const EditionVersions versions = ChooseEditionVersions(g_settings, trial.addContents);
    if (trial.installed >= versions.newVersion) return;
    char saveFolder[kPathFieldSize] = {};
    LocateSaveFolder(trial.game, saveFolder);
    if (!KeepsSaveData(trial.installed, versions.saveVersion)) {
        const std::vector<std::string> saves = SaveFilesIn(saveFolder, false);
        if (!saves.empty()) {
            Fail(trial, "saves reset: installed " + std::to_string(trial.installed) + " is below SaveVersion " +
                            std::to_string(versions.saveVersion) + ", so the update takes " +
                            Counted(saves.size(), "file") + " of the save folder " + ShownFolder(trial, saveFolder) +
                            " from the game");
        }
        return;
    }
    if (g_convertRuleTable.count == 0) return;
    for (const std::string& name : SaveFilesIn(saveFolder, true)) {
        char path[kPathFieldSize];
        SaveImage image{};
        if (!JoinPath(path, sizeof path, saveFolder, name.c_str()) || LoadWholeFile(path, &image) != kSaveLoaded) {
            Fail(trial, "save " + name + " is not converted: it cannot be read");
        } else if (!ConvertSaveFile(&image)) {
            Fail(trial, "save " + name + " is not converted: no rule changes it, or it is no save");
        }
    }
}

void BeforeStep(void* context, UpdateStep step) {
    Trial& trial = *static_cast<Trial*>(context);
    trial.diagnostics.clear();
    switch (step) {
    case kStepCopy: LookBeforeCopy(trial); break;
    case kStepDelete: LookBeforeDelete(trial); break;
    case kStepRename: LookBeforeRename(trial); break;
    case kStepPatches: LookBeforePatches(trial); break;
    case kStepSaves: LookBeforeSaves(trial); break;
    default: break;
    }
}

void AfterStep(void* context, UpdateStep step, int done) {
    Trial& trial = *static_cast<Trial*>(context);
    Say(std::string(kStepNames[step]) + (done ? ": done" : ": failed"));
    for (const std::string& line : trial.diagnostics) Say("    " + line);
    trial.diagnostics.clear();
}

// Whether the save folder that the copy's Install.ini names lies outside
// the copy, in *folder: the trial would change the saves there.
bool SavesOutsideCopy(const char* game, std::string* folder) {
    char saveFolder[kPathFieldSize] = {};
    LocateSaveFolder(game, saveFolder);
    char full[kPathFieldSize];
    char fullGame[kPathFieldSize];
    if (!OsFullPath(saveFolder, full, sizeof full) || !OsFullPath(game, fullGame, sizeof fullGame)) return false;
    const std::string saves = TreePathKey(full);
    const std::string inside = TreePathKey(fullGame);
    *folder = saveFolder;
    return !(saves.compare(0, inside.size(), inside) == 0 && saves.size() > inside.size() &&
             (saves[inside.size()] == '\\' || saves[inside.size()] == '/'));
}

// Runs the update on the copy below folder: the private registry and
// Programs folder, the updater's own run, the version it recorded. Returns
// the updater's exit status.
int RunOnCopy(Trial& trial, const char* folder, const char* programs) {
    if (!OsBeginPrivateRegistry(folder, g_settings.registrySubkey, trial.game, trial.installed, trial.addContents)) {
        Fail(trial, "a registry of the trial's own cannot be made");
        return -1;
    }
    OsUseProgramsFolder(programs);
    OsPrepareUpdate(1);
    SetDiagnosticSink(KeepDiagnostic);
    SetProgressSink(nullptr);
    const ApplyStepObserver observer{BeforeStep, AfterStep, &trial};
    SetApplyStepObserver(&observer);
    g_trial = &trial;
    const int status = RunLoadedUpdate(nullptr);
    g_trial = nullptr;
    SetApplyStepObserver(nullptr);
    SetDiagnosticSink(nullptr);
    for (const std::string& line : trial.diagnostics) Say("    " + line);
    const std::string outcome = "the updater ends with status " + std::to_string(status) + " (" +
                                ExitStatusName(status) + ")";
    if (status != kExitApplied) {
        Fail(trial, outcome);
    } else {
        uint32_t recorded = 0;
        PlatformRegistryKey* key = OsOpenRegistryKey(g_settings.registrySubkey);
        if (key != nullptr) OsQueryRegistryNumber(key, "Version", &recorded);
        OsCloseRegistryKey(key);
        Say(outcome + "; Version " + std::to_string(recorded) + " recorded");
    }
    OsUseProgramsFolder(nullptr);
    OsEndPrivateRegistry();
    return status;
}

// The trial in its temporary folder: the copy made, the update run, the
// copy compared. Returns the updater's status, or -1.
int TryInFolder(const TrialRequest& request, const char* game, const char* expected, const char* folder,
                Trial& trial, TrialOutcome* outcome) {
    char copy[kPathFieldSize];
    char programs[kPathFieldSize];
    Tree gameTree;
    std::string problem;
    if (!JoinPath(copy, sizeof copy, folder, kTrialGameFolder) ||
        !JoinPath(programs, sizeof programs, folder, kTrialProgramsFolder) || !OsCreateFolder(copy) ||
        !OsCreateFolder(programs)) {
        Fail(trial, std::string("the trial's folders cannot be made in ") + folder);
        return -1;
    }
    // A patched file is written in place, and a file renamed may be patched
    // after: those are copied, every other file may be linked.
    std::unordered_set<std::string> mustCopy;
    for (uint32_t i = 0; i < g_filePatchTable.count; ++i)
        mustCopy.insert(TreePathKey(g_filePatchTable.records[i].fileName));
    for (uint32_t i = 0; i < g_renameTable.count; ++i) mustCopy.insert(TreePathKey(g_renameTable.records[i].oldName));
    if (!ListTree(game, &gameTree, &problem) || !CopyTreeForTrial(game, gameTree, copy, mustCopy, &problem)) {
        Fail(trial, problem);
        return -1;
    }
    trial.game = copy;
    std::string outside;
    if (SavesOutsideCopy(copy, &outside)) {
        Fail(trial, "Install.ini names the save folder " + outside +
                        ", outside the game: the trial would change the saves there, so it stops");
        return -1;
    }
    const int status = RunOnCopy(trial, folder, programs);
    if (expected == nullptr || status < 0) return status;
    std::vector<TreeDifference> differences;
    static const std::unordered_set<std::string> kNone;
    const std::unordered_set<std::string>& same = request.sameAsGame != nullptr ? *request.sameAsGame : kNone;
    if (!CompareTrees(copy, expected, game, gameTree, same, &differences, &problem)) {
        Fail(trial, problem);
        return status;
    }
    for (const TreeDifference& difference : differences) Say("differs: " + difference.path + ": " + difference.how);
    outcome->differences = static_cast<int>(differences.size());
    return status;
}

// Whether the current folder's package, if any, is whole and matches its
// digest list, as the updater reads it before its dialog; else *problem says
// what is wrong.
bool PackageSound(std::string* problem) {
    PackageDigests digests;
    char message[kPackageMessageSize];
    const int result = ReadPackageDigests(kPackageFileName, &digests, message, sizeof message);
    ReleasePackageDigests(&digests);
    if (result != kPackageDamaged) return true;
    *problem = message;
    return false;
}

}  // namespace

int ParseVersionArgument(const char* text, VersionNumber* version) {
    if (text[0] < '0' || text[0] > '9') return 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (*end != '\0' || value > UINT32_MAX) return 0;
    *version = static_cast<VersionNumber>(value);
    return 1;
}

int TryUpdate(const TrialRequest& request, TrialOutcome* outcome) {
    *outcome = TrialOutcome{-1, 0, 0};
    Trial trial{nullptr, request.addContents, 0, 0, {}};
    char game[kPathFieldSize];
    char expected[kPathFieldSize];
    char update[kPathFieldSize];
    if (!OsFullPath(request.game, game, sizeof game) || !OsFullPath(request.updateFolder, update, sizeof update) ||
        (request.expected != nullptr && !OsFullPath(request.expected, expected, sizeof expected))) {
        Fail(trial, "a folder given cannot be found, or its path is too long");
        outcome->failures = trial.failures;
        return 0;
    }
    std::string reason;
    char scriptPath[sizeof kScriptFileName + 2];
    JoinPath(scriptPath, sizeof scriptPath, ".", kScriptFileName);
    const bool entered = OsEnterFolder(update);
    if (entered && !PackageSound(&reason)) {
        Fail(trial, reason + ": the updater refuses the package before it asks anything");
        outcome->failures = trial.failures;
        return 0;
    }
    const int loaded = entered ? LoadUpdateScriptExplained(scriptPath, &reason) : kScriptNotFound;
    if (loaded != kScriptLoaded) {
        Fail(trial, std::string(update) + ": " + (reason.empty() ? ScriptLoadMessage(loaded) : reason));
        outcome->failures = trial.failures;
        return 0;
    }
    const EditionVersions versions = ChooseEditionVersions(g_settings, request.addContents);
    trial.installed = request.installedGiven ? request.installed : versions.supportVersion;
    Say(std::string(request.addContents != 0 ? "add-contents" : "standard") + " edition, installed " +
        std::to_string(trial.installed) + ", NewVersion " + std::to_string(versions.newVersion));
    char folder[kPathFieldSize];
    if (!OsMakeTemporaryFolder(folder, sizeof folder)) {
        Fail(trial, "no temporary folder can be made");
    } else {
        outcome->status = TryInFolder(request, game, request.expected != nullptr ? expected : nullptr, folder,
                                      trial, outcome);
        if (!OsRemoveTree(folder)) Say(std::string("the trial's folder ") + folder + " cannot be removed");
    }
    outcome->failures = trial.failures;
    Say(Counted(static_cast<uint64_t>(outcome->failures), "failure") +
        (request.expected != nullptr ? ", " + Counted(static_cast<uint64_t>(outcome->differences), "difference")
                                     : std::string()));
    return outcome->status == kExitApplied && outcome->failures == 0 && outcome->differences == 0;
}

int RunTry(int argc, char** argv) {
    TrialRequest request{nullptr, nullptr, 0, false, 0, nullptr, nullptr};
    for (int i = 0; i < argc; ++i) {
        const char* argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argument, "--game") == 0 && hasValue) {
            request.game = argv[++i];
        } else if (std::strcmp(argument, "--expect") == 0 && hasValue) {
            request.expected = argv[++i];
        } else if (std::strcmp(argument, "--edition") == 0 && hasValue) {
            const char* edition = argv[++i];
            if (std::strcmp(edition, "standard") != 0 && std::strcmp(edition, "add-contents") != 0)
                return UsageError("--edition is standard or add-contents");
            request.addContents = std::strcmp(edition, "add-contents") == 0 ? 1 : 0;
        } else if (std::strcmp(argument, "--installed") == 0 && hasValue) {
            if (!ParseVersionArgument(argv[++i], &request.installed))
                return UsageError("--installed needs a version number, such as 1000");
            request.installedGiven = true;
        } else if (argument[0] == '-') {
            const bool known = std::strcmp(argument, "--game") == 0 || std::strcmp(argument, "--expect") == 0 ||
                               std::strcmp(argument, "--edition") == 0 || std::strcmp(argument, "--installed") == 0;
            return UsageError(known ? (std::string(argument) + " needs a value").c_str()
                                    : (std::string("unknown option \"") + argument + "\"").c_str());
        } else if (request.updateFolder == nullptr) {
            request.updateFolder = argument;
        } else {
            return UsageError("try takes one update folder");
        }
    }
    if (request.updateFolder == nullptr || request.game == nullptr)
        return UsageError("try needs the update's folder and --game OLD");
    TrialOutcome outcome;
    return TryUpdate(request, &outcome) ? kUpdpackDone : kUpdpackFailed;
}
