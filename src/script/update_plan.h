// The update plan: the script's settings and the five plan tables, filled
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

struct CreateFolderEntry {
    char folderName[kNameFieldSize];  // relative to the install folder
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
// Defined once (update_plan.cpp), not inline: on Windows an inline variable
// is stored in the program as initialised data, and these are large.
extern UpdateSettings g_settings;
extern FixedTable<CopyEntry, kPlanTableCapacity> g_copyTable;
extern FixedTable<DeleteEntry, kPlanTableCapacity> g_deleteTable;
extern FixedTable<RenameEntry, kPlanTableCapacity> g_renameTable;
extern FixedTable<ShortcutEntry, kPlanTableCapacity> g_shortcutTable;
extern FixedTable<CreateFolderEntry, kPlanTableCapacity> g_createFolderTable;
// The digest of the script's bytes, which tells this update from another.
inline uint64_t g_scriptDigest;

// Zero-fills the copy, shortcut, delete, rename and folder tables and their
// counts.
void ClearPlanTables();
