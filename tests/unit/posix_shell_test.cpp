// The Shell division of the POSIX layer: where the desktop entries go, and
// what one holds.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/run_log.h"
#include "platform/platform_shell.h"
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

// The log's lines, for the arguments a desktop entry drops.
std::string g_logged;
void KeepLogLine(const char* line) {
    g_logged += line;
    g_logged += '\n';
}

TEST_F(PosixShellTest, DesktopEntryQuotesExecAndEscapesValues) {
    // The game's folder holds characters that the Exec quoting, the field
    // codes and the value escapes each must keep literal.
    const std::string game = ProgramPath(folder_) + "\\a \"b\" `$c` 50%";
    const std::string quoted = folder_ + "/a \\\\\"b\\\\\" \\\\`\\\\$c\\\\` 50%%";
    ASSERT_TRUE(MakeTestFolder(game.c_str()));
    ASSERT_TRUE(WriteTestFile((game + "\\run.sh").c_str(), "#!/bin/sh\n"));
    std::filesystem::permissions(NativeTestPath((game + "\\run.sh").c_str()), std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    struct Row { const char* target; const char* arguments; const char8_t* exec; } rows[] = {
        // A Windows program that cannot run natively runs through Wine with
        // its arguments; one that can, itself.
        {"表示.EXE", "-window -lang ja", u8"wine \"@/表示.EXE\" -window -lang ja"},
        {"run.sh", "-w %1", u8"\"@/run.sh\" -w %%1"},
        {"setup.bat", "", u8"wine \"@/setup.bat\""},
        // Windows' splitting of the arguments, then each word quoted as the
        // Exec line needs: blanks, '"', '`', '$' and '\' (escaped once more
        // as a string value), '%' doubled.
        {"a.com", "-name \"Mr $HOME\" \\\"q\\\" `id` C:\\ゲーム\\ 1%",
         u8"wine \"@/a.com\" -name \"Mr \\\\$HOME\" \"\\\\\"q\\\\\"\" \"\\\\`id\\\\`\" \"C:\\\\\\\\ゲーム\\\\\\\\\" 1%%"},
        {"a.exe", "\"\" a\\\\\\\"b \"c d\"e ~", u8"wine \"@/a.exe\" \"\" \"a\\\\\\\\\\\\\"b\" \"c de\" \"~\""},
        // A document is opened, without arguments.
        {"読んでね.txt", "", u8"xdg-open \"@/読んでね.txt\""},
        {"読んでね.txt", "-x", u8"xdg-open \"@/読んでね.txt\""},
    };
    SetLogFileSink(KeepLogLine);
    for (const Row& row : rows) {
        const std::string target = game + "\\" + row.target;
        const std::string working = game + "\\ソフト";
        const std::string icon = game + "\\表.ico";
        ShellLinkProperties link{target.c_str(), " 表示 100%", row.arguments, working.c_str(), icon.c_str(), 0, 1};
        g_logged.clear();
        ASSERT_EQ(OsWriteShellLink("表示.lnk", link), 1) << row.target;
        std::string text;
        ASSERT_TRUE(ReadTestFile("表示.desktop", &text)) << row.target;
        std::string exec = Utf8(row.exec);
        exec.replace(exec.find('@'), 1, quoted);
        const std::string native = folder_ + "/a \"b\" `$c` 50%";
        EXPECT_EQ(text, Utf8(u8"[Desktop Entry]\nType=Application\nName=表示\nComment=\\s表示 100%\nExec=") + exec +
                            "\nPath=" + native + Utf8(u8"/ソフト\nIcon=") + native + Utf8(u8"/表.ico\n"))
            << row.target << " " << row.arguments;
        EXPECT_EQ(g_logged.find("表示.desktop: arguments \"-x\" dropped") != std::string::npos,
                  std::string(row.arguments) == "-x")
            << g_logged;
    }
    SetLogFileSink(nullptr);
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
