// The changes between two builds of each edition, and the one update that
// makes them.
#include "updpack_changes.h"

#include <algorithm>
#include <map>
#include <memory>
#include <new>

#include "script/rule_tables.h"
#include "script/update_plan.h"

namespace {

constexpr uint64_t kLargestPatchOffset = 0x7FFFFFFF;  // a patch's offset is signed 32-bit
constexpr size_t kLongestScriptName = kNameFieldSize - 1;

// The bytes of the BINARY lines of a patch of the file at path.
uint64_t PatchScriptBytes(const std::string& path, const std::vector<ChangedRun>& runs) {
    uint64_t bytes = 0;
    for (const ChangedRun& run : runs) {
        for (uint64_t done = 0; done < run.bytes.size(); done += kPatchDataSize) {
            // "ConvertFile BINARY = ", the path, ", ", the offset, ", ", the hex digits, CR LF.
            const uint64_t length = std::min<uint64_t>(kPatchDataSize, run.bytes.size() - done);
            bytes += 21 + path.size() + 2 + std::to_string(run.offset + done).size() + 2 + 2 * length + 2;
        }
    }
    return bytes;
}

// Whether the changed runs of a file of size bytes at path are better
// written as patches than as a copy.
bool WorthPatching(const std::string& path, uint64_t size, const std::vector<ChangedRun>& runs) {
    if (runs.empty() || path.size() > kLongestScriptName || PatchLinesOf(runs) > kMostPatchLinesPerFile) return false;
    const ChangedRun& last = runs.back();
    return last.offset + last.bytes.size() <= kLargestPatchOffset && PatchScriptBytes(path, runs) < size;
}

// The file of tree at path, in full, or "" when it does not fit.
std::string FullPath(const std::string& root, const std::string& path) {
    std::string full;
    return TreeFilePath(root.c_str(), path, &full) ? full : std::string();
}

// Pairs each file new in the tree (added, indices into the new tree) with a
// gone one of the same bytes (gone, indices into the old tree): those are
// renamed, the others copied and deleted.
int PairRenames(const EditionTrees& trees, const std::vector<size_t>& added, const std::vector<size_t>& gone,
                EditionChanges* changes, std::string* problem) {
    std::multimap<uint64_t, size_t> goneBySize;
    for (size_t index : gone) goneBySize.emplace(trees.oldTree.entries[index].size, index);
    std::map<size_t, uint64_t> oldDigests;
    std::vector<bool> used(trees.oldTree.entries.size(), false);
    for (size_t index : added) {
        const TreeEntry& entry = trees.newTree.entries[index];
        const std::string newPath = FullPath(trees.newRoot, entry.path);
        const auto [first, last] = goneBySize.equal_range(entry.size);
        bool renamed = false;
        uint64_t newDigest = 0;
        bool digested = false;
        for (auto candidate = first; candidate != last && !renamed && entry.size > 0; ++candidate) {
            if (used[candidate->second]) continue;
            const std::string oldPath = FullPath(trees.oldRoot, trees.oldTree.entries[candidate->second].path);
            if (!digested && !(digested = DigestFile(newPath, &newDigest))) {
                *problem = newPath + ": the file cannot be read";
                return 0;
            }
            if (oldDigests.count(candidate->second) == 0 && !DigestFile(oldPath, &oldDigests[candidate->second])) {
                *problem = oldPath + ": the file cannot be read";
                return 0;
            }
            if (oldDigests[candidate->second] != newDigest ||
                CompareFiles(oldPath.c_str(), newPath.c_str(), nullptr, 0, 0, nullptr) != kFilesEqual)
                continue;
            used[candidate->second] = true;
            changes->renames.emplace_back(trees.oldTree.entries[candidate->second].path, entry.path);
            renamed = true;
        }
        if (!renamed) changes->copies.push_back(entry.path);
    }
    for (size_t index : gone) {
        if (!used[index]) changes->deletes.push_back(trees.oldTree.entries[index].path);
    }
    return 1;
}

// Finds in changes the patch of the file with key, or nullptr.
const PatchedFile* FindPatch(const EditionChanges& changes, const std::string& key) {
    for (const PatchedFile& patch : changes.patches) {
        if (TreePathKey(patch.path) == key) return &patch;
    }
    return nullptr;
}

bool SameRuns(const std::vector<ChangedRun>& a, const std::vector<ChangedRun>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].offset != b[i].offset || a[i].bytes != b[i].bytes) return false;
    }
    return true;
}

bool InTree(const Tree& tree, const std::string& path) {
    return tree.byKey.count(TreePathKey(path)) != 0;
}

// Whether the other edition's trees hold neither path: a change of it there
// does nothing.
bool Untouched(const EditionTrees& other, const std::string& path) {
    return !InTree(other.oldTree, path) && !InTree(other.newTree, path);
}

