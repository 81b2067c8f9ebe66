// The last change of an update: Start-menu shortcuts for the shortcut list.
#pragma once

struct ShortcutEntry;

// Makes the link of every shortcut entry, in table order, in the folder
// gameMenuFolder inside brandMenuFolder of the current user's Programs
// folder (a menu folder name that is empty adds no level). An entry that is
// skipped (see MakeShortcut) is passed over silently; a link that cannot be
// written is told in a diagnostic, and the next entry follows. An empty
// shortcut list touches nothing. Returns 1, or 0 when a link could not be
// written.
int CreateShortcuts(const char* installFolder, const char* brandMenuFolder, const char* gameMenuFolder);

// Makes the link of entry: creates the brand folder, then the game menu
// folder, each unless it exists, and writes the link
// named by the entry's link name there, replacing one of that name. Target,
// working folder and icon are paths below installFolder:
//   target          installFolder\subfolder\target, or installFolder\target
//                   when the subfolder is empty
//   working folder  installFolder\subfolder; none when the subfolder is empty
//   icon            installFolder\icon file with index 0; none when empty
// and the link shows a normal window. Returns 1 when the link was written,
// and also when the entry was skipped with nothing created: the Programs
// folder cannot be found, the link name is empty, or a path would not fit 259
// bytes. Returns 0, after a diagnostic, when a folder could not be made or
// the link could not be written.
int MakeShortcut(const ShortcutEntry& entry, const char* installFolder, const char* brandMenuFolder,
                 const char* gameMenuFolder);
