// Paths that the system hands over (the program's folder, a registry value,
// a shell folder) in the program's Shift_JIS form. Used inside the Win32
// layer only.
#pragma once

#include <string>

// path as Shift_JIS: as it is when Shift_JIS holds it, else its short (8.3)
// form, whose names hold only characters Shift_JIS has. Returns 1, or 0 when
// neither form can be held: the volume keeps no short names, or the path
// does not exist.
int WidePathToCp932(const wchar_t* path, std::string* cp932);

// The full form of path (GetFullPathNameW: relative paths taken from the
// current folder). Returns 1, or 0 when it cannot be told.
int FullWidePath(const std::wstring& path, std::wstring* full);

// text (a path, a system message) as Shift_JIS with '?' for each character
// Shift_JIS lacks, for a message.
std::string WideTextForMessage(const wchar_t* text);
