// Conversions between the program's Shift_JIS texts and the UTF-16 of the
// Windows W functions. Code page 932 is named explicitly, so texts and file
// names stay right whatever the system's ANSI code page is. Used inside the
// Win32 layer (and by Windows entry points such as wmain) only.
//
// On failure each function returns 0 and leaves GetLastError telling why
// (ERROR_NO_UNICODE_TRANSLATION for a text the other side cannot hold).
#pragma once

#include <string>

// Shift_JIS (code page 932) to UTF-16. Returns 0 when text is not valid CP932.
int Cp932ToWide(const char* text, std::wstring* wide);

// Shift_JIS to UTF-16 for a person to read: a byte or pair that is no
// Shift_JIS character becomes U+FFFD, and nothing of the rest is lost.
std::wstring Cp932ToWideReplacing(const char* text);

// UTF-16 to Shift_JIS. Returns 0 when text has a character CP932 lacks.
int WideToCp932(const wchar_t* text, std::string* cp932);

// UTF-16 to UTF-8. Returns 0 when text is not valid UTF-16.
int WideToUtf8(const wchar_t* text, std::string* utf8);

// UTF-8 to UTF-16. Returns 0 when text is not valid UTF-8.
int Utf8ToWide(const char* text, std::wstring* wide);

// Turns wide into upper case in place, as file names compare on Windows
// (the invariant locale's mapping). Returns 0 when it cannot.
int WideToUpperCase(std::wstring* wide);
