// The registry of the POSIX layer: one text file in the REGEDIT4 format.
//
// Where: $UPDATER_REGISTRY; else $XDG_CONFIG_HOME/updater/registry.reg;
// else $HOME/.config/updater/registry.reg. A missing file holds no keys.
//
// What is read:
// - A key is a line [HKEY_CURRENT_USER\subkey]; its values are the lines up to
//   the next line that starts with '['. Subkeys and value names compare
//   without regard to the case of ASCII letters, as in the Windows registry.
// - A value is a line "Name"=data, data being one of
//     "text"             a string; \\ and \" stand for \ and "
//     dword:000003fc     a number, read as its 4 little-endian bytes
//     hex:fc,03,00,00    bytes (binary); hex(N): bytes of another type N
//   A hex list may go on over further lines, each but the last ending in '\'.
// - Every text is Shift_JIS bytes, as everywhere in the program; a 0x5C that is
//   the second byte of a double-byte character is no escape. A file that is
//   UTF-8 text holding characters beyond ASCII opens no key.
// - A query reads a value's bytes whatever its type; a string's bytes end with
//   a zero, as the Windows registry holds them. When a key or value occurs
//   more than once, the last occurrence counts, as after an import.
// - Anything else (the REGEDIT4 line, comments, blank lines, other roots,
//   deletions, default values "@=") is not read and is kept.
//
// What is written:
// - Setting a value rewrites the whole file atomically: a new file beside it is
//   written, flushed and renamed over the old one, so that readers see either
//   the old file or the new one, whole. Every other line stays byte for byte.
//   The value's line replaces its last occurrence, or else is added at the end
//   of the key's last section (after a blank line when the line there is a hex
//   list that a '\' leaves open, which would otherwise take the new line in).
// - The new text is read back before it is written: unless the value reads as
//   written and every other value of every key as before, the file is left
//   alone and the setting fails.
#pragma once

#include <cstdint>
#include <string>

struct PlatformRegistryKey;

// The registry file's path, as a native path. Returns 0 when no path follows
// from the environment.
int RegistryFilePath(std::string* path);

// Opens subkey in content, the text of the registry file at filePath (a
// native path), as OsOpenRegistryKey opens it from the file. nullptr when
// content has no section of subkey.
PlatformRegistryKey* OpenRegistryKeyInText(const std::string& filePath, const std::string& content,
                                           const char* subkey);

// The registry file's text with value name of key set to number as four
// bytes of the binary type, in *content; key is unchanged. Returns 1 when
// that text reads the value back as written and every other value as key
// reads it; 0 otherwise.
int RewriteRegistryText(const PlatformRegistryKey* key, const char* name, uint32_t number, std::string* content);
