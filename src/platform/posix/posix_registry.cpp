// The registry on POSIX systems: keys and values kept in a REGEDIT4 text file
// (the contract is in posix_registry.h).
//
// Divisions: the file, lines and values, the registry operations.
#include "platform/posix/posix_registry.h"
#include "platform/registry_values.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "common/ascii.h"
#include "common/run_log.h"
#include "common/sjis_text.h"
#include "platform/disk_change_hook.h"
#include "platform/platform.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_text.h"

struct PlatformRegistryKey {
    std::string filePath;            // the registry file, native path
    std::string subkey;              // the key under HKEY_CURRENT_USER, Shift_JIS
    std::vector<std::string> lines;  // the file's lines, each with its line end
};

namespace {

constexpr char kRootPrefix[] = "HKEY_CURRENT_USER";

// The file -------------------------------------------------------------------

int ReadWholeFile(const std::string& path, std::string* content) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return 0;
    content->clear();
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(descriptor, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            close(descriptor);
            return got == 0;
        }
        content->append(buffer, static_cast<size_t>(got));
    }
}

// Lines and values -------------------------------------------------------------

std::string_view WithoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return line;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// 1 when text starts with the ASCII prefix, letters compared without case.
int StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return 0;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return 0;
    }
    return 1;
}

// Reads the quoted text starting at text[*position] == '"' into out and sets
// *position past its closing quote. Returns 0 when the text is not closed.
int ReadQuoted(std::string_view text, size_t* position, std::string* out) {
    size_t i = *position + 1;
    out->clear();
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (SjisCharacterWidthIn(text.data(), text.size(), i) == 2) {
            out->append(text.substr(i, 2));
            i += 2;
        } else if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
            out->push_back(text[i + 1]);
            i += 2;
        } else if (c == '"') {
            *position = i + 1;
            return 1;
        } else {
            out->push_back(static_cast<char>(c));
            ++i;
        }
    }
    return 0;
}

// The quoted form of text, with \ and " escaped.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (SjisCharacterWidthIn(text.data(), text.size(), i) == 2) {
            out.append(text, i, 2);
            ++i;
            continue;
        }
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(static_cast<char>(c));
    }
    return out + "\"";
}

// Splits a value line into its name and the data after '='. Returns 0 for a
// line that is not a value.
int SplitValueLine(std::string_view line, std::string* name, std::string_view* data) {
    line = WithoutLineEnd(line);
    size_t position = 0;
    if (line.empty() || line[0] != '"' || !ReadQuoted(line, &position, name)) return 0;
    std::string_view rest = TrimBlanks(line.substr(position));
    if (rest.empty() || rest[0] != '=') return 0;
    *data = TrimBlanks(rest.substr(1));
    return 1;
}

// Reads "xx,xx,..." (blanks, line ends and continuation marks allowed).
int ParseHexList(std::string_view list, std::string* bytes) {
    std::string digits;
    for (char c : list) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\\') digits.push_back(c);
    }
    bytes->clear();
    if (digits.empty()) return 1;
    size_t start = 0;
    for (;;) {
        const size_t comma = digits.find(',', start);
        const std::string_view item =
            std::string_view(digits).substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (item.empty() || item.size() > 2) return 0;
        int value = 0;
        for (char c : item) {
            const int digit = HexDigitValue(c);
            if (digit < 0) return 0;
            value = value * 16 + digit;
        }
        bytes->push_back(static_cast<char>(value));
        if (comma == std::string::npos) return 1;
        start = comma + 1;
    }
}

