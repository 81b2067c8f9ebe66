// Listing, comparing and copying folder trees.
#include "updpack_tree.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "common/digest.h"
#include "common/sjis_text.h"
#include "platform/platform_files.h"
#include "platform/platform_process.h"
#include "platform/platform_trial.h"

namespace {

// Files are read in slices of this size, two of them in memory: larger reads
// from the file system's cache cost more per byte.
constexpr uint32_t kCompareSlice = 64u << 10;

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The parts of path between separators, empty and "." parts left out.
std::vector<std::string> PathParts(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (size_t i = 0; i <= path.size();) {
        if (i == path.size() || IsSeparator(path[i])) {
            if (!part.empty() && part != ".") parts.push_back(part);
            part.clear();
            ++i;
            continue;
        }
        const size_t width = SjisCharacterWidthIn(path.data(), path.size(), i);
        part.append(path, i, width);
        i += width;
    }
    return parts;
}

// Lists folder (relative path prefix, "" for the root) into tree, then the
// folders it holds. Returns 1, or 0 with *problem set.
int ListFolder(const char* root, const std::string& prefix, Tree* tree, std::string* problem) {
    std::string full;
    if (!TreeFilePath(root, prefix, &full)) {
        *problem = std::string(root) + "\\" + prefix + ": the path is too long";
        return 0;
    }
    PlatformFolderListing* listing = OsOpenFolderListing(full.c_str());
    if (listing == nullptr) {
        *problem = full + ": the folder cannot be listed";
        return 0;
    }
    std::vector<TreeEntry> found;
    char name[kPathFieldSize];
    int isFolder = 0;
    while (OsNextFolderEntry(listing, name, sizeof name, &isFolder)) {
        found.push_back({prefix.empty() ? std::string(name) : prefix + "\\" + name, isFolder != 0, 0});
    }
    OsCloseFolderListing(listing);
    std::sort(found.begin(), found.end(), [](const TreeEntry& a, const TreeEntry& b) { return a.path < b.path; });
    for (TreeEntry& entry : found) {
        if (!entry.folder) {
            std::string file;
            PlatformFile* opened = TreeFilePath(root, entry.path, &file) ? OsOpenForReading(file.c_str()) : nullptr;
            const int measured = opened != nullptr && OsFileLength(opened, &entry.size);
            OsCloseFile(opened);
            if (!measured) {
                *problem = std::string(root) + "\\" + entry.path + ": the file cannot be read";
                return 0;
            }
        }
        tree->byKey[TreePathKey(entry.path)] = tree->entries.size();
        tree->entries.push_back(entry);
    }
    for (const TreeEntry& entry : found) {
        if (entry.folder && !ListFolder(root, entry.path, tree, problem)) return 0;
    }
    return 1;
}

// Adds the bytes from to to of slice, which starts at sliceStart in the
// file, to runs: joined to the last run when they begin fewer than joinGap
// bytes after it in the same slice. Returns 0 when the runs would hold more
// than maxBytes (*held counts them).
int AddRun(std::vector<ChangedRun>* runs, const unsigned char* slice, uint64_t sliceStart, uint32_t from,
           uint32_t to, uint64_t joinGap, uint64_t maxBytes, uint64_t* held) {
    const char* bytes = reinterpret_cast<const char*>(slice);
    if (!runs->empty()) {
        ChangedRun& last = runs->back();
        const uint64_t lastEnd = last.offset + last.bytes.size();
        if (lastEnd >= sliceStart && sliceStart + from - lastEnd < joinGap) {
            const uint32_t gapStart = static_cast<uint32_t>(lastEnd - sliceStart);
            *held += to - gapStart;
            if (*held > maxBytes) return 0;
            last.bytes.append(bytes + gapStart, to - gapStart);
            return 1;
        }
    }
    *held += to - from;
    if (*held > maxBytes) return 0;
    runs->push_back({sliceStart + from, std::string(bytes + from, to - from)});
    return 1;
}

// The two slices files are read into, kept from one file to the next:
// files are compared by the thousand. They start on a page, as the file
// system's cache does: a copy between buffers whose offsets within a page
// differ slightly runs several times slower. nullptr when there is no memory.
unsigned char* ReadSlices() {
    static void* const slices = operator new[](2 * kCompareSlice, std::align_val_t{4096}, std::nothrow);
    return static_cast<unsigned char*>(slices);
}

// Copies the file from to the new file to.
int CopyFile(const char* from, const char* to) {
    PlatformFile* source = OsOpenForReading(from);
    PlatformFile* copy = source != nullptr ? OsCreateNewFile(to) : nullptr;
    uint64_t length = 0;
    const int copied = copy != nullptr && OsFileLength(source, &length) && OsCopyFileRange(source, 0, length, copy, nullptr);
    OsCloseFile(source);
    OsCloseFile(copy);
    return copied;
}

// Whether key or one of the folders above it is in keys. Keys join their
// parts with the file system's separator, which no part holds.
bool IsAtOrBelow(const std::string& key, const std::unordered_set<std::string>& keys) {
    for (size_t end = key.size(); end > 0; --end) {
        if ((end == key.size() || IsSeparator(key[end])) && keys.count(key.substr(0, end)) != 0) return true;
    }
    return false;
}

// Whether no file of tree lies below the folder at path.
bool HoldsNoFile(const Tree& tree, const std::string& path) {
    for (const TreeEntry& inside : tree.entries) {
        if (!inside.folder && inside.path.size() > path.size() && inside.path.compare(0, path.size(), path) == 0 &&
            inside.path[path.size()] == '\\')
            return false;
    }
    return true;
}

// Whether the file at path is still the very file at originalPath.
bool IsSameFileAs(const std::string& path, const std::string& originalPath) {
    PlatformFile* original = OsOpenForReading(originalPath.c_str());
    const bool same = original != nullptr && OsIsSameFile(original, path.c_str());
    OsCloseFile(original);
    return same;
}

}  // namespace

