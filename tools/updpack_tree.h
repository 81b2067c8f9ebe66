// Folder trees for updpack diff and try: listing a tree, comparing two
// files, copying a tree for a trial, and the differences between two trees.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// A file or folder below a tree's root.
struct TreeEntry {
    std::string path;  // relative to the root, Shift_JIS, parts joined with '\'
    bool folder;
    uint64_t size;     // a file's length in bytes
};

// A tree's entries, parents before what they hold, and where each is by its
// key (TreePathKey).
struct Tree {
    std::vector<TreeEntry> entries;
    std::unordered_map<std::string, size_t> byKey;
};

// path as the file system compares names (case-insensitive on Windows):
// one key for one file. The path's parts are first joined with '\' alone,
// empty and "." parts dropped, so that "data/a.dat" and "data\\a.dat" meet.
std::string TreePathKey(const std::string& path);

// Lists every file and folder below root into tree. Returns 1, or 0 with
// *problem set when a folder cannot be listed or a path would not fit.
int ListTree(const char* root, Tree* tree, std::string* problem);

// root\path in full. Returns 0 when it does not fit a path.
int TreeFilePath(const char* root, const std::string& path, std::string* full);

// A run of bytes that differ between two files of one size, and the second
// file's bytes there.
struct ChangedRun {
    uint64_t offset;
    std::string bytes;
};

// What comparing two files found.
enum FileComparison : int {
    kFilesEqual,
    kFilesDiffer,
    kFilesUnreadable,  // one of them cannot be opened or read
};

// Compares the files at pathA and pathB, streamed in bounded memory. When
// runs is not nullptr and the files have one size, it receives the runs of
// differing bytes (runs closer than joinGap bytes joined into one) with the
// bytes of pathB, as long as they hold at most maxBytes bytes in all;
// beyond that runs is cleared and *runsOverflow set. Returns a
// FileComparison.
int CompareFiles(const char* pathA, const char* pathB, std::vector<ChangedRun>* runs, uint64_t joinGap,
                 uint64_t maxBytes, bool* runsOverflow);

// A digest of the whole file at path, to tell files apart before comparing
// them. Returns 0 when it cannot be read.
int DigestFile(const std::string& path, uint64_t* digest);

// Copies the tree at from into the folder to (which exists, empty): each
// folder made anew, each file made another name of the same file where the
// volume allows (a hard link), else copied. A file whose key is in
// mustCopy, or lies below a folder whose key is, is always copied: its
// copy may be written in place. Returns 1, or 0 with *problem set.
int CopyTreeForTrial(const char* from, const Tree& tree, const char* to,
                     const std::unordered_set<std::string>& mustCopy, std::string* problem);

// One path where two trees differ.
struct TreeDifference {
    std::string path;
    const char* how;  // "missing", "extra", "other bytes", "a folder, not a file", ...
};

// The paths where the tree at actual differs from the tree at expected:
// missing, extra, or with other bytes. A file whose key is in sameAsOriginal
// and that is still the very file of the tree at original (listed as
// originalTree: linked, untouched) is not read: it holds what expected
// holds. A folder of original that actual keeps with no file in it, and
// expected lacks, is no difference: no update removes a folder. Returns 1,
// or 0 with *problem set when a tree cannot be listed.
int CompareTrees(const char* actual, const char* expected, const char* original, const Tree& originalTree,
                 const std::unordered_set<std::string>& sameAsOriginal, std::vector<TreeDifference>* differences,
                 std::string* problem);