// The bytes a value's data stands for. Returns 0 when the data is malformed.
int ParseValueData(std::string_view data, std::string* bytes) {
    if (!data.empty() && data[0] == '"') {
        size_t position = 0;
        if (!ReadQuoted(data, &position, bytes) || !TrimBlanks(data.substr(position)).empty()) return 0;
        bytes->push_back('\0');
        return 1;
    }
    if (StartsWithNoCase(data, "dword:")) {
        const std::string_view digits = data.substr(6);
        if (digits.empty() || digits.size() > 8) return 0;
        uint32_t value = 0;
        for (char c : digits) {
            const int digit = HexDigitValue(c);
            if (digit < 0) return 0;
            value = value << 4 | static_cast<uint32_t>(digit);
        }
        bytes->clear();
        for (int i = 0; i < 4; ++i) bytes->push_back(static_cast<char>(value >> (8 * i)));
        return 1;
    }
    if (StartsWithNoCase(data, "hex")) {
        const size_t colon = data.find(':');
        if (colon == std::string_view::npos) return 0;
        const std::string_view kind = data.substr(3, colon - 3);
        if (!kind.empty() && (kind.front() != '(' || kind.back() != ')')) return 0;
        return ParseHexList(data.substr(colon + 1), bytes);
    }
    return 0;
}

// 1 when line is a value line whose data is a hex list: such a line goes on
// after a trailing '\'. The first physical line of a value decides it.
int IsHexValueLine(std::string_view line) {
    std::string name;
    std::string_view data;
    return SplitValueLine(line, &name, &data) && StartsWithNoCase(data, "hex");
}

// 1 when physical, one physical line, ends in the continuation mark.
int EndsInContinuationMark(std::string_view physical) {
    const std::string_view body = WithoutLineEnd(physical);
    return !body.empty() && body.back() == '\\';
}

// 1 when the next physical line after line would be read as part of it: a
// hex value whose last physical line ends in '\'.
int ContinuesOnNextLine(std::string_view line) {
    const size_t lastBreak = WithoutLineEnd(line).rfind('\n');
    const std::string_view last = lastBreak == std::string_view::npos ? line : line.substr(lastBreak + 1);
    return EndsInContinuationMark(last) && IsHexValueLine(line);
}

// The file's content as lines, each with its line end; a hex list that goes
// on over several lines is one line. Whether a value is a hex list is told
// once, from its first physical line, so the time grows with the content.
std::vector<std::string> SplitLines(const std::string& content) {
    std::vector<std::string> lines;
    bool hexValue = false;
    bool continuing = false;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        end = end == std::string::npos ? content.size() : end + 1;
        const std::string_view physical = std::string_view(content).substr(start, end - start);
        if (continuing) {
            lines.back().append(physical);
        } else {
            lines.emplace_back(physical);
            hexValue = IsHexValueLine(physical);
        }
        continuing = hexValue && EndsInContinuationMark(physical);
        start = end;
    }
    return lines;
}

// 1 when line starts a section; *matches tells whether it is subkey's.
int IsSectionLine(std::string_view line, const std::string& subkey, bool* matches) {
    line = TrimBlanks(WithoutLineEnd(line));
    if (line.empty() || line.front() != '[') return 0;
    *matches = false;
    if (line.back() != ']') return 1;
    const std::string_view inner = line.substr(1, line.size() - 2);
    const std::string_view root(kRootPrefix);
    if (!StartsWithNoCase(inner, root)) return 1;
    const std::string_view rest = inner.substr(root.size());
    if (rest.empty()) {
        *matches = subkey.empty();
    } else if (rest[0] == '\\') {
        *matches = EqualsNoCase(std::string(rest.substr(1)).c_str(), subkey.c_str()) == 1;
    }
    return 1;
}

// The index of the last line of value name in subkey's sections, or -1.
long FindValueLine(const PlatformRegistryKey& key, const char* name) {
    long found = -1;
    bool inKey = false;
    for (size_t i = 0; i < key.lines.size(); ++i) {
        bool matches = false;
        if (IsSectionLine(key.lines[i], key.subkey, &matches)) {
            inKey = matches;
            continue;
        }
        std::string lineName;
        std::string_view data;
        if (inKey && SplitValueLine(key.lines[i], &lineName, &data) && EqualsNoCase(lineName.c_str(), name)) {
            found = static_cast<long>(i);
        }
    }
    return found;
}

