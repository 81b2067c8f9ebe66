// The registry on POSIX systems: keys and values kept in a REGEDIT4 text file
// (the contract is in posix_registry.h).
//
// Divisions: the file, the key's lines, the registry operations. Reading
// the lines and values of the text is posix_registry_text.cpp's.
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
#include "common/utf8_text.h"
#include "platform/disk_change_hook.h"
#include "platform/platform_registry.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_registry_text.h"
#include "platform/posix/posix_text.h"
#include "platform/posix/posix_trial.h"

struct PlatformRegistryKey {
    std::string filePath;            // the registry file, native path
    std::string subkey;              // the key under HKEY_CURRENT_USER, Shift_JIS
    std::vector<std::string> lines;  // the file's lines, each with its line end
};

namespace {

// The file -------------------------------------------------------------------

// A registry file is a few KiB; one past this is no registry file.
constexpr off_t kLargestRegistryFile = off_t{16} << 20;

// What ReadWholeFile found.
enum RegistryFileRead : int {
    kRegistryFileFailed = 0,    // errno tells why
    kRegistryFileRead = 1,
    kRegistryFileNotPlain = 2,  // a folder, a pipe or a device: not read, never waited for
    kRegistryFileTooLarge = 3,
};

int ReadWholeFile(const std::string& path, std::string* content) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) return kRegistryFileFailed;
    struct stat info;
    const int kind = fstat(descriptor, &info) != 0 ? kRegistryFileFailed
                     : !S_ISREG(info.st_mode)       ? kRegistryFileNotPlain
                     : info.st_size > kLargestRegistryFile ? kRegistryFileTooLarge
                                                           : kRegistryFileRead;
    if (kind != kRegistryFileRead) {
        close(descriptor);
        return kind;
    }
    content->clear();
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(descriptor, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            close(descriptor);
            return got == 0 ? kRegistryFileRead : kRegistryFileFailed;
        }
        content->append(buffer, static_cast<size_t>(got));
    }
}

// The key's lines -----------------------------------------------------------------

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
    if (!line.empty() && (line.back() == '\n' || line.back() == '\r')) return std::string(1, line.back());
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
    PlatformRegistryKey* key = new PlatformRegistryKey;
    key->filePath = filePath;
    key->subkey = subkey;
    key->lines = SplitLines(content);
    if (NewValuePosition(*key) < 0) {
        delete key;
        return nullptr;
    }
    return key;
}

namespace {

// The lines of key without any line of value name in its sections.
std::vector<std::string> LinesWithoutValue(const PlatformRegistryKey& key, const char* name) {
    PlatformRegistryKey rest = key;
    for (long found = FindValueLine(rest, name); found >= 0; found = FindValueLine(rest, name))
        rest.lines.erase(rest.lines.begin() + found);
    return rest.lines;
}

// Joins lines, the new text of key's file, into *content after reading it
// back as the next run will. Returns 1 when value name reads as expected
// (missing, for nullptr) and every other value as key reads it; 0 otherwise.
int CheckedText(const PlatformRegistryKey* key, const char* name, const std::vector<std::string>& lines,
                const std::string* expected, std::string* content) {
    content->clear();
    for (const std::string& each : lines) *content += each;
    PlatformRegistryKey after{key->filePath, key->subkey, SplitLines(*content)};
    std::string bytes;
    const bool present = QueryRegistryValueBytes(&after, name, &bytes);
    const bool asExpected = expected != nullptr ? present && bytes == *expected : FindValueLine(after, name) < 0;
    return asExpected && ValuesExcept(after.lines, key->subkey, name) == ValuesExcept(key->lines, key->subkey, name);
}

// Replaces the registry file with content, the key's new text. Returns 1,
// or 0 with the file as it was.
int ReplaceRegistryFile(PlatformRegistryKey* key, const std::string& content) {
    if (!ReplaceNativeFile(key->filePath, content)) return 0;
    key->lines = SplitLines(content);
    return 1;
}

}  // namespace

