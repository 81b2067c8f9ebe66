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

#include <cstdlib>
#include <cstring>
#include <string>

#include "common/sjis_text.h"
#include "platform/disk_change_hook.h"
#include "platform/platform.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_text.h"

namespace {

// The Programs folder --------------------------------------------------------------

// The applications folder as a native path; empty when the environment
// names none.
std::string ApplicationsFolder() {
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

// path as one quoted argument of an Exec line, before the value escaping:
// '"', '`', '$' and '\' take a backslash, and '%' is doubled, as field
// codes start with it.
std::string QuoteExecArgument(const std::string& path) {
    std::string quoted = "\"";
    for (const char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    return quoted + "\"";
}

// arguments as written, with every '%' doubled.
std::string ExecArguments(const std::string& arguments) {
    std::string doubled;
    for (const char c : arguments) {
        if (c == '%') doubled += '%';
        doubled += c;
    }
    return doubled;
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

// The text of the desktop entry for the link named name (Shift_JIS). A
// target that can be run is run; any other (a document) is opened with
// xdg-open. Returns 0 when a text is not valid Shift_JIS.
int DesktopEntryText(const char* name, const ShellLinkProperties& link, std::string* text) {
    std::string utf8Name, description, target, arguments, workingFolder, icon;
    if (!Cp932ToUtf8(name, &utf8Name) || !Cp932ToUtf8(link.description, &description) ||
        !ToNativePath(link.targetPath, &target) || !Cp932ToUtf8(link.arguments, &arguments) ||
        (link.workingFolder != nullptr && !ToNativePath(link.workingFolder, &workingFolder)) ||
        (link.iconPath != nullptr && !ToNativePath(link.iconPath, &icon)))
        return 0;
    struct stat info;
    const bool runnable = stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(target.c_str(), X_OK) == 0;
    std::string exec = runnable ? QuoteExecArgument(target) : "xdg-open " + QuoteExecArgument(target);
    if (runnable && !arguments.empty()) exec += " " + ExecArguments(arguments);
    *text = "[Desktop Entry]\nType=Application\n";
    *text += "Name=" + EscapeValue(ShownName(utf8Name)) + "\n";
    *text += "Comment=" + EscapeValue(description) + "\n";
    *text += "Exec=" + EscapeValue(exec) + "\n";
    if (link.workingFolder != nullptr) *text += "Path=" + EscapeValue(workingFolder) + "\n";
    if (link.iconPath != nullptr) *text += "Icon=" + EscapeValue(icon) + "\n";
    return 1;
}

}  // namespace

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

int OsWriteShellLink(const char* linkPath, const ShellLinkProperties& link) {
    std::string text;
    if (!DesktopEntryText(BaseNameOf(linkPath), link, &text)) return 0;
    // Menus list desktop entries by their suffix. Like every file the update
    // writes, an entry replaces the old one whole.
    std::string native;
    if (!ToNativePath(linkPath, &native)) return 0;
    if (EndsWithNoCase(native, kLinkSuffix)) native.resize(native.size() - std::strlen(kLinkSuffix));
    native += kDesktopSuffix;
    return AllowDiskChange(kDiskLink, PathTarget(native.c_str())) && ReplaceNativeFile(native, text);
}
