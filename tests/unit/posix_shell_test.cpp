// The Shell division of the POSIX layer: where the desktop entries go, and
// what one holds.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_text.h"
#include "test_support.h"

namespace {

using PosixShellTest = TempFolderTest;

// folder (a Linux path) as a program path.
std::string ProgramPath(std::string folder) {
    for (char& c : folder) {
        if (c == '/') c = '\\';
    }
    return folder;
}

const char* Utf8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

TEST_F(PosixShellTest, ProgramsFolderFollowsTheXdgDataHome) {
    // Absolute paths are taken below the test's folder; nullptr is unset.
    struct Row { const char* name; const char* dataHome; const char* home; const char* expected; } rows[] = {
        {"XDG_DATA_HOME", "/xdg/", "/home", "/xdg/applications"},
        {"a relative XDG_DATA_HOME is ignored", "xdg", "/home", "/home/.local/share/applications"},
        {"no XDG_DATA_HOME", nullptr, "/home", "/home/.local/share/applications"},
        {"neither", nullptr, nullptr, nullptr},
    };
    const auto below = [this](const char* path) {
        return path == nullptr ? std::string() : path[0] == '/' ? folder_ + path : std::string(path);
    };
    for (const Row& row : rows) {
        const std::string dataHome = below(row.dataHome);
        const std::string home = below(row.home);
        const std::string expected = below(row.expected);
        ScopedEnvironment dataHomeVariable("XDG_DATA_HOME", row.dataHome == nullptr ? nullptr : dataHome.c_str());
        ScopedEnvironment homeVariable("HOME", row.home == nullptr ? nullptr : home.c_str());
        char path[260] = "unchanged";
        EXPECT_EQ(OsGetProgramsFolder(path, sizeof path), row.expected == nullptr ? 0 : 1) << row.name;
        EXPECT_EQ(path, ProgramPath(expected)) << row.name;
        EXPECT_EQ(std::filesystem::is_directory(expected), row.expected != nullptr) << row.name << ": created";
    }
}

TEST_F(PosixShellTest, DesktopEntryQuotesExecAndEscapesValues) {
    // Characters that the Exec quoting, the field codes and the value
    // escapes each must keep literal.
    const std::string game = ProgramPath(folder_) + "\\a \"b\" `$c` 50%";
    const std::string target = game + "\\表示.exe";
    const std::string working = game + "\\ソフト";
    const std::string icon = game + "\\表.ico";
    ShellLinkProperties link{target.c_str(), " 表示 100%", "-w %1", working.c_str(), icon.c_str(), 0, 1};
    ASSERT_EQ(OsWriteShellLink("表示.lnk", link), 1);
    std::string text;
    ASSERT_TRUE(ReadTestFile("表示.desktop", &text));
    const std::string native = folder_ + "/a \"b\" `$c` 50%";
    const std::string quoted = folder_ + "/a \\\\\"b\\\\\" \\\\`\\\\$c\\\\` 50%%";
    EXPECT_EQ(text, Utf8(u8"[Desktop Entry]\nType=Application\nName=表示\nComment=\\s表示 100%\nExec=xdg-open \"") +
                        quoted + Utf8(u8"/表示.exe\"\nPath=") + native + Utf8(u8"/ソフト\nIcon=") + native +
                        Utf8(u8"/表.ico\n"));

    // A target that runs is started itself, with its arguments.
    ASSERT_TRUE(MakeTestFolder(game.c_str()));
    ASSERT_TRUE(WriteTestFile(target.c_str(), "#!/bin/sh\n"));
    std::filesystem::permissions(NativeTestPath(target.c_str()), std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    ASSERT_EQ(OsWriteShellLink("表示.lnk", link), 1);
    ASSERT_TRUE(ReadTestFile("表示.desktop", &text));
    EXPECT_NE(text.find("\nExec=\"" + quoted + Utf8(u8"/表示.exe\" -w %%1\n")), std::string::npos) << text;
}

}  // namespace

// The log and the diagnostics show paths as Linux writes them; a registry
// key's path keeps its backslashes, and a trail byte 0x5C is no separator.
TEST(LinuxSeparators, TurnPathSeparatorsButNotRegistryKeys) {
    struct Row { const char* line; const char* shown; } rows[] = {
        {"written /home/p/game\\bin\\x.exe", "written /home/p/game/bin/x.exe"},
        {"program folder: \\home\\p\\patch\\", "program folder: /home/p/patch/"},
        {"key HKEY_CURRENT_USER\\Software\\X is missing", "key HKEY_CURRENT_USER\\Software\\X is missing"},
        {"no key [HKEY_CURRENT_USER\\S] in /r\\a", "no key [HKEY_CURRENT_USER\\S] in /r/a"},
        {"saved /g\\ソフト\\表.dat", "saved /g/ソフト/表.dat"},
    };
    for (const Row& row : rows) EXPECT_EQ(WithLinuxSeparators(row.line), row.shown) << row.line;
}