// Turns the renames and patches of one edition that the other does not make
// alike into copies (and deletes of the renamed files).
void KeepOnlyShared(EditionChanges& changes, const EditionChanges& other, const EditionTrees& otherTrees) {
    std::vector<std::pair<std::string, std::string>> renames;
    for (const auto& rename : changes.renames) {
        const bool shared = std::any_of(other.renames.begin(), other.renames.end(), [&](const auto& theirs) {
            return TreePathKey(theirs.first) == TreePathKey(rename.first) &&
                   TreePathKey(theirs.second) == TreePathKey(rename.second);
        });
        if (shared || (Untouched(otherTrees, rename.first) && Untouched(otherTrees, rename.second))) {
            renames.push_back(rename);
        } else {
            changes.copies.push_back(rename.second);
            changes.deletes.push_back(rename.first);
        }
    }
    changes.renames = renames;
    std::vector<PatchedFile> patches;
    for (PatchedFile& patch : changes.patches) {
        const PatchedFile* theirs = FindPatch(other, TreePathKey(patch.path));
        if (theirs != nullptr && SameRuns(theirs->runs, patch.runs)) {
            patches.push_back(std::move(patch));
        } else {
            changes.copies.push_back(patch.path);
        }
    }
    changes.patches = std::move(patches);
}

// Whether tree holds a folder at path.
bool HoldsFolder(const Tree& tree, const std::string& path) {
    const auto found = tree.byKey.find(TreePathKey(path));
    return found != tree.byKey.end() && tree.entries[found->second].folder;
}

// An error when the other edition keeps a file this one deletes, or ends
// without a folder this one makes. Returns 1 when there is none.
int CheckSharedLines(const EditionChanges& changes, const EditionTrees& otherTrees, const char* edition,
                     const char* otherEdition, std::string* problem) {
    for (const std::string& path : changes.deletes) {
        if (!InTree(otherTrees.newTree, path)) continue;
        *problem = path + ": the " + edition + " edition's update deletes it, and the " + otherEdition +
                   " edition keeps it; one update cannot do both";
        return 0;
    }
    for (const std::string& path : changes.folders) {
        // A folder the other edition had stays there, whatever its new build.
        if (HoldsFolder(otherTrees.newTree, path) ||
            (HoldsFolder(otherTrees.oldTree, path) && !InTree(otherTrees.newTree, path)))
            continue;
        *problem = path + ": the " + edition + " edition's update makes this folder, and the " + otherEdition +
                   " edition has none; CreateFolder makes it in both";
        return 0;
    }
    return 1;
}

// Adds path to lines unless a line of the same key is there.
void AddOnce(std::vector<std::string>* lines, const std::string& path) {
    const std::string key = TreePathKey(path);
    for (const std::string& line : *lines) {
        if (TreePathKey(line) == key) return;
    }
    lines->push_back(path);
}

// The copy line of destination in merged, added when there is none.
CopyLine& CopyLineOf(MergedChanges* merged, const std::string& destination) {
    const std::string key = TreePathKey(destination);
    for (CopyLine& line : merged->copies) {
        if (TreePathKey(line.destination) == key) return line;
    }
    merged->copies.push_back({destination, "", ""});
    return merged->copies.back();
}

// Copies an unchanged file of the edition onto itself when the edition has
// nothing else to copy: an update without a copy fails. Returns 0 when the
// edition's new tree holds no file.
int EnsureACopy(MergedChanges* merged, const EditionTrees& trees, const EditionChanges& changes,
                std::string CopyLine::*source) {
    for (const CopyLine& line : merged->copies) {
        if (!(line.*source).empty()) return 1;
    }
    const TreeEntry* smallest = nullptr;
    for (const TreeEntry& entry : trees.newTree.entries) {
        if (!entry.folder && changes.unchanged.count(TreePathKey(entry.path)) != 0 &&
            (smallest == nullptr || entry.size < smallest->size))
            smallest = &entry;
    }
    if (smallest == nullptr) return 0;
    CopyLineOf(merged, smallest->path).*source = FullPath(trees.newRoot, smallest->path);
    return 1;
}

// Makes the patches past the script's 256 lines copies, the last files first.
void LimitPatches(MergedChanges* merged, const EditionTrees& standardTrees, const EditionTrees* addContentsTrees) {
    uint32_t lines = 0;
    std::vector<PatchedFile> kept;
    for (PatchedFile& patch : merged->patches) {
        const uint32_t needed = PatchLinesOf(patch.runs);
        if (lines + needed <= kRuleTableCapacity) {
            lines += needed;
            kept.push_back(std::move(patch));
            continue;
        }
        CopyLineOf(merged, patch.path).standardSource = FullPath(standardTrees.newRoot, patch.path);
        if (addContentsTrees != nullptr)
            CopyLineOf(merged, patch.path).addContentsSource = FullPath(addContentsTrees->newRoot, patch.path);
    }
    merged->patches = std::move(kept);
}

}  // namespace

uint32_t PatchLinesOf(const std::vector<ChangedRun>& runs) {
    uint32_t lines = 0;
    for (const ChangedRun& run : runs)
        lines += static_cast<uint32_t>((run.bytes.size() + kPatchDataSize - 1) / kPatchDataSize);
    return lines;
}

