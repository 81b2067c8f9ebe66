// updpack diff: the update that turns one build of a game into the next,
// written, checked and tried on a copy of the old build.
#include "updpack_diff.h"

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "check/script_check.h"
#include "common/sjis_text.h"
#include "package/package_digests.h"
#include "package/package_directory.h"
#include "package/package_format.h"
#include "package/package_writer.h"
#include "platform/platform_dialog.h"
#include "platform/platform_files.h"
#include "platform/platform_process.h"
#include "platform/platform_replacement.h"
#include "platform/platform_trial.h"
#include "script/script_loader.h"
#include "script/update_plan.h"
#include "updpack.h"
#include "updpack_changes.h"
#include "updpack_script.h"
#include "updpack_try.h"

namespace {

// Names no member may have: the script, the package and its digest list, and
// the programs shipped beside them, which the updater would take for a loose
// source.
constexpr const char* kReservedNames[] = {"Update.ini", "UpdateData.dat", kDigestListName, "updater.exe",
                                          "updater",    "updpack.exe",    "updpack"};

struct DiffRequest {
    const char* oldRoot = nullptr;
    const char* newRoot = nullptr;
    const char* addContentsOld = nullptr;
    const char* addContentsNew = nullptr;
    const char* out = nullptr;
    const char* templatePath = nullptr;
    std::string settings;  // setting lines the options give, after the template's
};

// The full paths of a request's folders.
struct DiffFolders {
    char oldRoot[kPathFieldSize];
    char newRoot[kPathFieldSize];
    char addContentsOld[kPathFieldSize];
    char addContentsNew[kPathFieldSize];
    char out[kPathFieldSize];
};

void Say(const std::string& line) {
    PutText(stdout, ("diff: " + line + "\n").c_str());
}

int Refuse(const std::string& problem) {
    Complain(("diff: " + problem).c_str());
    return kUpdpackFailed;
}

// "NewVersion = 1020, 1021" from "1020,1021" or "1020". Returns 0 when the
// text is no version or pair of versions.
int AddVersionLine(const char* keyword, const char* text, std::string* lines) {
    const char* comma = std::strchr(text, ',');
    const std::string first = comma != nullptr ? std::string(text, comma) : std::string(text);
    const std::string second = comma != nullptr ? std::string(comma + 1) : first;
    VersionNumber standard = 0;
    VersionNumber addContents = 0;
    if (!ParseVersionArgument(first.c_str(), &standard) || !ParseVersionArgument(second.c_str(), &addContents))
        return 0;
    *lines += std::string(keyword) + " = " + std::to_string(standard) + ", " + std::to_string(addContents) + "\r\n";
    return 1;
}

// Takes option's value into request. Returns 1, or 0 when option is none of
// diff's or its value does not fit.
int TakeOption(const char* option, const char* value, DiffRequest* request, std::string* problem) {
    const std::pair<const char*, const char**> paths[] = {
        {"--out", &request->out},
        {"--template", &request->templatePath},
        {"--ac-old", &request->addContentsOld},
        {"--ac-new", &request->addContentsNew},
    };
    for (const auto& [name, target] : paths) {
        if (std::strcmp(option, name) != 0) continue;
        *target = value;
        return 1;
    }
    const std::pair<const char*, const char*> texts[] = {{"--title", "AppTitle"}, {"--registry", "Registory"}};
    for (const auto& [name, keyword] : texts) {
        if (std::strcmp(option, name) != 0) continue;
        std::string field;
        *problem = std::string(option) + ": no field of a script can hold this text";
        if (!ScriptField(value, kSettingFieldSize, &field)) return 0;
        request->settings += std::string(keyword) + " = " + field + "\r\n";
        return 1;
    }
    const std::pair<const char*, const char*> versions[] = {
        {"--new-version", "NewVersion"}, {"--support-version", "SupportVersion"}, {"--save-version", "SaveVersion"}};
    for (const auto& [name, keyword] : versions) {
        if (std::strcmp(option, name) != 0) continue;
        *problem = std::string(option) + " needs a version, or two for the editions: 1020 or 1020,1021";
        return AddVersionLine(keyword, value, &request->settings);
    }
    *problem = std::string("unknown option \"") + option + "\"";
    return 0;
}

// Reads the arguments after "diff" into request. Returns kUpdpackDone, or
// the status of a usage error.
int ParseDiffArguments(int argc, char** argv, DiffRequest* request) {
    for (int i = 0; i < argc; ++i) {
        const char* argument = argv[i];
        if (argument[0] != '-') {
            if (request->newRoot != nullptr) return UsageError("diff takes two builds, OLD and NEW");
            (request->oldRoot == nullptr ? request->oldRoot : request->newRoot) = argument;
            continue;
        }
        if (i + 1 >= argc) return UsageError((std::string(argument) + " needs a value").c_str());
        std::string problem;
        if (!TakeOption(argument, argv[++i], request, &problem)) return UsageError(problem.c_str());
    }
    if (request->newRoot == nullptr || request->out == nullptr)
        return UsageError("diff needs OLD, NEW and --out FOLDER");
    if ((request->addContentsOld == nullptr) != (request->addContentsNew == nullptr))
        return UsageError("--ac-old and --ac-new go together");
    return kUpdpackDone;
}

// Whether the folder inner lies in outer or is outer (full paths).
bool LiesIn(const char* inner, const char* outer) {
    const std::string in = TreePathKey(inner);
    const std::string out = TreePathKey(outer);
    return in.compare(0, out.size(), out) == 0 &&
           (in.size() == out.size() || in[out.size()] == '\\' || in[out.size()] == '/');
}

// The full path of the folder out, which need not exist yet: its parent's
// full path and its name. Returns 0 when the parent cannot be found.
int FullOutPath(const char* out, char* full, size_t capacity) {
    if (OsFullPath(out, full, capacity)) return 1;
    std::string path = out;
    while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    const char* name = ArgumentBaseNameOf(path.c_str());
    std::string parent(path.c_str(), name);
    if (parent.size() > 1 && (parent.back() == '\\' || parent.back() == '/')) parent.pop_back();
    char parentPath[kPathFieldSize];
    return *name != '\0' && OsFullPath(parent.empty() ? "." : parent.c_str(), parentPath, sizeof parentPath) &&
           JoinPath(full, capacity, parentPath, name);
}

// The full paths of request's folders; the update's folder is made when
// missing, unless it would lie in a build. Returns 1, or 0 with *problem set.
int FindFolders(const DiffRequest& request, DiffFolders* folders, std::string* problem) {
    const std::pair<const char*, char*> builds[] = {
        {request.oldRoot, folders->oldRoot},
        {request.newRoot, folders->newRoot},
        {request.addContentsOld, folders->addContentsOld},
        {request.addContentsNew, folders->addContentsNew},
    };
    for (const auto& [given, full] : builds) {
        full[0] = '\0';
        if (given == nullptr || OsFullPath(given, full, kPathFieldSize)) continue;
        *problem = std::string(given) + ": no such folder, or its path is too long";
        return 0;
    }
    if (!FullOutPath(request.out, folders->out, sizeof folders->out)) {
        *problem = std::string(request.out) + ": its folder cannot be found, or its path is too long";
        return 0;
    }
    for (const auto& [given, full] : builds) {
        if (full[0] == '\0' || !LiesIn(folders->out, full)) continue;
        *problem = std::string(request.out) + " lies in " + given + ": the update is written beside the builds";
        return 0;
    }
    OsCreateFolder(folders->out);
    return 1;
}

// The whole file at path as text. Returns 0 when it cannot be read.
int ReadWholeText(const char* path, std::string* text) {
    PlatformFile* file = OsOpenForReading(path);
    uint64_t length = 0;
    int read = file != nullptr && OsFileLength(file, &length) && length < (uint64_t{64} << 20);
    if (read) {
        text->assign(static_cast<size_t>(length), '\0');
        uint32_t got = 0;
        read = OsReadFile(file, text->data(), static_cast<uint32_t>(length), &got) && got == length;
    }
    OsCloseFile(file);
    return read;
}

// The script's settings: the template's text without its file lines, then
// the options' lines, which a later occurrence makes win.
int ComposeSettings(const DiffRequest& request, std::string* settings, std::string* problem) {
    *settings = "; Written by updpack diff.\r\n";
    if (request.templatePath != nullptr) {
        std::string text;
        std::string kept;
        if (!ReadWholeText(request.templatePath, &text)) {
            *problem = std::string(request.templatePath) + ": the template cannot be read";
            return 0;
        }
        if (!TemplateWithoutFileLines(text, &kept, problem)) return 0;
        *settings += kept;
    }
    *settings += request.settings;
    return 1;
}

// Lists both trees of an edition and finds its changes.
int FindEditionChanges(const char* oldRoot, const char* newRoot, EditionTrees* trees, EditionChanges* changes,
                       std::string* problem) {
    trees->oldRoot = oldRoot;
    trees->newRoot = newRoot;
    return ListTree(oldRoot, &trees->oldTree, problem) && ListTree(newRoot, &trees->newTree, problem) &&
           FindChanges(*trees, changes, problem);
}

// The names of the entries of folder, and the reserved ones.
std::vector<std::string> TakenNames(const char* folder) {
    std::vector<std::string> names(std::begin(kReservedNames), std::end(kReservedNames));
    PlatformFolderListing* listing = OsOpenFolderListing(folder);
    char name[kPathFieldSize];
    int isFolder = 0;
    while (listing != nullptr && OsNextFolderEntry(listing, name, sizeof name, &isFolder)) names.push_back(name);
    OsCloseFolderListing(listing);
    return names;
}

// Writes text as the file path whole, replacing one there.
int WriteWholeFile(const std::string& path, const std::string& text) {
    PlatformReplacement* replacement = OsBeginReplacement(path.c_str());
    if (replacement == nullptr) return 0;
    if (!OsWriteFile(OsReplacementFile(replacement), text.data(), static_cast<uint32_t>(text.size()))) {
        OsAbandonReplacement(replacement);
        return 0;
    }
    return OsCommitReplacement(replacement);
}

// Writes Update.ini, the package of members (the script among them) and, for
// an empty member, an empty loose file into folder.
int WriteUpdate(const char* folder, const std::string& script, const std::vector<PackedMember>& members,
                std::string* problem) {
    std::string scriptPath;
    std::string packagePath;
    TreeFilePath(folder, kScriptFileName, &scriptPath);
    TreeFilePath(folder, kPackageFileName, &packagePath);
    if (!WriteWholeFile(scriptPath, script)) {
        *problem = scriptPath + ": cannot be written";
        return 0;
    }
    std::vector<PackageSource> sources{{kScriptFileName, scriptPath.c_str()}};
    for (const PackedMember& member : members) {
        if (member.size != 0) {
            sources.push_back({member.name.c_str(), member.sourcePath.c_str()});
            continue;
        }
        std::string loose;
        PlatformFile* file = TreeFilePath(folder, member.name, &loose) ? OsCreateNewFile(loose.c_str()) : nullptr;
        OsCloseFile(file);
        if (file == nullptr) {
            *problem = loose + ": the empty file cannot be made";
            return 0;
        }
    }
    char message[kPackageMessageSize];
    if (WritePackage(packagePath.c_str(), kLongNameLayout, sources.data(), static_cast<uint32_t>(sources.size()),
                     message, sizeof message) != kPackageWritten) {
        *problem = message;
        return 0;
    }
    return 1;
}

// Tells what the update does.
void SayWhatItDoes(const MergedChanges& merged, const std::vector<PackedMember>& members,
                   const std::vector<std::string>& keptFolders) {
    uint64_t packed = 0;
    uint32_t lines = 0;
    for (const PackedMember& member : members) packed += member.size;
    for (const PatchedFile& patch : merged.patches) lines += PatchLinesOf(patch.runs);
    Say(Counted(merged.copies.size(), "file") + " copied from " + Counted(members.size(), "member") + " (" +
        Counted(packed, "byte") + "), " + Counted(merged.patches.size(), "file") + " patched in " +
        Counted(lines, "line") + ", " + Counted(merged.renames.size(), "file") + " renamed, " +
        Counted(merged.deletes.size(), "file") + " deleted, " + Counted(merged.folders.size(), "folder") + " made");
    for (const std::string& folder : keptFolders)
        Say("note: the folder " + folder + " is not in the new build; no update removes a folder, so it stays");
}

// Checks the update written in folder as updpack check does. Returns 1 when
// it passed.
int CheckWrittenUpdate(const char* folder) {
    ScriptCheckReport report;
    if (!OsEnterFolder(folder)) return 0;
    CheckScript(&report);
    if (!report.errors.empty()) OsWriteError(report.errors.c_str());
    return report.status == kCheckPassed;
}

// Tries the update on a copy of each edition's old build against its new
// one. Returns 1 when every edition came out exactly as its new build.
int TryEachEdition(const DiffFolders& folders, const EditionChanges& standard, const EditionChanges* addContents) {
    int exact = 1;
    for (uint32_t edition = 0; edition < (addContents != nullptr ? 2u : 1u); ++edition) {
        const bool second = edition == 1;
        TrialRequest request{folders.out, second ? folders.addContentsOld : folders.oldRoot, edition, false, 0,
                             second ? folders.addContentsNew : folders.newRoot,
                             second ? &addContents->unchanged : &standard.unchanged};
        TrialOutcome outcome;
        TryUpdate(request, &outcome);
        const char* name = second ? "add-contents" : "standard";
        if (outcome.status == 0 && outcome.differences == 0) {
            Say(std::string("the update turns the old build into the new one exactly (") + name + " edition)");
        } else {
            Say(std::string("the update does not turn the old build into the new one (") + name + " edition)");
            exact = 0;
        }
    }
    return exact;
}

}  // namespace

