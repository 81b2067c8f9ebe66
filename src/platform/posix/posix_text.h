// Conversions between the program's Shift_JIS texts and the UTF-8 of Linux
// file names, arguments and terminals. Used inside the POSIX layer only.
#pragma once

#include <string>

// Shift_JIS (code page 932) to UTF-8. Returns 0 when text is not valid CP932.
int Cp932ToUtf8(const char* text, std::string* utf8);

// UTF-8 to Shift_JIS. Returns 0 when text has a character CP932 lacks.
int Utf8ToCp932(const char* text, std::string* cp932);

// A program path as a Linux path: converted to UTF-8, then every '\' turned
// into '/'. The separators are turned after conversion because the second
// byte of a double-byte character can be 0x5C. Returns 0 on a bad text.
int ToNativePath(const char* path, std::string* native);

// A line of the log or a diagnostic (Shift_JIS) with the paths in it shown as
// Linux shows them: every '\' a '/', but in a registry key's path
// (HKEY_CURRENT_USER\...), which is written so on every system. Double-byte
// characters are kept whole.
std::string WithLinuxSeparators(const char* line);
