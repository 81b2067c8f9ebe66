// Test support for the POSIX build: program paths become UTF-8 Linux paths.
#include "test_support.h"

#include <map>
#include <sstream>

#include "platform/posix/posix_text.h"

std::filesystem::path NativeTestPath(const char* path) {
    std::string native;
    if (!ToNativePath(path, &native)) return {};
    return std::filesystem::path(native);
}

namespace {

// A desktop entry value with its escapes undone.
std::string UnescapeValue(const std::string& value) {
    std::string text;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        const char c = value[++i];
        text += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
    }
    return text;
}

// A UTF-8 text as Shift_JIS; a Linux path also with '\' separators.
std::string ProgramText(const std::string& utf8, bool path) {
    std::string text;
    if (!Utf8ToCp932(utf8.c_str(), &text)) return "<not Shift_JIS>";
    for (char& c : text) {
        if (path && c == '/') c = '\\';
    }
    return text;
}

// Exec's doubled '%' as one.
std::string WithoutFieldCodeEscapes(const std::string& text) {
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        plain += text[i];
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
    }
    return plain;
}

}  // namespace

bool ReadTestShortcut(const char* linkPath, TestShortcut* shortcut) {
    std::string content;
    if (!ReadTestFile(linkPath, &content) || content.rfind("[Desktop Entry]\n", 0) != 0) return false;
    std::map<std::string, std::string> values;
    std::istringstream lines(content);
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos) values[line.substr(0, equals)] = UnescapeValue(line.substr(equals + 1));
    }
    // Exec: the quoted target, in which a backslash takes the next character
    // as it is, then the arguments after one space.
    const std::string& exec = values["Exec"];
    if (values["Type"] != "Application" || exec.size() < 2 || exec[0] != '"') return false;
    std::string target;
    size_t i = 1;
    for (; i < exec.size() && exec[i] != '"'; ++i) {
        if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
        target += exec[i];
    }
    if (i == exec.size()) return false;
    const std::string arguments = i + 2 < exec.size() ? exec.substr(i + 2) : "";
    *shortcut = TestShortcut{};
    shortcut->target = ProgramText(WithoutFieldCodeEscapes(target), true);
    shortcut->arguments = ProgramText(WithoutFieldCodeEscapes(arguments), false);
    shortcut->description = ProgramText(values["Comment"], false);
    shortcut->workingFolder = ProgramText(values["Path"], true);
    shortcut->icon = ProgramText(values["Icon"], true);
    return true;
}
