// The power-cut model of the crash-testing layer. Divisions: the model's
// state, following changes, choosing what is lost, undoing it.
#include "power_loss.h"

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "crash_platform.h"

namespace fs = std::filesystem;

namespace {

// The model's state --------------------------------------------------------------

constexpr size_t kPageSize = 4096;

// A file whose data changed since its last flush.
struct DirtyFile {
    FileKey key;
    NativePath path;     // where it is now: its name, or its name in the stash
    intptr_t openFile;   // the descriptor or handle that last wrote it, or -1
    bool revertible;     // whether its data at its last flush is known
    std::string before;  // that data
};

enum EntryKind : int {
    kEntryCreate,    // a file created at path
    kEntryRemove,    // the file at path removed, kept in the stash
    kEntryRename,    // path renamed to newPath, over the file kept in the stash if any
    kEntryFolder,    // a folder made at path
    kEntryRegistry,  // a registry value changed (Windows)
};

// One change of folder entries (or of the registry) since the flush of the
// folders it concerns.
struct EntryChange {
    EntryKind kind;
    NativePath path;
    NativePath newPath;
    NativePath stash;  // empty: nothing kept
    RegistryValueBefore registry;
    bool lost;
};

// The unflushed entry changes of one folder, in order.
struct FolderChanges {
    NativePath folder;
    std::vector<size_t> changes;  // indices into Model::changes
};

struct Model {
    bool started;
    bool ignoreFlushes;
    NativePath stash;
    uint32_t stashed;                   // names handed out in the stash
    std::vector<DirtyFile> files;       // in the order first changed
    std::vector<NativePath> created;    // files just created by name, their data empty on disk
    std::vector<EntryChange> changes;
    std::vector<FolderChanges> folders; // in the order first changed
};

Model g_model;

const NativePathChar kRegistryList[] = {'<', 'r', 'e', 'g', 'i', 's', 't', 'r', 'y', '>', 0};

// path in one form for every way it reaches the model: absolute, without
// "." or ".." parts, and on Windows without the \\?\ prefix.
NativePath Normalized(const NativePath& path) {
    std::error_code error;
    fs::path absolute = fs::absolute(fs::path(path), error);
    if (error) absolute = fs::path(path);
    NativePath text = absolute.lexically_normal().native();
#ifdef _WIN32
    if (text.rfind(L"\\\\?\\", 0) == 0) text.erase(0, 4);
#endif
    const fs::path::value_type separator = fs::path::preferred_separator;
    while (text.size() > 1 && text.back() == separator && text[text.size() - 2] != ':') text.pop_back();
    return text;
}

NativePath FolderOf(const NativePath& path) {
    return fs::path(path).parent_path().native();
}

DirtyFile* FindFile(const FileKey& key) {
    for (DirtyFile& file : g_model.files) {
        if (file.key == key) return &file;
    }
    return nullptr;
}

// The files just created by name are there now: their data on disk is empty.
void TakeUpCreatedFiles() {
    for (const NativePath& path : g_model.created) {
        FileKey key;
        if (KeyOfPath(path, &key) && FindFile(key) == nullptr)
            g_model.files.push_back(DirtyFile{key, path, -1, true, std::string()});
    }
    g_model.created.clear();
}

// Following changes --------------------------------------------------------------

// Records that the data of the file at path (open as openFile, or -1) is
// about to change, keeping its data as it is now, on disk.
void DirtyFileData(const NativePath& path, intptr_t openFile) {
    FileKey key;
    const bool known = openFile != -1 ? KeyOfOpenFile(openFile, &key) : KeyOfPath(path, &key);
    if (!known) return;
    if (DirtyFile* file = FindFile(key)) {
        if (openFile != -1) file->openFile = openFile;
        return;
    }
    DirtyFile file{key, path, openFile, false, std::string()};
    file.revertible = ReadFileContent(path, openFile, &file.before) != 0;
    g_model.files.push_back(std::move(file));
}

void FlushFileData(const FileKey& key) {
    g_model.files.erase(std::remove_if(g_model.files.begin(), g_model.files.end(),
                                       [&](const DirtyFile& file) { return file.key == key; }),
                        g_model.files.end());
}

void AddToFolder(const NativePath& folder, size_t change) {
    for (FolderChanges& changes : g_model.folders) {
        if (changes.folder == folder) {
            changes.changes.push_back(change);
            return;
        }
    }
    g_model.folders.push_back(FolderChanges{folder, {change}});
}

void FlushFolder(const NativePath& folder) {
    g_model.folders.erase(std::remove_if(g_model.folders.begin(), g_model.folders.end(),
                                         [&](const FolderChanges& changes) { return changes.folder == folder; }),
                          g_model.folders.end());
}

// Records change in the folders of path and, when another, of newPath.
void AddEntryChange(EntryChange change) {
    const size_t index = g_model.changes.size();
    const NativePath folder = change.kind == kEntryRegistry ? NativePath(kRegistryList) : FolderOf(change.path);
    const NativePath newFolder = change.newPath.empty() ? folder : FolderOf(change.newPath);
    g_model.changes.push_back(std::move(change));
    AddToFolder(folder, index);
    if (newFolder != folder) AddToFolder(newFolder, index);
}

// Keeps the file at path, about to lose that name, under a new name in the
// stash; the dirty file there follows it. Returns the stash's name, or an
// empty one when nothing is there or it cannot be kept (the change then
// stays as if durable).
NativePath StashFile(const NativePath& path) {
    FileKey key;
    if (!KeyOfPath(path, &key) || fs::is_directory(fs::path(path))) return NativePath();
    const std::string number = std::to_string(g_model.stashed++);
    const NativePath name = (fs::path(g_model.stash) / fs::path(NativePath(number.begin(), number.end()))).native();
    if (!LinkFile(path, name)) return NativePath();
    if (DirtyFile* file = FindFile(key)) file->path = name;
    return name;
}

void RenameDirtyFiles(const NativePath& from, const NativePath& to) {
    for (DirtyFile& file : g_model.files) {
        if (file.path == from) file.path = to;
    }
}

void RecordRename(const NativePath& from, const NativePath& to) {
    EntryChange change{kEntryRename, from, to, StashFile(to), {}, false};
    RenameDirtyFiles(from, to);
    AddEntryChange(std::move(change));
}

void RecordRemoval(const NativePath& path) {
    NativePath stash = StashFile(path);
    if (stash.empty()) return;
    AddEntryChange(EntryChange{kEntryRemove, path, NativePath(), std::move(stash), {}, false});
}

void RecordCreation(const NativePath& path) {
    FileKey key;
    if (KeyOfPath(path, &key)) {
        // Emptied: its data is what changes.
        DirtyFileData(path, -1);
        return;
    }
    g_model.created.push_back(path);
    AddEntryChange(EntryChange{kEntryCreate, path, NativePath(), NativePath(), {}, false});
}

void RecordFileFlush(const DiskChangeTarget& target) {
    FileKey key;
    if (target.file != -1 ? KeyOfOpenFile(target.file, &key) : KeyOfPath(Normalized(target.path), &key))
        FlushFileData(key);
}

#ifdef _WIN32
void RecordRegistryChange(const DiskChangeTarget& target) {
    EntryChange change{kEntryRegistry, NativePath(target.path), NativePath(), NativePath(), {}, false};
    if (ReadRegistryValue(target.file, change.path, &change.registry)) AddEntryChange(std::move(change));
}
#endif

// Choosing what is lost ------------------------------------------------------------

// What becomes of a dirty file's data.
enum DataFate : int { kDataKept, kDataLost, kDataTorn };

// Marks the changes of folders from keep on as lost.
void LoseFromPoint(const FolderChanges& folder, size_t keep) {
    for (size_t i = keep; i < folder.changes.size(); ++i) g_model.changes[folder.changes[i]].lost = true;
}

// The data of a file after a cut that tears it: each 4 KiB page its old or
// its new content, as random decides; the length follows the last page.
std::string TornData(const std::string& before, const std::string& now, std::mt19937& random) {
    const size_t longest = std::max(before.size(), now.size());
    std::string torn = before;
    torn.resize(longest, '\0');
    bool lastPageNew = false;
    size_t end = before.size();
    for (size_t page = 0; page < longest; page += kPageSize) {
        const bool isNew = (random() & 1u) != 0;
        lastPageNew = isNew;
        if (!isNew || page >= now.size()) continue;
        const size_t length = std::min(kPageSize, now.size() - page);
        torn.replace(page, length, now, page, length);
        end = std::max(end, page + length);
    }
    torn.resize(lastPageNew ? now.size() : std::min(end, longest));
    return torn;
}

// Undoing what is lost ---------------------------------------------------------------

void UndoChange(const EntryChange& change) {
    std::error_code error;
    switch (change.kind) {
    case kEntryCreate:
        fs::remove(fs::path(change.path), error);
        break;
    case kEntryRemove:
        if (!fs::exists(fs::path(change.path), error)) LinkFile(change.stash, change.path);
        break;
    case kEntryRename:
        if (fs::exists(fs::path(change.newPath), error) && !fs::exists(fs::path(change.path), error))
            fs::rename(fs::path(change.newPath), fs::path(change.path), error);
        if (!change.stash.empty() && !fs::exists(fs::path(change.newPath), error))
            LinkFile(change.stash, change.newPath);
        break;
    case kEntryFolder:
        fs::remove_all(fs::path(change.path), error);
        break;
    case kEntryRegistry:
        RestoreRegistryValue(change.registry);
        break;
    }
}

void SetFileData(const DirtyFile& file, DataFate fate, std::mt19937& random) {
    if (fate == kDataKept || !file.revertible) return;
    // A descriptor or handle that now names another file must not be used.
    FileKey open;
    const intptr_t openFile = file.openFile != -1 && KeyOfOpenFile(file.openFile, &open) && open == file.key
                                  ? file.openFile
                                  : -1;
    std::string now;
    if (fate == kDataTorn && !ReadFileContent(file.path, openFile, &now)) return;
    RewriteFileContent(file.path, openFile, fate == kDataLost ? file.before : TornData(file.before, now, random));
}

}  // namespace

