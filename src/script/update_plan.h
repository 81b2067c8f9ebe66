// The update plan: the script's settings and the four plan tables, filled
// once by LoadUpdateScript and only read afterwards.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/fixed_table.h"
#include "common/version.h"

constexpr uint32_t kPlanTableCapacity = 256;
constexpr size_t kNameFieldSize = 64;      // a table name holds at most 63 bytes
constexpr size_t kSettingFieldSize = 260;  // a text setting holds at most 259 bytes

struct UpdateSettings {
    char appTitle[kSettingFieldSize];         // AppTitle
    char gameMenuFolder[kSettingFieldSize];   // GameMenuFolder
    char registrySubkey[kSettingFieldSize];   // Registory, under HKEY_CURRENT_USER
    char brandMenuFolder[kSettingFieldSize];  // BrandMenuFolder
    VersionPair newVersion;                   // NewVersion
    VersionPair supportVersion;               // SupportVersion
    VersionPair saveVersion;                  // SaveVersion
};

struct CopyEntry {
    char standardSource[kNameFieldSize];     // package member or loose path, standard edition
    char addContentsSource[kNameFieldSize];  // the same for the add-contents edition
    char destination[kNameFieldSize];        // relative to the install folder
};

struct DeleteEntry {
    char fileName[kNameFieldSize];  // relative to the install folder
};

struct RenameEntry {
    char oldName[kNameFieldSize];  // relative to the install folder
    char newName[kNameFieldSize];  // relative to the install folder
};

struct ShortcutEntry {
    char linkName[kNameFieldSize];     // file name inside the game menu folder
    char target[kNameFieldSize];       // relative to the install folder (and subfolder)
    char arguments[kNameFieldSize];    // plain text
    char description[kNameFieldSize];  // plain text
    char iconFile[kNameFieldSize];     // relative to the install folder; may be empty
    char subfolder[kNameFieldSize];    // relative to the install folder; may be empty
};

// The plan, global for the program's life, zero until the script loads.
inline UpdateSettings g_settings;
inline FixedTable<CopyEntry, kPlanTableCapacity> g_copyTable;
inline FixedTable<DeleteEntry, kPlanTableCapacity> g_deleteTable;
inline FixedTable<RenameEntry, kPlanTableCapacity> g_renameTable;
inline FixedTable<ShortcutEntry, kPlanTableCapacity> g_shortcutTable;
// The digest of the script's bytes, which tells this update from another.
inline uint64_t g_scriptDigest;

// Results of the Add operations below.
enum PlanAddResult : int {
    kPlanRecordDropped = 0,  // the table already holds 256 records: nothing added
    kPlanRecordAdded = 1,
    kPlanTextTooLong = 2,    // a text does not fit its 64-byte field: nothing added
};

// Append one record of texts to its table; see PlanAddResult. A text that
// does not fit is refused rather than cut, so no update runs on a cut name.
int AddCopyEntry(const char* standardSource, const char* addContentsSource, const char* destination);
int AddDeleteEntry(const char* fileName);
int AddRenameEntry(const char* oldName, const char* newName);
int AddShortcutEntry(const char* linkName, const char* target, const char* arguments,
                     const char* description, const char* iconFile, const char* subfolder);

// Zero-fills the copy, shortcut, delete and rename tables and their counts.
void ClearPlanTables();
