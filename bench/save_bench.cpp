// Helper of bench/save-benchmark.sh.
//
//   save_bench make FOLDER COUNT   writes COUNT saves of about 200 KB,
//                                  save000.sav upwards, into FOLDER
//   save_bench rewrite FOLDER      the baseline: reads every numbered save
//                                  of FOLDER and writes it back unchanged,
//                                  each through a new file, flushed and
//                                  swapped in, as the sweep writes a save
//
// FOLDER is a program path (Shift_JIS, '\' or '/' work on Linux).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/little_endian.h"
#include "convert/save_conversion.h"
#include "convert/save_format.h"
#include "convert/save_folder.h"
#include "platform/platform_files.h"
#include "platform/platform_replacement.h"

namespace {

constexpr uint32_t kEntryCount = 40;
constexpr uint32_t kEntrySize = kGraphEntrySize;
constexpr uint32_t kGraphNameOffset = kEntryNameOffset;
constexpr uint32_t kMiddleLength = 80000;
constexpr uint32_t kStateLength = 24000;
constexpr uint32_t kMessageWordOffset = kMessageOffset;

// A save at message word message with graph entries bg00 to bg39.
std::vector<unsigned char> MakeSave(uint32_t message) {
    const uint32_t graphLength = 4 + kEntrySize * kEntryCount;
    std::vector<unsigned char> save(8 + graphLength + kMiddleLength + kStateLength);
    WriteLittleEndian32(&save[0], graphLength);
    WriteLittleEndian32(&save[4], kMiddleLength);
    WriteLittleEndian32(&save[8], kEntryCount);
    for (uint32_t i = 0; i < kEntryCount; ++i) {
        char name[8];
        std::snprintf(name, sizeof name, "bg%02u", i);
        std::memcpy(&save[12 + i * kEntrySize + kGraphNameOffset], name, std::strlen(name));
    }
    for (uint32_t i = 0; i < kMiddleLength; ++i) save[8 + graphLength + i] = static_cast<unsigned char>(i * 7);
    WriteLittleEndian32(&save[8 + graphLength + kMiddleLength + kMessageWordOffset], message);
    return save;
}

// Replaces the file at path with length bytes, flushed on its own: the way
// a program without the sweep's staging writes each file.
int ReplaceWholeFile(const char* path, const unsigned char* bytes, uint32_t length) {
    PlatformReplacement* replacement = OsBeginReplacement(path);
    if (replacement == nullptr) return 0;
    if (!OsWriteFile(OsReplacementFile(replacement), bytes, length)) {
        OsAbandonReplacement(replacement);
        return 0;
    }
    return OsCommitReplacement(replacement);
}

int Make(const char* folder, int count) {
    for (int i = 0; i < count; ++i) {
        char path[kPathFieldSize];
        std::snprintf(path, sizeof path, "%s/save%03d.sav", folder, i);
        const std::vector<unsigned char> save = MakeSave(100 + static_cast<uint32_t>(i % 50));
        if (!ReplaceWholeFile(path, save.data(), static_cast<uint32_t>(save.size()))) {
            std::fprintf(stderr, "save_bench: cannot write %s\n", path);
            return 1;
        }
    }
    return 0;
}

int Rewrite(const char* folder) {
    PlatformFolderListing* listing = OsOpenFolderListing(folder);
    if (listing == nullptr) return 1;
    std::vector<std::string> names;
    char name[kPathFieldSize];
    int isFolder = 0;
    while (OsNextFolderEntry(listing, name, sizeof name, &isFolder) == 1) {
        if (!isFolder && std::strncmp(name, "save", 4) == 0) names.push_back(name);
    }
    OsCloseFolderListing(listing);
    for (const std::string& save : names) {
        const std::string path = std::string(folder) + "/" + save;
        SaveImage image{};
        if (LoadWholeFile(path.c_str(), &image) != kSaveLoaded ||
            !ReplaceWholeFile(path.c_str(), image.bytes.get(), image.length)) {
            std::fprintf(stderr, "save_bench: cannot rewrite %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "make") == 0) return Make(argv[2], std::atoi(argv[3]));
    if (argc == 3 && std::strcmp(argv[1], "rewrite") == 0) return Rewrite(argv[2]);
    std::fprintf(stderr, "usage: save_bench make FOLDER COUNT | save_bench rewrite FOLDER\n");
    return 2;
}
