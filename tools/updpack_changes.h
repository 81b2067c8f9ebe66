// What turns one build of a game into the next, for updpack diff: the
// changes between two trees of each edition, and the one update that makes
// both editions' changes.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "updpack_tree.h"

// A file of the same size whose few changed bytes BINARY lines write: its
// runs, each at most one line's bytes.
struct PatchedFile {
    std::string path;
    std::vector<ChangedRun> runs;
};

// One edition's builds: the old tree and the new one.
struct EditionTrees {
    std::string oldRoot;
    std::string newRoot;
    Tree oldTree;
    Tree newTree;
};

// What turns one edition's old tree into its new one. Paths are relative to
// the trees' roots.
struct EditionChanges {
    std::vector<std::string> folders;  // folders new in the new tree, parents first
    std::vector<std::string> copies;   // files of the new tree to copy: new, or changed and not patched
    std::vector<std::pair<std::string, std::string>> renames;  // an old file gone, found unchanged at a new path
    std::vector<std::string> deletes;  // files of the old tree gone from the new one
    std::vector<PatchedFile> patches;
    std::vector<std::string> keptFolders;      // folders of the old tree the new one lacks: no update removes them
    std::unordered_set<std::string> unchanged;  // keys of the files both trees hold alike
};

// Files of one size whose changed bytes (runs closer than kPatchJoinGap
// bytes joined) fit kMostPatchLinesPerFile BINARY lines, which together are
// shorter than the file, are patched rather than copied.
constexpr uint64_t kPatchJoinGap = 16;
constexpr uint32_t kMostPatchLinesPerFile = 16;

// The BINARY lines runs take: one per kPatchDataSize bytes of each run.
uint32_t PatchLinesOf(const std::vector<ChangedRun>& runs);

// Compares the trees of one edition into changes. Returns 1, or 0 with
// *problem set (a tree cannot be read; a file where the other tree has a
// folder).
int FindChanges(const EditionTrees& trees, EditionChanges* changes, std::string* problem);

// One CopyFile line: the destination, and the file of each edition's new
// tree copied there (its path in full), or "" for an edition that copies
// nothing to it.
struct CopyLine {
    std::string destination;
    std::string standardSource;
    std::string addContentsSource;
};

// The file lines of one update for both editions.
struct MergedChanges {
    std::vector<std::string> folders;
    std::vector<CopyLine> copies;
    std::vector<std::string> deletes;
    std::vector<std::pair<std::string, std::string>> renames;
    std::vector<PatchedFile> patches;
};

// The one update that makes the changes of standard and, when addContents is
// not nullptr, those of the add-contents edition (else the add-contents
// edition copies what the standard one does). A rename or patch that would
// not do the same in both editions becomes a copy and a delete; the patches
// beyond the script's 256 become copies; an edition with nothing to copy
// copies an unchanged file onto itself, since an update without a copy
// fails. Returns 1, or 0 with *problem set when one update cannot do both
// editions' changes (a file one deletes and the other keeps, a folder one
// makes and the other lacks) or a table would pass 256 lines.
int MergeChanges(const EditionTrees& standardTrees, EditionChanges& standard, const EditionTrees* addContentsTrees,
                 EditionChanges* addContents, MergedChanges* merged, std::string* problem);