std::string TreePathKey(const std::string& path) {
    std::string joined;
    for (const std::string& part : PathParts(path)) joined += (joined.empty() ? "" : "\\") + part;
    std::string key;
    return OsFileNameKey(joined.c_str(), &key) ? key : joined;
}

int TreeFilePath(const char* root, const std::string& path, std::string* full) {
    char joined[kPathFieldSize];
    const int fits = path.empty() ? CopyText(joined, root) : JoinPath(joined, sizeof joined, root, path.c_str());
    if (fits) *full = joined;
    return fits;
}

int ListTree(const char* root, Tree* tree, std::string* problem) {
    tree->entries.clear();
    tree->byKey.clear();
    return ListFolder(root, "", tree, problem);
}

int CompareFiles(const char* pathA, const char* pathB, std::vector<ChangedRun>* runs, uint64_t joinGap,
                 uint64_t maxBytes, bool* runsOverflow) {
    if (runs != nullptr) runs->clear();
    if (runsOverflow != nullptr) *runsOverflow = false;
    PlatformFile* a = OsOpenForReading(pathA);
    PlatformFile* b = a != nullptr ? OsOpenForReading(pathB) : nullptr;
    uint64_t lengthA = 0;
    uint64_t lengthB = 0;
    unsigned char* bufferA = ReadSlices();
    unsigned char* bufferB = bufferA != nullptr ? bufferA + kCompareSlice : nullptr;
    int result = kFilesUnreadable;
    if (b != nullptr && bufferA != nullptr && OsFileLength(a, &lengthA) && OsFileLength(b, &lengthB)) {
        result = lengthA == lengthB ? kFilesEqual : kFilesDiffer;
        uint64_t held = 0;
        bool collect = runs != nullptr && lengthA == lengthB;
        for (uint64_t done = 0; result != kFilesUnreadable && done < lengthA && (lengthA == lengthB);) {
            uint32_t gotA = 0;
            uint32_t gotB = 0;
            const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(kCompareSlice, lengthA - done));
            if (!OsReadFile(a, bufferA, want, &gotA) || !OsReadFile(b, bufferB, want, &gotB) ||
                gotA != want || gotB != want) {
                result = kFilesUnreadable;
                break;
            }
            if (std::memcmp(bufferA, bufferB, want) != 0) {
                result = kFilesDiffer;
                if (!collect) break;
                for (uint32_t i = 0; i < want && collect;) {
                    if (bufferA[i] == bufferB[i]) {
                        ++i;
                        continue;
                    }
                    uint32_t end = i;
                    while (end < want && bufferA[end] != bufferB[end]) ++end;
                    collect = AddRun(runs, bufferB, done, i, end, joinGap, maxBytes, &held);
                    i = end;
                }
                if (!collect) {
                    runs->clear();
                    *runsOverflow = true;
                    break;
                }
            }
            done += want;
        }
    }
    OsCloseFile(a);
    OsCloseFile(b);
    return result;
}

