// Locating the save folder, putting its save data aside, converting its saves.
#include "convert/save_folder.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "common/run_log.h"
#include "script/rule_tables.h"
#include "convert/save_conversion.h"
#include "convert/save_format.h"
#include "package/member_reader.h"
#include "platform/last_error.h"
#include "platform/platform_files.h"
#include "platform/platform_process.h"
#include "platform/platform_replacement.h"

namespace {

constexpr char kDefaultSaveFolderName[] = "save";
constexpr char kSavePrefix[] = "save";
constexpr char kSaveExtension[] = ".sav";
constexpr int kSaveNameCharacters = 3;     // between the prefix and the extension
constexpr char kThumbPrefix[] = "thumb";
constexpr char kThumbExtension[] = ".gra";
constexpr size_t kSaveNameSize = 16;       // "save", three double-byte characters, ".sav" and a zero
constexpr const char* kSystemSaveNames[] = {"syssave.dat", "qsave.sav", "qsave.gra"};

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

struct SaveName {
    char text[kSaveNameSize];
};

// Reads the whole open file into image. Returns a SaveLoadResult.
int ReadOpenSave(PlatformFile* file, SaveImage* image) {
    uint64_t length = 0;
    if (!OsFileLength(file, &length)) return kSaveUnreadable;
    if (length > kLargestSaveSize) return kSaveTooLarge;
    // One byte at least, so that an empty file still has a buffer.
    std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[length + 1]());
    uint32_t delivered = 0;
    if (!bytes || !OsReadFile(file, bytes.get(), static_cast<uint32_t>(length), &delivered) || delivered != length)
        return kSaveUnreadable;
    image->bytes = std::move(bytes);
    image->length = static_cast<uint32_t>(length);
    return kSaveLoaded;
}

// The files of folder whose names are wanted, listed before any is written,
// because a file system may list a file that was replaced meanwhile once
// more. A missing folder has none. Returns 1, or 0 after a diagnostic when
// the folder cannot be listed.
int ListFiles(const char* folder, bool (*wanted)(const char*), std::vector<SaveName>* names) {
    PlatformFolderListing* listing = OsOpenFolderListing(folder);
    if (listing == nullptr) {
        if (OsLastErrorKind() == kErrorAbsent) return 1;
        DiagnoseFileError(folder, "cannot list the save folder %s", folder);
        return 0;
    }
    char name[kPathFieldSize];
    int isFolder = 0;
    int next = 0;
    while ((next = OsNextFolderEntry(listing, name, sizeof name, &isFolder)) == 1) {
        if (isFolder || std::strlen(name) >= kSaveNameSize || !wanted(name)) continue;
        SaveName save{};
        CopyText(save.text, name);
        names->push_back(save);
    }
    if (next < 0) DiagnoseFileError(folder, "cannot list the save folder %s", folder);
    OsCloseFolderListing(listing);
    return next == 0;
}

bool Listed(const std::vector<SaveName>& names, const char* name) {
    for (const SaveName& listed : names) {
        if (std::strcmp(listed.text, name) == 0) return true;
    }
    return false;
}

// Removes the new files beside every listed save.
void RemoveSaveLeftovers(const char* folder, const std::vector<SaveName>& saves) {
    for (const SaveName& save : saves) {
        char path[kPathFieldSize];
        if (JoinPath(path, sizeof path, folder, save.text)) OsRemoveReplacementLeftover(path);
    }
}

// Makes the backup folder unless it is there, its name flushed in the save
// folder. Returns 1, or 0 after a diagnostic.
int MakeBackupFolder(const char* saveFolder, const char* backupFolder) {
    if (OsCreateFolder(backupFolder)) {
        if (OsFlushFolder(saveFolder)) return 1;
    } else if (OsLastErrorKind() == kErrorExists) {
        return 1;
    }
    DiagnoseFileError(backupFolder, "cannot make the backup folder %s", backupFolder);
    return 0;
}

// Moves the save at path into backupFolder under its own name, or a numbered
// one beside it when an earlier run kept one of that name. Returns 1, or 0
// after a diagnostic.
int MoveIntoBackup(const char* path, const char* backupFolder) {
    const char* name = BaseNameOf(path);
    for (unsigned copy = 1; copy < 100; ++copy) {
        char keptName[kSaveNameSize + 4];
        char keptPath[kPathFieldSize];
        if (copy == 1) {
            CopyText(keptName, name);
        } else {
            FormatText(keptName, sizeof keptName, "%s.%u", name, copy);
        }
        if (!JoinPath(keptPath, sizeof keptPath, backupFolder, keptName)) break;
        if (OsRenameNoReplace(path, keptPath)) return 1;
        if (OsLastErrorKind() != kErrorExists) break;
    }
    DiagnoseFileError(path, "cannot keep %s in %s", path, backupFolder);
    return 0;
}

