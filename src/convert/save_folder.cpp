// Locating, resetting and sweeping the save folder.
#include "convert/save_folder.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "common/run_log.h"
#include "script/rule_tables.h"
#include "convert/save_conversion.h"
#include "convert/save_format.h"
#include "package/member_reader.h"
#include "platform/last_error.h"
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
// cannot be listed.
int ListNumberedSaves(const char* folder, std::vector<SaveName>* saves) {
    PlatformFolderListing* listing = OsOpenFolderListing(folder);
    if (listing == nullptr) return 0;
    char name[kPathFieldSize];
    int isFolder = 0;
    while (OsNextFolderEntry(listing, name, sizeof name, &isFolder)) {
        if (isFolder || !IsNumberedSaveName(name)) continue;
        SaveName save{};
        CopyText(save.text, name);
        saves->push_back(save);
    }
    OsCloseFolderListing(listing);
    return 1;
}

// Converts the save at path and, when it changed, writes the result to a new
// file beside it, kept in group. Returns 1, also for a save that cannot be
// read (it stays as it is); 0 when the new file cannot be written.
int StageSaveConversion(const char* path, PlatformFlushGroup* group) {
    SaveImage image{};
    if (!LoadWholeFile(path, &image)) {
        LogEvent("save %s skipped: it cannot be read whole, or is larger than %llu bytes", path,
                 static_cast<unsigned long long>(kLargestSaveSize));
        return 1;
    }
    if (!ConvertSaveFile(&image)) {
        LogEvent("save %s unchanged", path);
        return 1;
    }
    if (!StoreWholeFile(path, image.bytes.get(), image.length, group)) {
        DiagnoseFileError(path, "cannot write the converted save beside %s", path);
        return 0;
    }
    return 1;
}

// Removes the new files beside every listed save.
void RemoveSaveLeftovers(const char* folder, const std::vector<SaveName>& saves) {
    for (const SaveName& save : saves) {
        char path[kPathFieldSize];
        if (JoinPath(path, sizeof path, folder, save.text)) OsRemoveReplacementLeftover(path);
    }
}

// The numbered saves of a folder to be swept; none when there is nothing to
// convert or the folder cannot be listed.
std::vector<SaveName> SavesToSweep(const char* saveFolder) {
    std::vector<SaveName> saves;
    if (g_convertRuleTable.count != 0 && saveFolder[0] != '\0' && !ListNumberedSaves(saveFolder, &saves))
        LogEvent("save folder %s cannot be listed", saveFolder);
    return saves;
}

// Removes the new files that a killed run left beside the numbered saves of
// saveFolder, whatever this run does with the saves.
void RemoveLeftoversBesideSaves(const char* saveFolder) {
    std::vector<SaveName> saves;
    if (saveFolder[0] != '\0' && ListNumberedSaves(saveFolder, &saves)) RemoveSaveLeftovers(saveFolder, saves);
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
    RemoveLeftoversBesideSaves(saveFolder);
    for (const char* name : kSystemSaveNames) DeleteInFolder(saveFolder, name);
    for (unsigned number = 0; number < kNumberedSaveCount; ++number) {
        char name[kSaveNameSize];
        FormatText(name, sizeof name, "save%03u.sav", number);
        DeleteInFolder(saveFolder, name);
        FormatText(name, sizeof name, "thumb%03u.gra", number);
        DeleteInFolder(saveFolder, name);
    }
}

int SweepSaveFolder(const char* saveFolder) {
    if (g_convertRuleTable.count == 0) {
        RemoveLeftoversBesideSaves(saveFolder);
        return 1;
    }
    const std::vector<SaveName> saves = SavesToSweep(saveFolder);
    if (saves.empty()) return 1;
    // New files a killed run left are of saves it never swapped in: the
    // conversion starts again from the saves themselves.
    RemoveSaveLeftovers(saveFolder, saves);
    PlatformFlushGroup* group = OsBeginFlushGroup(saveFolder);
    if (group == nullptr) {
        DiagnoseFileError(saveFolder, "cannot open the save folder %s", saveFolder);
        return 0;
    }
    int staged = 1;
    for (size_t i = 0; i < saves.size() && staged; ++i) {
        ReportProgress(saves[i].text, i, saves.size());
        char path[kPathFieldSize];
        if (JoinPath(path, sizeof path, saveFolder, saves[i].text)) {
            staged = StageSaveConversion(path, group);
        } else {
            LogEvent("save %s skipped: its path in %s would pass 259 bytes", saves[i].text, saveFolder);
        }
    }
    if (staged && !OsFlushGroup(group)) {
        DiagnoseFileError(saveFolder, "cannot flush the converted saves in %s", saveFolder);
        staged = 0;
    }
    OsEndFlushGroup(group);
    if (!staged) RemoveSaveLeftovers(saveFolder, saves);
    return staged;
}

int CommitSweptSaves(const char* saveFolder) {
    const std::vector<SaveName> saves = SavesToSweep(saveFolder);
    int swapped = 0;
    for (size_t i = 0; i < saves.size(); ++i) {
        ReportProgress(saves[i].text, i, saves.size());
        char path[kPathFieldSize];
        if (!JoinPath(path, sizeof path, saveFolder, saves[i].text)) continue;
        const int result = OsSwapInReplacement(path);
        if (result == kSwapFailed) {
            DiagnoseFileError(path, "cannot put the converted save in place of %s", path);
            return 0;
        }
        if (result == kSwapDone) {
            LogEvent("save %s converted", path);
            swapped = 1;
        }
    }
    if (swapped && !OsFlushFolder(saveFolder)) {
        DiagnoseFileError(saveFolder, "cannot flush the save folder %s", saveFolder);
        return 0;
    }
    return 1;
}

int LoadWholeFile(const char* path, SaveImage* image) {
    PlatformFile* file = OsOpenForReading(path);
    if (file == nullptr) return 0;
    uint64_t length = 0;
    int loaded = 0;
    if (OsFileLength(file, &length) && length <= kLargestSaveSize) {
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

int StoreWholeFile(const char* path, const unsigned char* bytes, uint32_t length, PlatformFlushGroup* group) {
    PlatformReplacement* replacement = OsBeginReplacement(path);
    if (replacement == nullptr) return 0;
    if (!OsWriteFile(OsReplacementFile(replacement), bytes, length)) {
        OsAbandonReplacement(replacement);
        return 0;
    }
    return OsKeepReplacement(replacement, group);
}