int DigestFile(const std::string& path, uint64_t* digest) {
    PlatformFile* file = OsOpenForReading(path.c_str());
    unsigned char* slice = ReadSlices();
    uint64_t length = 0;
    int read = file != nullptr && slice != nullptr && OsFileLength(file, &length);
    *digest = 0;
    for (uint64_t done = 0; read && done < length;) {
        uint32_t got = 0;
        read = OsReadFile(file, slice, kCompareSlice, &got) && got > 0;
        *digest = (*digest * 0x100000001b3u) ^ DigestOf(slice, got);
        done += got;
    }
    OsCloseFile(file);
    return read;
}

int CopyTreeForTrial(const char* from, const Tree& tree, const char* to,
                     const std::unordered_set<std::string>& mustCopy, std::string* problem) {
    for (const TreeEntry& entry : tree.entries) {
        std::string source;
        std::string copy;
        if (!TreeFilePath(from, entry.path, &source) || !TreeFilePath(to, entry.path, &copy)) {
            *problem = entry.path + ": the path is too long for the trial's copy";
            return 0;
        }
        if (entry.folder) {
            if (OsCreateFolder(copy.c_str())) continue;
        } else if ((!IsAtOrBelow(TreePathKey(entry.path), mustCopy) &&
                    OsLinkFile(source.c_str(), copy.c_str())) ||
                   CopyFile(source.c_str(), copy.c_str())) {
            continue;
        }
        *problem = copy + ": cannot be made";
        return 0;
    }
    return 1;
}

int CompareTrees(const char* actual, const char* expected, const char* original, const Tree& originalTree,
                 const std::unordered_set<std::string>& sameAsOriginal, std::vector<TreeDifference>* differences,
                 std::string* problem) {
    Tree actualTree;
    Tree expectedTree;
    if (!ListTree(actual, &actualTree, problem) || !ListTree(expected, &expectedTree, problem)) return 0;
    for (const TreeEntry& want : expectedTree.entries) {
        const auto found = actualTree.byKey.find(TreePathKey(want.path));
        if (found == actualTree.byKey.end()) {
            differences->push_back({want.path, "missing"});
            continue;
        }
        const TreeEntry& have = actualTree.entries[found->second];
        if (have.folder != want.folder) {
            differences->push_back({want.path, want.folder ? "a file, not a folder" : "a folder, not a file"});
            continue;
        }
        if (want.folder) continue;
        std::string actualPath;
        std::string expectedPath;
        std::string originalPath;
        TreeFilePath(actual, have.path, &actualPath);
        TreeFilePath(expected, want.path, &expectedPath);
        if (sameAsOriginal.count(found->first) != 0 && TreeFilePath(original, have.path, &originalPath) &&
            IsSameFileAs(actualPath, originalPath))
            continue;
        if (have.size != want.size) {
            differences->push_back({want.path, "other bytes (another size)"});
            continue;
        }
        const int compared = CompareFiles(actualPath.c_str(), expectedPath.c_str(), nullptr, 0, 0, nullptr);
        if (compared != kFilesEqual) {
            differences->push_back({want.path, compared == kFilesDiffer ? "other bytes" : "cannot be read"});
        }
    }
    for (const TreeEntry& have : actualTree.entries) {
        const std::string key = TreePathKey(have.path);
        if (expectedTree.byKey.count(key) != 0) continue;
        const auto kept = originalTree.byKey.find(key);
        // A folder of the original that no file is left in stays: no update
        // removes a folder.
        if (have.folder && kept != originalTree.byKey.end() && originalTree.entries[kept->second].folder &&
            HoldsNoFile(actualTree, have.path))
            continue;
        differences->push_back({have.path, "extra"});
    }
    return 1;
}
