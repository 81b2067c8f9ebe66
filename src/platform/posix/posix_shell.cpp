// The shell on POSIX systems: the applications folder of the freedesktop
// desktop entries stands for the Start menu's Programs folder, and a desktop
// entry for a shell link.
//
// The folder is $XDG_DATA_HOME/applications, else
// $HOME/.local/share/applications, as the XDG base directories have it (a
// relative $XDG_DATA_HOME is ignored). Entries are written in UTF-8 with
// Linux paths, their values escaped as the desktop entry format requires.
//
// Divisions: the Programs folder, desktop entries.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/run_log.h"
#include "common/sjis_text.h"
#include "platform/disk_change_hook.h"
#include "platform/platform_shell.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_text.h"
#include "platform/posix/posix_trial.h"

namespace {

// The Programs folder --------------------------------------------------------------

std::string g_privateProgramsFolder;  // set by updpack try; empty for the user's

// The applications folder as a native path: the private one when updpack try
// set one; empty when the environment names none.
std::string ApplicationsFolder() {
    if (!g_privateProgramsFolder.empty()) return g_privateProgramsFolder;
    std::string base;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome != nullptr && dataHome[0] == '/') {
        base = dataHome;
    } else if (home != nullptr && home[0] == '/') {
        base = std::string(home) + "/.local/share";
    } else {
        return std::string();
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/applications";
}

// Creates folder (a native path) and every missing parent. Returns 1 when it
// is a folder afterwards.
int MakeFolders(const std::string& folder) {
    for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
        mkdir(folder.substr(0, slash).c_str(), 0755);
    mkdir(folder.c_str(), 0755);
    struct stat info;
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Desktop entries ------------------------------------------------------------------

// value escaped as a desktop entry string: backslash and control characters
// as escapes, a leading space as \s so that it is not dropped.
std::string EscapeValue(const std::string& value) {
    std::string escaped;
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\') escaped += "\\\\";
        else if (c == '\n') escaped += "\\n";
        else if (c == '\t') escaped += "\\t";
        else if (c == '\r') escaped += "\\r";
        else if (c == ' ' && i == 0) escaped += "\\s";
        else escaped += c;
    }
    return escaped;
}

// The characters an argument of an Exec line may hold only inside quotes.
constexpr char kReservedInExec[] = " \t\n\"'\\><~|&;$*?#()`";

// word as one argument of an Exec line, before the value escaping: inside
// double quotes when quoted is set or it holds a reserved character (or
// nothing), where '"', '`', '$' and '\' take a backslash; '%' doubled
// everywhere, as field codes start with it.
std::string ExecArgument(const std::string& word, bool quoted) {
    quoted = quoted || word.empty() || word.find_first_of(kReservedInExec) != std::string::npos;
    std::string argument = quoted ? "\"" : "";
    for (const char c : word) {
        if (quoted && (c == '"' || c == '`' || c == '$' || c == '\\')) argument += '\\';
        if (c == '%') argument += '%';
        argument += c;
    }
    if (quoted) argument += '"';
    return argument;
}

// arguments split into words as the start-up code of a Windows program splits
// its command line: blanks outside double quotes separate words; 2n
// backslashes before a quote stand for n, and the quote opens or closes a
// quoted part; 2n+1 stand for n and a literal quote; other backslashes are
// literal. So the words reach the program, through Wine or natively, as they
// would on Windows.
std::vector<std::string> SplitWindowsArguments(const std::string& arguments) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (size_t i = 0; i < arguments.size();) {
        const char c = arguments[i];
        if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
            ++i;
            continue;
        }
        inWord = true;
        if (c == '"') {
            quoted = !quoted;
            ++i;
        } else if (c == '\\') {
            const size_t count = std::min(arguments.find_first_not_of('\\', i), arguments.size()) - i;
            const bool beforeQuote = i + count < arguments.size() && arguments[i + count] == '"';
            word.append(beforeQuote ? count / 2 : count, '\\');
            i += count;
            if (beforeQuote && count % 2 == 1) {
                word += '"';
                ++i;
            }
        } else {
            word += c;
            ++i;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

constexpr char kLinkSuffix[] = ".lnk";
constexpr char kDesktopSuffix[] = ".desktop";

// Whether text ends in suffix, ASCII letters in any case.
bool EndsWithNoCase(const std::string& text, const char* suffix) {
    const size_t length = std::strlen(suffix);
    return text.size() >= length && EqualsNoCase(text.c_str() + text.size() - length, suffix);
}

// The link's name without its ".lnk", as menus show it.
std::string ShownName(std::string name) {
    if (EndsWithNoCase(name, kLinkSuffix)) name.resize(name.size() - std::strlen(kLinkSuffix));
    return name;
}

// Whether target (a native path) names a program Windows runs: on Linux such
// a program runs through Wine.
bool IsWindowsProgram(const std::string& target) {
    return EndsWithNoCase(target, ".exe") || EndsWithNoCase(target, ".bat") || EndsWithNoCase(target, ".com");
}

// The Exec line that starts target (a native path) with arguments (UTF-8): a
// file that can be run is run, a Windows program through wine, each with its
// arguments; any other file (a document) is opened with xdg-open, which takes
// no arguments: *dropped tells whether there were some.
std::string ExecLine(const std::string& target, const std::string& arguments, bool* dropped) {
    struct stat info;
    const bool runnable = stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(target.c_str(), X_OK) == 0;
    const bool windows = !runnable && IsWindowsProgram(target);
    const std::vector<std::string> words = SplitWindowsArguments(arguments);
    std::string exec = runnable ? "" : windows ? "wine " : "xdg-open ";
    exec += ExecArgument(target, true);
    *dropped = !runnable && !windows && !words.empty();
    if (*dropped) return exec;
    for (const std::string& word : words) {
        exec += ' ';
        exec += ExecArgument(word, false);
    }
    return exec;
}

// The text of the desktop entry for the link linkPath (Shift_JIS). Returns 0
// when a text is not valid Shift_JIS.
int DesktopEntryText(const char* linkPath, const ShellLinkProperties& link, std::string* text) {
    std::string utf8Name, description, target, arguments, workingFolder, icon;
    if (!Cp932ToUtf8(BaseNameOf(linkPath), &utf8Name) || !Cp932ToUtf8(link.description, &description) ||
        !ToNativePath(link.targetPath, &target) || !Cp932ToUtf8(link.arguments, &arguments) ||
        (link.workingFolder != nullptr && !ToNativePath(link.workingFolder, &workingFolder)) ||
        (link.iconPath != nullptr && !ToNativePath(link.iconPath, &icon)))
        return 0;
    bool dropped = false;
    const std::string exec = ExecLine(target, arguments, &dropped);
    if (dropped) {
        LogEvent("shortcut %s: arguments \"%s\" dropped: xdg-open opens a document without arguments",
                 OsShellLinkFile(linkPath).c_str(), link.arguments);
    }
    *text = "[Desktop Entry]\nType=Application\n";
    *text += "Name=" + EscapeValue(ShownName(utf8Name)) + "\n";
    *text += "Comment=" + EscapeValue(description) + "\n";
    *text += "Exec=" + EscapeValue(exec) + "\n";
    if (link.workingFolder != nullptr) *text += "Path=" + EscapeValue(workingFolder) + "\n";
    if (link.iconPath != nullptr) *text += "Icon=" + EscapeValue(icon) + "\n";
    return 1;
}

}  // namespace

void SetPrivateProgramsFolder(const std::string& native) {
    g_privateProgramsFolder = native;
}

int OsGetProgramsFolder(char* path, size_t capacity) {
    if (capacity == 0) return 0;
    path[0] = '\0';
    const std::string folder = ApplicationsFolder();
    std::string cp932;
    if (folder.empty() || !MakeFolders(folder) || !Utf8ToCp932(folder.c_str(), &cp932)) return 0;
    // '/' is never the second byte of a double-byte character.
    for (char& c : cp932) {
        if (c == '/') c = '\\';
    }
    if (CopyText(path, capacity, cp932.c_str())) return 1;
    path[0] = '\0';
    return 0;
}

std::string OsShellLinkFile(const char* linkPath) {
    std::string file = linkPath;
    if (EndsWithNoCase(file, kLinkSuffix)) file.resize(file.size() - std::strlen(kLinkSuffix));
    return file + kDesktopSuffix;
}

int OsWriteShellLink(const char* linkPath, const ShellLinkProperties& link) {
    std::string text;
    if (!DesktopEntryText(linkPath, link, &text)) return 0;
    // Menus list desktop entries by their suffix. Like every file the update
    // writes, an entry replaces the old one whole.
    std::string native;
    if (!ToNativePath(OsShellLinkFile(linkPath).c_str(), &native)) return 0;
    return AllowDiskChange(kDiskLink, PathTarget(native.c_str())) && ReplaceNativeFile(native, text);
}