// Where a new value of the key goes: after the last line of its last section
// that is not blank. -1 when the file has no section of the key.
long NewValuePosition(const PlatformRegistryKey& key) {
    long position = -1;
    bool inKey = false;
    for (size_t i = 0; i < key.lines.size(); ++i) {
        bool matches = false;
        if (IsSectionLine(key.lines[i], key.subkey, &matches)) {
            inKey = matches;
            if (inKey) position = static_cast<long>(i) + 1;
            continue;
        }
        if (inKey && !TrimBlanks(WithoutLineEnd(key.lines[i])).empty()) position = static_cast<long>(i) + 1;
    }
    return position;
}

}  // namespace

// The bytes of value name. Returns 0 when it is missing or malformed.
int QueryRegistryValueBytes(PlatformRegistryKey* key, const char* name, std::string* bytes) {
    const long index = FindValueLine(*key, name);
    if (index < 0) return 0;
    std::string lineName;
    std::string_view data;
    return SplitValueLine(key->lines[static_cast<size_t>(index)], &lineName, &data) &&
           ParseValueData(data, bytes);
}

namespace {

// The line end of line: CR LF, LF, or none for a last line without one.
std::string LineEndOf(const std::string& line) {
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) return "\r\n";
    if (!line.empty() && line.back() == '\n') return "\n";
    return "";
}

// The file's line end, as its first line has it; LF for a file of one line.
std::string FileLineEnd(const std::vector<std::string>& lines) {
    const std::string lineEnd = lines.empty() ? "" : LineEndOf(lines.front());
    return lineEnd.empty() ? "\n" : lineEnd;
}

// A native path as a text of the program, for a diagnostic line.
std::string ForDiagnostic(const std::string& native) {
    std::string text;
    return Utf8ToCp932(native.c_str(), &text) ? text : native;
}

// text with the ASCII letters of its single-byte characters in lower case.
std::string FoldedText(std::string_view text) {
    std::string folded(text);
    FoldAsciiCase(folded.data(), folded.size());
    return folded;
}

// What a reader finds for one value: whether its data is well formed, and
// its bytes.
struct ValueReading {
    bool wellFormed;
    std::string bytes;
    bool operator==(const ValueReading&) const = default;
};

// Every value of lines as a reader finds it, keyed by its section line and
// its name (both without regard to case), the last occurrence counting;
// value name of subkey's sections left out.
std::map<std::pair<std::string, std::string>, ValueReading> ValuesExcept(const std::vector<std::string>& lines,
                                                                          const std::string& subkey,
                                                                          const char* name) {
    std::map<std::pair<std::string, std::string>, ValueReading> values;
    const std::string foldedName = FoldedText(name);
    std::string section;
    bool inKey = false;
    for (const std::string& line : lines) {
        bool matches = false;
        if (IsSectionLine(line, subkey, &matches)) {
            section = FoldedText(TrimBlanks(WithoutLineEnd(line)));
            inKey = matches;
            continue;
        }
        std::string lineName;
        std::string_view data;
        if (!SplitValueLine(line, &lineName, &data)) continue;
        std::string folded = FoldedText(lineName);
        if (inKey && folded == foldedName) continue;
        ValueReading reading{};
        reading.wellFormed = ParseValueData(data, &reading.bytes) == 1;
        values[{section, std::move(folded)}] = std::move(reading);
    }
    return values;
}

// The lines of key with value name set to line: its last occurrence
// replaced, or else line added after the last line of the key's last
// section that is not blank. A hex list left open by a '\' at that place
// is closed by a blank line first, so the new line is not read as its
// continuation.
std::vector<std::string> LinesWithValue(const PlatformRegistryKey& key, const char* name, const std::string& line) {
    std::vector<std::string> lines = key.lines;
    const long existing = FindValueLine(key, name);
    if (existing >= 0) {
        std::string& old = lines[static_cast<size_t>(existing)];
        old = line + LineEndOf(old);
        return lines;
    }
    const size_t position = static_cast<size_t>(NewValuePosition(key));
    const std::string lineEnd = FileLineEnd(lines);
    std::string& previous = lines[position - 1];
    if (LineEndOf(previous).empty()) previous += lineEnd;
    if (ContinuesOnNextLine(previous)) previous += lineEnd;
    lines.insert(lines.begin() + static_cast<long>(position), line + lineEnd);
    return lines;
}

}  // namespace

