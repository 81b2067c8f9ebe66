// Locating, resetting and sweeping the save folder.
#include "convert/save_folder.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "common/run_log.h"
#include "convert/rule_tables.h"
#include "convert/save_conversion.h"
#include "package/member_reader.h"
#include "platform/platform.h"

namespace {

constexpr char kDefaultSaveFolderName[] = "save";
constexpr char kSavePrefix[] = "save";
constexpr char kSaveExtension[] = ".sav";
constexpr int kSaveNameCharacters = 3;     // between the prefix and the extension
constexpr size_t kSaveNameSize = 16;       // "save", three double-byte characters, ".sav" and a zero
constexpr unsigned kNumberedSaveCount = 1000;  // save000 to save999
constexpr const char* kSystemSaveNames[] = {"syssave.dat", "qsave.sav", "qsave.gra"};

// Whether name is a numbered save's: "save", then exactly three characters
// (a double-byte character counts as one), then ".sav", letters in any case
// as the Windows file search matches them.
bool IsNumberedSaveName(const char* name) {
    const size_t prefixLength = std::strlen(kSavePrefix);
    if (!FieldEqualsNoCase(name, prefixLength, kSavePrefix)) return false;
    const char* rest = name + prefixLength;
    for (int i = 0; i < kSaveNameCharacters; ++i) {
        if (*rest == '\0') return false;
        rest += SjisCharacterWidth(rest);
    }
    return EqualsNoCase(rest, kSaveExtension);
}

// Reads the folder named by the Install.ini at path into saveFolder. Only
// the bytes that can matter are read: the setting's name, a path's worth and
// one byte more to tell a path that is too long.
bool ReadSaveFolderSetting(const char* path, char (&saveFolder)[kPathFieldSize]) {
    PackageMember* member = OpenMember(path, nullptr);
    if (member == nullptr) return false;
    constexpr size_t kPrefixLength = sizeof kSaveFolderSetting - 1;
    char text[kPrefixLength + kPathFieldSize + 1] = {};
    const uint32_t wanted = member->size < sizeof text - 1 ? member->size : sizeof text - 1;
    uint32_t delivered = 0;
    const bool read = OsReadFile(member->file, text, wanted, &delivered) && delivered == wanted;
    CloseMember(member);
    if (!read || std::strncmp(text, kSaveFolderSetting, kPrefixLength) != 0) return false;
    const char* value = text + kPrefixLength;
    const size_t length = std::strcspn(value, "\r\n");
    if (length == 0 || length >= kPathFieldSize) return false;
    std::memcpy(saveFolder, value, length);
    saveFolder[length] = '\0';
    return true;
}

// Deletes folder\name when that path fits; a cut path is never deleted.
void DeleteInFolder(const char* folder, const char* name) {
    char path[kPathFieldSize];
    if (JoinPath(path, sizeof path, folder, name)) OsDeleteFile(path);
}

struct SaveName {
    char text[kSaveNameSize];
};

// The numbered saves of folder. They are all listed before any is written,
// because a file system may list a file that was replaced meanwhile once
// more, and a save must never be converted twice. Returns 0 when the folder
// cannot be listed or there is no memory for the list.
int ListNumberedSaves(const char* folder, std::vector<SaveName>* saves) {
    PlatformFolderListing* listing = OsOpenFolderListing(folder);
    if (listing == nullptr) return 0;
    char name[kPathFieldSize];
    int isFolder = 0;
    int listed = 1;
    while (listed && OsNextFolderEntry(listing, name, sizeof name, &isFolder)) {
        if (isFolder || !IsNumberedSaveName(name)) continue;
        SaveName save{};
        CopyText(save.text, name);
        try {
            saves->push_back(save);
        } catch (const std::bad_alloc&) {
            listed = 0;
        }
    }
    OsCloseFolderListing(listing);
    return listed;
}

// Converts the save at path and writes it back when it changed. A new file
// left beside it by an interrupted run goes first.
void ConvertSave(const char* path) {
    OsRemoveReplacementLeftover(path);
    SaveImage image{};
    if (!LoadWholeFile(path, &image)) {
        LogEvent("save %s skipped: it cannot be read whole", path);
        return;
    }
    if (!ConvertSaveFile(&image)) {
        LogEvent("save %s unchanged", path);
    } else if (StoreWholeFile(path, image.bytes.get(), image.length)) {
        LogEvent("save %s converted (%u bytes)", path, image.length);
    } else {
        LogEvent("save %s converted but not written", path);
    }
}

}  // namespace

void LocateSaveFolder(const char* installFolder, char (&saveFolder)[kPathFieldSize]) {
    char iniPath[kPathFieldSize];
    if (JoinPath(iniPath, sizeof iniPath, installFolder, kInstallIniName) &&
        ReadSaveFolderSetting(iniPath, saveFolder)) {
        LogEvent("save folder %s, from %s", saveFolder, iniPath);
        return;
    }
    JoinPath(saveFolder, sizeof saveFolder, installFolder, kDefaultSaveFolderName);
    LogEvent("save folder %s", saveFolder);
}

void ResetSaveData(const char* saveFolder) {
    if (saveFolder[0] == '\0') return;
    LogEvent("save data of %s removed", saveFolder);
    for (const char* name : kSystemSaveNames) DeleteInFolder(saveFolder, name);
    for (unsigned number = 0; number < kNumberedSaveCount; ++number) {
        char name[kSaveNameSize];
        FormatText(name, sizeof name, "save%03u.sav", number);
        DeleteInFolder(saveFolder, name);
        FormatText(name, sizeof name, "thumb%03u.gra", number);
        DeleteInFolder(saveFolder, name);
    }
}

void SweepSaveFolder(const char* saveFolder) {
    if (g_convertRuleTable.count == 0 || saveFolder[0] == '\0') return;
    std::vector<SaveName> saves;
    if (!ListNumberedSaves(saveFolder, &saves)) {
        LogEvent("save folder %s cannot be listed", saveFolder);
        return;
    }
    for (size_t i = 0; i < saves.size(); ++i) {
        ReportProgress(saves[i].text, i, saves.size());
        char path[kPathFieldSize];
        if (JoinPath(path, sizeof path, saveFolder, saves[i].text)) ConvertSave(path);
    }
}

int LoadWholeFile(const char* path, SaveImage* image) {
    PlatformFile* file = OsOpenForReading(path);
    if (file == nullptr) return 0;
    uint64_t length = 0;
    int loaded = 0;
    if (OsFileLength(file, &length) && length <= UINT32_MAX) {
        // One byte at least, so that an empty file still has a buffer.
        std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[length + 1]());
        uint32_t delivered = 0;
        if (bytes && OsReadFile(file, bytes.get(), static_cast<uint32_t>(length), &delivered) &&
            delivered == length) {
            image->bytes = std::move(bytes);
            image->length = static_cast<uint32_t>(length);
            loaded = 1;
        }
    }
    OsCloseFile(file);
    return loaded;
}

int StoreWholeFile(const char* path, const unsigned char* bytes, uint32_t length) {
    PlatformReplacement* replacement = OsBeginReplacement(path);
    if (replacement == nullptr) return 0;
    if (!OsWriteFile(OsReplacementFile(replacement), bytes, length)) {
        OsAbandonReplacement(replacement);
        return 0;
    }
    return OsCommitReplacement(replacement);
}
