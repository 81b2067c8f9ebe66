// The table of the directives that take fields.
#include "script/directive_table.h"

#include <cstddef>

#include "script/script_lexer.h"
#include "script/update_plan.h"

namespace {

constexpr StatementField Setting(const char* name, size_t offset) {
    return {name, kTextField, offset, kSettingFieldSize};
}
constexpr StatementField Name(const char* name, size_t offset) {
    return {name, kTextField, offset, kNameFieldSize};
}
// A name of a file or folder below the install, program or menu folder.
constexpr StatementField PathName(const char* name, size_t offset) {
    return {name, kTextField, offset, kNameFieldSize, true};
}
constexpr StatementField PathSetting(const char* name, size_t offset) {
    return {name, kTextField, offset, kSettingFieldSize, true};
}
constexpr StatementField Version(const char* name, size_t pairOffset, size_t memberOffset) {
    return {name, kUnsignedField, pairOffset + memberOffset, 0};
}

constexpr size_t kStandard = offsetof(VersionPair, standard);
constexpr size_t kAddContents = offsetof(VersionPair, addContents);

constexpr Directive kDirectives[] = {
    // AppTitle = My Game
    {kKeywordAppTitle, kTextSetting, 1, {Setting("value", offsetof(UpdateSettings, appTitle))}},
    // BrandMenuFolder = Brand
    {kKeywordBrandMenuFolder, kTextSetting, 1, {PathSetting("value", offsetof(UpdateSettings, brandMenuFolder))}},
    // GameMenuFolder = My Game
    {kKeywordGameMenuFolder, kTextSetting, 1, {PathSetting("value", offsetof(UpdateSettings, gameMenuFolder))}},
    // NewVersion = 1020, 1021
    {kKeywordNewVersion, kVersionSetting, 2,
     {Version("standard", offsetof(UpdateSettings, newVersion), kStandard),
      Version("addContents", offsetof(UpdateSettings, newVersion), kAddContents)}},
    // Registory = Software\Brand\Game
    {kKeywordRegistory, kTextSetting, 1, {Setting("value", offsetof(UpdateSettings, registrySubkey))}},
    // SupportVersion = 1000, 1000
    {kKeywordSupportVersion, kVersionSetting, 2,
     {Version("standard", offsetof(UpdateSettings, supportVersion), kStandard),
      Version("addContents", offsetof(UpdateSettings, supportVersion), kAddContents)}},
    // SaveVersion = 1010, 1010
    {kKeywordSaveVersion, kVersionSetting, 2,
     {Version("standard", offsetof(UpdateSettings, saveVersion), kStandard),
      Version("addContents", offsetof(UpdateSettings, saveVersion), kAddContents)}},
    // CopyFile = std\a.dat, add\a.dat, data\a.dat
    {kKeywordCopyFile, kCopyTable, 3,
     {PathName("standardSource", offsetof(CopyEntry, standardSource)),
      PathName("addContentsSource", offsetof(CopyEntry, addContentsSource)),
      PathName("destination", offsetof(CopyEntry, destination))}},
    // Shortcut = Game.lnk, Play the game, game.exe, -window, game.ico, bin
    {kKeywordShortcut, kShortcutTable, 6,
     {PathName("linkName", offsetof(ShortcutEntry, linkName)),
      Name("description", offsetof(ShortcutEntry, description)),
      PathName("target", offsetof(ShortcutEntry, target)), Name("arguments", offsetof(ShortcutEntry, arguments)),
      PathName("iconFile", offsetof(ShortcutEntry, iconFile)),
      PathName("subfolder", offsetof(ShortcutEntry, subfolder))}},
    // DeleteFile = old.dat
    {kKeywordDeleteFile, kDeleteTable, 1, {PathName("fileName", offsetof(DeleteEntry, fileName))}},
    // RenameFile = a.tmp, a.dat
    {kKeywordRenameFile, kRenameTable, 2,
     {PathName("oldName", offsetof(RenameEntry, oldName)), PathName("newName", offsetof(RenameEntry, newName))}},
    // CreateFolder = movie\op
    {kKeywordCreateFolder, kFolderTable, 1, {PathName("folderName", offsetof(CreateFolderEntry, folderName))}},
};

}  // namespace

const Directive* DirectiveOf(int keyword) {
    for (const Directive& directive : kDirectives) {
        if (directive.keyword == keyword) return &directive;
    }
    return nullptr;
}