PlatformRegistryKey* OpenRegistryKeyInText(const std::string& filePath, const std::string& content,
                                           const char* subkey) {
    PlatformRegistryKey* key = new (std::nothrow) PlatformRegistryKey;
    if (key == nullptr) return nullptr;
    key->filePath = filePath;
    key->subkey = subkey;
    key->lines = SplitLines(content);
    if (NewValuePosition(*key) < 0) {
        delete key;
        return nullptr;
    }
    return key;
}

int RewriteRegistryText(const PlatformRegistryKey* key, const char* name, uint32_t number, std::string* content) {
    static const char kHexDigits[] = "0123456789abcdef";
    std::string line = Quoted(name) + "=hex:";
    std::string expected;
    for (int i = 0; i < 4; ++i) {
        const unsigned byte = (number >> (8 * i)) & 0xFF;
        if (i > 0) line.push_back(',');
        line.push_back(kHexDigits[byte >> 4]);
        line.push_back(kHexDigits[byte & 0xF]);
        expected.push_back(static_cast<char>(byte));
    }
    const std::vector<std::string> lines = LinesWithValue(*key, name, line);
    content->clear();
    for (const std::string& each : lines) *content += each;

    // Read the new text back as the next run will.
    PlatformRegistryKey after{key->filePath, key->subkey, SplitLines(*content)};
    std::string bytes;
    return QueryRegistryValueBytes(&after, name, &bytes) && bytes == expected &&
           ValuesExcept(after.lines, key->subkey, name) == ValuesExcept(key->lines, key->subkey, name);
}

// The registry operations ---------------------------------------------------------

int RegistryFilePath(std::string* path) {
    const char* explicitPath = std::getenv("UPDATER_REGISTRY");
    if (explicitPath != nullptr && explicitPath[0] != '\0') {
        *path = explicitPath;
        return 1;
    }
    // A relative XDG_CONFIG_HOME is to be ignored.
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && configHome[0] == '/') {
        *path = std::string(configHome) + "/updater/registry.reg";
        return 1;
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        *path = std::string(home) + "/.config/updater/registry.reg";
        return 1;
    }
    return 0;
}

PlatformRegistryKey* OsOpenRegistryKey(const char* subkey) {
    std::string path;
    if (!RegistryFilePath(&path)) {
        LogDiagnostic("no registry file: none of UPDATER_REGISTRY, XDG_CONFIG_HOME and HOME is set");
        errno = ENOENT;
        return nullptr;
    }
    // Through a symbolic link, the rewrite replaces the file it names.
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) path = resolved;
    std::string content;
    if (!ReadWholeFile(path, &content)) {
        const int error = errno;
        LogDiagnostic("registry file %s: %s", ForDiagnostic(path).c_str(), std::strerror(error));
        errno = error;
        return nullptr;
    }
    PlatformRegistryKey* key = OpenRegistryKeyInText(path, content, subkey);
    if (key == nullptr) {
        LogDiagnostic("registry file %s has no key [%s\\%s]", ForDiagnostic(path).c_str(), kRootPrefix, subkey);
        errno = ENOENT;
    }
    return key;
}

int OsSetRegistryBinaryNumber(PlatformRegistryKey* key, const char* name, uint32_t number) {
    if (!AllowDiskChange(kDiskRegistry)) return 0;
    std::string content;
    if (!RewriteRegistryText(key, name, number, &content)) return 0;
    if (!ReplaceNativeFile(key->filePath, content)) return 0;
    key->lines = SplitLines(content);
    return 1;
}

// Texts in the file are Shift_JIS already, so every folder it names has a
// Shift_JIS form.
int OsQueryRegistryFolder(PlatformRegistryKey* key, const char* name, char* folder, size_t capacity) {
    return OsQueryRegistryText(key, name, folder, capacity) ? kRegistryFolderRead : kRegistryFolderMissing;
}

void OsCloseRegistryKey(PlatformRegistryKey* key) {
    delete key;
}