int RewriteRegistryText(const PlatformRegistryKey* key, const char* name, uint32_t number, std::string* content) {
    std::string line = RegistryQuoted(name) + "=hex:";
    std::string expected;
    for (int i = 0; i < 4; ++i) {
        const unsigned char byte = static_cast<unsigned char>(number >> (8 * i));
        if (i > 0) line.push_back(',');
        AppendHexByte(&line, byte);
        expected.push_back(static_cast<char>(byte));
    }
    return CheckedText(key, name, LinesWithValue(*key, name, line), &expected, content);
}

// The registry operations ---------------------------------------------------------

namespace {

std::string g_privateRegistryFile;  // set by updpack try; empty for the user's

}  // namespace

void SetPrivateRegistryFile(const std::string& native) {
    g_privateRegistryFile = native;
}

int RegistryFilePath(std::string* path) {
    if (!g_privateRegistryFile.empty()) {
        *path = g_privateRegistryFile;
        return 1;
    }
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
    switch (ReadWholeFile(path, &content)) {
    case kRegistryFileRead:
        break;
    case kRegistryFileNotPlain:
        LogDiagnostic("registry file %s is no plain file (a folder, a pipe or a device)", ForDiagnostic(path).c_str());
        errno = EINVAL;
        return nullptr;
    case kRegistryFileTooLarge:
        LogDiagnostic("registry file %s is larger than %lld bytes: no registry file", ForDiagnostic(path).c_str(),
                      static_cast<long long>(kLargestRegistryFile));
        errno = EFBIG;
        return nullptr;
    default: {
        const int error = errno;
        LogDiagnostic("registry file %s: %s", ForDiagnostic(path).c_str(), std::strerror(error));
        errno = error;
        return nullptr;
    }
    }
    // An editor's natural choice on Linux, but the values would read as other
    // characters: a game folder that does not exist, or none that any system
    // call takes. The file holds no key the program can use.
    if (FindUtf8Text(content.data(), content.size()) < content.size()) {
        LogDiagnostic("registry file %s is UTF-8 text; it must be saved as Shift_JIS (code page 932), as "
                      "iconv -f UTF-8 -t CP932 converts it",
                      ForDiagnostic(path).c_str());
        errno = EILSEQ;
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
    std::string content;
    return AllowDiskChange(kDiskRegistry, PathTarget(key->filePath.c_str())) &&
           RewriteRegistryText(key, name, number, &content) && ReplaceRegistryFile(key, content);
}

int OsSetRegistryText(PlatformRegistryKey* key, const char* name, const char* text) {
    const std::string line = RegistryQuoted(name) + "=" + RegistryQuoted(text);
    const std::string expected = std::string(text) + '\0';
    std::string content;
    return AllowDiskChange(kDiskRegistry, PathTarget(key->filePath.c_str())) &&
           CheckedText(key, name, LinesWithValue(*key, name, line), &expected, &content) &&
           ReplaceRegistryFile(key, content);
}

int OsDeleteRegistryValue(PlatformRegistryKey* key, const char* name) {
    if (FindValueLine(*key, name) < 0) return 1;
    std::string content;
    return AllowDiskChange(kDiskRegistry, PathTarget(key->filePath.c_str())) &&
           CheckedText(key, name, LinesWithoutValue(*key, name), nullptr, &content) &&
           ReplaceRegistryFile(key, content);
}

// Texts in the file are Shift_JIS already, so every folder it names has a
// Shift_JIS form.
int OsQueryRegistryFolder(PlatformRegistryKey* key, const char* name, char* folder, size_t capacity) {
    return OsQueryRegistryText(key, name, folder, capacity) ? kRegistryFolderRead : kRegistryFolderMissing;
}

void OsCloseRegistryKey(PlatformRegistryKey* key) {
    delete key;
}