// Flushes the backup folder and the save folder, after originals were moved
// from one to the other. Returns 1, or 0 after a diagnostic.
int FlushBothFolders(const char* saveFolder, const char* backupFolder) {
    if (OsFlushFolder(backupFolder) && OsFlushFolder(saveFolder)) return 1;
    DiagnoseFileError(saveFolder, "cannot flush the save folder %s", saveFolder);
    return 0;
}

// Loads the save at path for converting. Returns 1 with image loaded, 1 with
// nothing loaded when the save is missing or too large to be one (skipped,
// logged), or 0 after a diagnostic when it cannot be read.
int LoadSave(const char* path, SaveImage* image, bool* loaded) {
    *loaded = false;
    switch (LoadWholeFile(path, image)) {
    case kSaveLoaded:
        *loaded = true;
        return 1;
    case kSaveMissing:
        return 1;
    case kSaveTooLarge:
        LogEvent("save %s skipped: larger than %llu bytes", path, static_cast<unsigned long long>(kLargestSaveSize));
        return 1;
    default:
        DiagnoseFileError(path, "cannot read the save %s", path);
        return 0;
    }
}

bool SameBytes(const SaveImage& image, const std::string& bytes) {
    return image.length == bytes.size() && std::memcmp(image.bytes.get(), bytes.data(), bytes.size()) == 0;
}

// A save whose conversion is staged beside it.
struct StagedSave {
    SaveName name;
    bool keepOriginal;  // the save is its original, to be moved into the backup folder
};

// Converts the save name of saveFolder from its original (the one kept in
// backupFolder when kept is true, else the save itself) and writes the
// conversion beside the save, in group, when the save is to be replaced:
// when it is its original, or missing beside a kept one. A save that is its
// conversion already, or that the player changed since its original was
// kept, is left. Returns 1, or 0 after a diagnostic.
int StageSaveConversion(const char* saveFolder, const char* backupFolder, const char* name, bool kept,
                        PlatformFlushGroup* group, std::vector<StagedSave>* staged) {
    char path[kPathFieldSize];
    char keptPath[kPathFieldSize];
    if (!JoinPath(path, sizeof path, saveFolder, name) || !JoinPath(keptPath, sizeof keptPath, backupFolder, name)) {
        LogEvent("save %s skipped: its path in %s would pass 259 bytes", name, saveFolder);
        return 1;
    }
    SaveImage image{};
    bool loaded = false;
    if (!LoadSave(kept ? keptPath : path, &image, &loaded)) return 0;
    if (!loaded) return 1;
    const std::string original = kept ? std::string(reinterpret_cast<char*>(image.bytes.get()), image.length) : "";
    if (!ConvertSaveFile(&image)) {
        LogEvent("save %s unchanged", path);
        return 1;
    }
    if (kept) {
        SaveImage current{};
        bool present = false;
        if (!LoadSave(path, &current, &present)) return 0;
        if (present && SameBytes(current, std::string(reinterpret_cast<char*>(image.bytes.get()), image.length))) {
            LogEvent("save %s converted by an earlier run", path);
            return 1;
        }
        if (present && !SameBytes(current, original)) {
            LogEvent("save %s changed since its original was kept in %s: left as it is", path, backupFolder);
            return 1;
        }
    }
    if (!StoreWholeFile(path, image.bytes.get(), image.length, group)) {
        DiagnoseFileError(path, "cannot write the converted save beside %s", path);
        return 0;
    }
    StagedSave save{};
    CopyText(save.name.text, name);
    save.keepOriginal = !kept;
    staged->push_back(save);
    return 1;
}

// Moves the originals of the staged saves into backupFolder, flushing both
// folders, then puts each conversion in place of its save and flushes
// saveFolder. Returns 1, or 0 after a diagnostic.
int SwapInConversions(const char* saveFolder, const char* backupFolder, const std::vector<StagedSave>& staged) {
    bool moved = false;
    for (const StagedSave& save : staged) {
        char path[kPathFieldSize];
        if (!save.keepOriginal || !JoinPath(path, sizeof path, saveFolder, save.name.text)) continue;
        if (!MoveIntoBackup(path, backupFolder)) return 0;
        moved = true;
    }
    if (moved && !FlushBothFolders(saveFolder, backupFolder)) return 0;
    for (size_t i = 0; i < staged.size(); ++i) {
        ReportProgress(staged[i].name.text, i, staged.size());
        char path[kPathFieldSize];
        if (!JoinPath(path, sizeof path, saveFolder, staged[i].name.text)) continue;
        if (OsSwapInReplacement(path) != kSwapDone) {
            DiagnoseFileError(path, "cannot put the converted save in place of %s", path);
            return 0;
        }
        LogEvent("save %s converted", path);
    }
    if (staged.empty() || OsFlushFolder(saveFolder)) return 1;
    DiagnoseFileError(saveFolder, "cannot flush the save folder %s", saveFolder);
    return 0;
}

}  // namespace

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