int RunDiff(int argc, char** argv) {
    DiffRequest request;
    const int usage = ParseDiffArguments(argc, argv, &request);
    if (usage != kUpdpackDone) return usage;
    DiffFolders folders;
    std::string problem;
    std::string settings;
    EditionTrees standardTrees;
    EditionTrees addContentsTrees;
    EditionChanges standard;
    EditionChanges addContents;
    const bool both = request.addContentsOld != nullptr;
    if (!FindFolders(request, &folders, &problem) || !ComposeSettings(request, &settings, &problem) ||
        !FindEditionChanges(folders.oldRoot, folders.newRoot, &standardTrees, &standard, &problem) ||
        (both && !FindEditionChanges(folders.addContentsOld, folders.addContentsNew, &addContentsTrees,
                                     &addContents, &problem)))
        return Refuse(problem);
    MergedChanges merged;
    std::vector<PackedMember> members;
    std::map<std::string, std::string> memberOf;
    std::string script;
    if (!MergeChanges(standardTrees, standard, both ? &addContentsTrees : nullptr, both ? &addContents : nullptr,
                      &merged, &problem) ||
        !NameMembers(merged, TakenNames(folders.out), &members, &memberOf, &problem) ||
        !ComposeScript(settings, merged, memberOf, &script, &problem))
        return Refuse(problem);
    if (LoadUpdateScriptText(script.data(), static_cast<uint32_t>(script.size()), nullptr) != kScriptLoaded)
        return Refuse("the script written does not load: an option's text ends a statement early");
    if (g_settings.supportVersion.standard == 0 || g_settings.supportVersion.addContents == 0)
        return Refuse("the update needs SupportVersion (--support-version or the template): it turns only the old "
                      "build's version into the new one");
    if (!WriteUpdate(folders.out, script, members, &problem)) return Refuse(problem);
    std::vector<std::string> keptFolders = standard.keptFolders;
    if (both) keptFolders.insert(keptFolders.end(), addContents.keptFolders.begin(), addContents.keptFolders.end());
    SayWhatItDoes(merged, members, keptFolders);
    if (!CheckWrittenUpdate(folders.out)) return Refuse("the update written does not pass the check");
    return TryEachEdition(folders, standard, both ? &addContents : nullptr) ? kUpdpackDone : kUpdpackFailed;
}