int FindChanges(const EditionTrees& trees, EditionChanges* changes, std::string* problem) {
    *changes = EditionChanges{};
    std::vector<size_t> added;
    for (size_t i = 0; i < trees.newTree.entries.size(); ++i) {
        const TreeEntry& entry = trees.newTree.entries[i];
        const std::string key = TreePathKey(entry.path);
        const auto found = trees.oldTree.byKey.find(key);
        if (found == trees.oldTree.byKey.end()) {
            if (entry.folder) {
                changes->folders.push_back(entry.path);
            } else {
                added.push_back(i);
            }
            continue;
        }
        const TreeEntry& before = trees.oldTree.entries[found->second];
        if (before.folder != entry.folder) {
            *problem = entry.path + ": a " + (before.folder ? "folder" : "file") + " in the old build and a " +
                       (entry.folder ? "folder" : "file") + " in the new one; no update turns one into the other";
            return 0;
        }
        if (entry.folder) continue;
        if (before.size != entry.size) {
            changes->copies.push_back(entry.path);
            continue;
        }
        const std::string oldPath = FullPath(trees.oldRoot, before.path);
        const std::string newPath = FullPath(trees.newRoot, entry.path);
        std::vector<ChangedRun> runs;
        bool overflow = false;
        switch (CompareFiles(oldPath.c_str(), newPath.c_str(), &runs, kPatchJoinGap,
                             uint64_t{kMostPatchLinesPerFile} * kPatchDataSize, &overflow)) {
        case kFilesEqual:
            changes->unchanged.insert(key);
            break;
        case kFilesDiffer:
            if (WorthPatching(entry.path, entry.size, runs)) {
                changes->patches.push_back({entry.path, std::move(runs)});
            } else {
                changes->copies.push_back(entry.path);
            }
            break;
        default:
            *problem = entry.path + ": the file cannot be read in both builds";
            return 0;
        }
    }
    std::vector<size_t> gone;
    for (size_t i = 0; i < trees.oldTree.entries.size(); ++i) {
        const TreeEntry& entry = trees.oldTree.entries[i];
        if (InTree(trees.newTree, entry.path)) continue;
        if (entry.folder) {
            changes->keptFolders.push_back(entry.path);
        } else {
            gone.push_back(i);
        }
    }
    return PairRenames(trees, added, gone, changes, problem);
}

int MergeChanges(const EditionTrees& standardTrees, EditionChanges& standard, const EditionTrees* addContentsTrees,
                 EditionChanges* addContents, MergedChanges* merged, std::string* problem) {
    *merged = MergedChanges{};
    if (addContents != nullptr) {
        KeepOnlyShared(standard, *addContents, *addContentsTrees);
        KeepOnlyShared(*addContents, standard, standardTrees);
        if (!CheckSharedLines(standard, *addContentsTrees, "standard", "add-contents", problem) ||
            !CheckSharedLines(*addContents, standardTrees, "add-contents", "standard", problem))
            return 0;
    }
    for (const EditionChanges* changes : {&standard, addContents}) {
        if (changes == nullptr) continue;
        for (const std::string& folder : changes->folders) AddOnce(&merged->folders, folder);
        for (const std::string& path : changes->deletes) AddOnce(&merged->deletes, path);
        for (const auto& rename : changes->renames) {
            const bool listed = std::any_of(merged->renames.begin(), merged->renames.end(), [&](const auto& line) {
                return TreePathKey(line.first) == TreePathKey(rename.first);
            });
            if (!listed) merged->renames.push_back(rename);
        }
    }
    for (PatchedFile& patch : standard.patches) merged->patches.push_back(patch);
    for (const std::string& path : standard.copies)
        CopyLineOf(merged, path).standardSource = FullPath(standardTrees.newRoot, path);
    if (addContents != nullptr) {
        for (const std::string& path : addContents->copies)
            CopyLineOf(merged, path).addContentsSource = FullPath(addContentsTrees->newRoot, path);
    }
    LimitPatches(merged, standardTrees, addContentsTrees);
    if (!EnsureACopy(merged, standardTrees, standard, &CopyLine::standardSource) ||
        (addContents != nullptr &&
         !EnsureACopy(merged, *addContentsTrees, *addContents, &CopyLine::addContentsSource))) {
        *problem = "a new build holds no file unchanged or new: an update copies at least one";
        return 0;
    }
    // With one edition given, the add-contents edition gets the same files.
    if (addContents == nullptr) {
        for (CopyLine& line : merged->copies) line.addContentsSource = line.standardSource;
    }
    const std::pair<const char*, size_t> tables[] = {
        {"CopyFile", merged->copies.size()},     {"DeleteFile", merged->deletes.size()},
        {"RenameFile", merged->renames.size()},  {"CreateFolder", merged->folders.size()},
    };
    for (const auto& [keyword, lines] : tables) {
        if (lines <= kPlanTableCapacity) continue;
        *problem = "the update needs " + std::to_string(lines) + " " + keyword + " lines; a script holds at most " +
                   std::to_string(kPlanTableCapacity);
        return 0;
    }
    return 1;
}