void StartPowerModel(const NativePathChar* stash, bool ignoreFlushes) {
    g_model.started = true;
    g_model.ignoreFlushes = ignoreFlushes;
    g_model.stash = Normalized(stash);
    std::error_code error;
    fs::create_directories(fs::path(g_model.stash), error);
}

void RecordChange(DiskChange change, const DiskChangeTarget& target) {
    if (!g_model.started) return;
    TakeUpCreatedFiles();
    const NativePath path = target.path != nullptr ? Normalized(target.path) : NativePath();
    const NativePath newPath = target.newPath != nullptr ? Normalized(target.newPath) : NativePath();
    switch (change) {
    case kDiskCreate:
        RecordCreation(path);
        break;
    case kDiskWrite: {
        NativePath openPath;
        if (PathOfOpenFile(target.file, &openPath)) DirtyFileData(Normalized(openPath), target.file);
        break;
    }
    case kDiskFlushFile:
        if (!g_model.ignoreFlushes) RecordFileFlush(target);
        break;
    case kDiskFlushVolume:
        if (!g_model.ignoreFlushes) g_model.files.clear();
        break;
    case kDiskFlushFolder:
        if (!g_model.ignoreFlushes) FlushFolder(path);
        break;
    case kDiskSwap:
    case kDiskRename:
        RecordRename(path, newPath);
        break;
    case kDiskDelete:
    case kDiskDiscard:
        RecordRemoval(path);
        break;
    case kDiskFolder:
        AddEntryChange(EntryChange{kEntryFolder, path, NativePath(), NativePath(), {}, false});
        break;
#ifdef _WIN32
    case kDiskRegistry:
        RecordRegistryChange(target);
        break;
    case kDiskFlushRegistry:
        if (!g_model.ignoreFlushes) FlushFolder(kRegistryList);
        break;
    case kDiskLink:
        RecordCreation(path);
        break;
#endif
    default:
        // On POSIX the registry file and the desktop entries are replaced
        // through the changes above.
        break;
    }
}