bool IsSaveDataName(const char* name) {
    for (const char* system : kSystemSaveNames) {
        if (EqualsNoCase(name, system)) return true;
    }
    const auto numbered = [&](const char* prefix, const char* extension) -> bool {
        const size_t length = std::strlen(prefix);
        if (!FieldEqualsNoCase(name, length, prefix)) return false;
        const char* digits = name + length;
        for (int i = 0; i < kSaveNameCharacters; ++i) {
            if (digits[i] < '0' || digits[i] > '9') return false;
        }
        return EqualsNoCase(digits + kSaveNameCharacters, extension);
    };
    return numbered(kSavePrefix, kSaveExtension) || numbered(kThumbPrefix, kThumbExtension);
}

void LocateSaveFolder(const char* installFolder, char (&saveFolder)[kPathFieldSize]) {
    char iniPath[kPathFieldSize];
    char named[kPathFieldSize];
    if (JoinPath(iniPath, sizeof iniPath, installFolder, kInstallIniName) && ReadSaveFolderSetting(iniPath, named)) {
        // The game takes a relative folder from its own folder, not from
        // the updater's.
        if (IsAbsolutePath(named) ? CopyText(saveFolder, named)
                                  : JoinPath(saveFolder, sizeof saveFolder, installFolder, named)) {
            LogEvent("save folder %s, from %s", saveFolder, iniPath);
            return;
        }
        LogEvent("save folder %s of %s: its path would pass 259 bytes", named, iniPath);
    }
    JoinPath(saveFolder, sizeof saveFolder, installFolder, kDefaultSaveFolderName);
    LogEvent("save folder %s", saveFolder);
}

int BackupFolderOf(const char* saveFolder, VersionNumber installed, VersionNumber target,
                   char (&backupFolder)[kPathFieldSize]) {
    char name[32];
    FormatText(name, sizeof name, "backup-%u-%u", installed, target);
    return JoinPath(backupFolder, sizeof backupFolder, saveFolder, name);
}

int ResetSaveData(const char* saveFolder, const char* backupFolder) {
    if (saveFolder[0] == '\0') return 1;
    std::vector<SaveName> names;
    if (!ListFiles(saveFolder, IsSaveDataName, &names)) return 0;
    RemoveSaveLeftovers(saveFolder, names);
    if (names.empty()) return 1;
    if (!MakeBackupFolder(saveFolder, backupFolder)) return 0;
    for (const SaveName& name : names) {
        char path[kPathFieldSize];
        if (!JoinPath(path, sizeof path, saveFolder, name.text)) continue;
        if (!MoveIntoBackup(path, backupFolder)) return 0;
    }
    LogEvent("save data of %s moved into %s", saveFolder, backupFolder);
    return FlushBothFolders(saveFolder, backupFolder);
}

int ConvertSaves(const char* saveFolder, const char* backupFolder) {
    if (saveFolder[0] == '\0') return 1;
    std::vector<SaveName> saves;
    std::vector<SaveName> kept;
    if (!ListFiles(saveFolder, IsNumberedSaveName, &saves) ||
        (g_convertRuleTable.count != 0 && !ListFiles(backupFolder, IsNumberedSaveName, &kept)))
        return 0;
    // A save kept whose conversion an interrupted run did not put in place.
    for (const SaveName& name : kept) {
        if (!Listed(saves, name.text)) saves.push_back(name);
    }
    // New files a killed run left are of saves it never swapped in: the
    // conversion starts again from the originals.
    RemoveSaveLeftovers(saveFolder, saves);
    if (g_convertRuleTable.count == 0 || saves.empty()) return 1;
    PlatformFlushGroup* group = OsBeginFlushGroup(saveFolder);
    if (group == nullptr) {
        DiagnoseFileError(saveFolder, "cannot open the save folder %s", saveFolder);
        return 0;
    }
    std::vector<StagedSave> staged;
    int converted = MakeBackupFolder(saveFolder, backupFolder);
    for (size_t i = 0; i < saves.size() && converted; ++i) {
        ReportProgress(saves[i].text, i, saves.size());
        converted = StageSaveConversion(saveFolder, backupFolder, saves[i].text, Listed(kept, saves[i].text), group,
                                        &staged);
    }
    if (converted && !staged.empty() && !OsFlushGroup(group)) {
        DiagnoseFileError(saveFolder, "cannot flush the converted saves in %s", saveFolder);
        converted = 0;
    }
    OsEndFlushGroup(group);
    converted = converted && SwapInConversions(saveFolder, backupFolder, staged);
    if (!converted) RemoveSaveLeftovers(saveFolder, saves);
    return converted;
}

int LoadWholeFile(const char* path, SaveImage* image) {
    PlatformFile* file = OsOpenForReading(path);
    if (file == nullptr) return OsLastErrorKind() == kErrorAbsent ? kSaveMissing : kSaveUnreadable;
    const int result = ReadOpenSave(file, image);
    OsCloseFile(file);
    return result;
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
