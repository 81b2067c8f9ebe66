// Reading the lines and values of a REGEDIT4 text (posix_registry.h has the
// contract): the POSIX registry's parser, apart from its file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The key path's root in section lines: [HKEY_CURRENT_USER\subkey].
inline constexpr char kRootPrefix[] = "HKEY_CURRENT_USER";

// line without its line end (CR LF, LF or CR).
std::string_view WithoutLineEnd(std::string_view line);

// text without blanks at either end.
std::string_view TrimBlanks(std::string_view text);

// The quoted form of text, with \ and " escaped.
std::string RegistryQuoted(const std::string& text);

// Splits a value line into its name and the data after '='. Returns 0 for a
// line that is not a value.
int SplitValueLine(std::string_view line, std::string* name, std::string_view* data);

// The bytes a value's data stands for. Returns 0 when the data is malformed.
int ParseValueData(std::string_view data, std::string* bytes);

// 1 when the next physical line after line would be read as part of it: a
// hex value whose last physical line ends in '\'.
int ContinuesOnNextLine(std::string_view line);

// The file's content as lines, each with its line end; a hex list that goes
// on over several lines is one line.
std::vector<std::string> SplitLines(const std::string& content);

// 1 when line starts a section; *matches tells whether it is subkey's.
int IsSectionLine(std::string_view line, const std::string& subkey, bool* matches);