void CountUnflushed(uint32_t* files, uint32_t* folders) {
    TakeUpCreatedFiles();
    *files = static_cast<uint32_t>(g_model.files.size());
    *folders = static_cast<uint32_t>(g_model.folders.size());
}

void CutPower(const PowerCut& cut) {
    TakeUpCreatedFiles();
    std::mt19937 random(cut.seed);
    std::vector<DataFate> fates(g_model.files.size(), kDataKept);
    for (size_t i = 0; i < g_model.folders.size(); ++i) {
        const FolderChanges& folder = g_model.folders[i];
        if (cut.kind == kLoseEverything || (cut.kind == kLoseOneFolder && i == cut.which % g_model.folders.size()))
            LoseFromPoint(folder, 0);
        else if (cut.kind == kLoseSome)
            LoseFromPoint(folder, random() % (folder.changes.size() + 1));
    }
    for (size_t i = 0; i < fates.size(); ++i) {
        if (cut.kind == kLoseEverything || (cut.kind == kLoseOneFile && i == cut.which % fates.size()))
            fates[i] = kDataLost;
        else if (cut.kind == kLoseSome)
            fates[i] = static_cast<DataFate>(random() % 3);
    }
    // Data first, while every file has the name the model knows; then the
    // entries, the latest change first.
    for (size_t i = 0; i < fates.size(); ++i) SetFileData(g_model.files[i], fates[i], random);
    for (size_t i = g_model.changes.size(); i-- > 0;) {
        if (g_model.changes[i].lost) UndoChange(g_model.changes[i]);
    }
    // The stash's names of the files put back would be further names of
    // theirs, which a disk after a power cut does not hold.
    std::error_code error;
    fs::remove_all(fs::path(g_model.stash), error);
}
