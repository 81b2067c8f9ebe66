#include "install/shortcuts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/platform_shell.h"
#include "script/update_plan.h"
#include "test_support.h"

// Sources are compiled with a CP932 execution charset: ソ and 表 have a '\'
// as their second byte.

namespace {

constexpr char kGameMenu[] = "白銀の庭";

class ShortcutsTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
#ifndef _WIN32
        // The Programs folder inside the test's folder, never the user's.
        dataHome_.emplace("XDG_DATA_HOME", (folder_ + "/data").c_str());
#endif
        ClearPlanTables();
        char programs[260];
        ASSERT_EQ(OsGetProgramsFolder(programs, sizeof programs), 1);
        // On Windows the real Programs folder of the prefix: a brand folder
        // of this test's own.
        brand_ = "ソフト表 " + std::filesystem::path(folder_).filename().string();
        brandFolder_ = std::string(programs) + "\\" + brand_;
        install_ = folder_ + "\\ゲーム";
        for (char& c : install_) {
            if (c == '/') c = '\\';
        }
    }

    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(NativeTestPath(brandFolder_.c_str()), ignored);
        TempFolderTest::TearDown();
    }

#ifndef _WIN32
    std::optional<ScopedEnvironment> dataHome_;
#endif
    std::string brand_;        // BrandMenuFolder
    std::string brandFolder_;  // its path in the Programs folder
    std::string install_;      // the install folder, absolute
};

// What each link holds is read back by the end-to-end runs: desktop entries
// natively, shell links through IShellLinkW under Wine.
TEST_F(ShortcutsTest, EntryWhosePathsDoNotFitCreatesNothing) {
    // The game menu folder's path takes 259 bytes with fullMenu.
    const std::string fullMenu(258 - brandFolder_.size(), 'm');
    struct Row {
        const char* name;
        bool entry;
        std::string install, menu;
        const char* link, *icon;
        bool made;
    } rows[] = {
        {"every path fits", true, install_, kGameMenu, "Game.lnk", "Game.ico", true},
        {"an empty shortcut list", false, install_, kGameMenu, "Game.lnk", "", false},
        {"no link name", true, install_, kGameMenu, "", "", false},
        {"menu folder path beyond 259 bytes", true, install_, fullMenu + "m", "Game.lnk", "", false},
        {"link path beyond 259 bytes", true, install_, fullMenu, "Game.lnk", "", false},
        {"target path beyond 259 bytes", true, std::string(251, 'i'), kGameMenu, "Game.lnk", "", false},
        {"icon path beyond 259 bytes", true, std::string(250, 'i'), kGameMenu, "Game.lnk", "Game.ico1", false},
    };
    for (const Row& row : rows) {
        std::error_code ignored;
        std::filesystem::remove_all(NativeTestPath(brandFolder_.c_str()), ignored);
        ClearPlanTables();
        if (row.entry) AddShortcutEntry(row.link, "Game.exe", "", "", row.icon, "");
        EXPECT_EQ(CreateShortcuts(row.install.c_str(), brand_.c_str(), row.menu.c_str()), 1) << row.name;
        EXPECT_EQ(std::filesystem::exists(NativeTestPath(brandFolder_.c_str())), row.made) << row.name;
        // The link itself, whose file name each platform gives.
        const auto menu = NativeTestPath((brandFolder_ + "\\" + row.menu).c_str());
        EXPECT_EQ(std::filesystem::is_directory(menu, ignored) && !std::filesystem::is_empty(menu, ignored), row.made)
            << row.name;
    }
}

TEST_F(ShortcutsTest, MenuFolderBlockedByAFileSkipsItsShortcuts) {
    // A file stands where the game's menu folder goes: no run can change
    // that, so the shortcut is passed over, as one whose path is too long.
    ASSERT_TRUE(MakeTestFolder(brandFolder_.c_str()));
    const std::string blocking = brandFolder_ + "\\" + kGameMenu;
    ASSERT_TRUE(WriteTestFile(blocking.c_str(), "x"));
    AddShortcutEntry("Game.lnk", "Game.exe", "", "", "", "");
    EXPECT_EQ(CreateShortcuts(install_.c_str(), brand_.c_str(), kGameMenu), 1);
    std::string content;
    EXPECT_TRUE(ReadTestFile(blocking.c_str(), &content) && content == "x");
}

#ifndef _WIN32
TEST_F(ShortcutsTest, NoProgramsFolderNoLink) {
    ScopedEnvironment noDataHome("XDG_DATA_HOME", nullptr);
    ScopedEnvironment noHome("HOME", nullptr);
    AddShortcutEntry("Game.lnk", "Game.exe", "", "", "", "");
    EXPECT_EQ(MakeShortcut(g_shortcutTable.records[0], install_.c_str(), brand_.c_str(), kGameMenu), 1)
        << "skipped without a failure";
    // Nothing made from the empty folder: no brand folder at the root.
    EXPECT_FALSE(std::filesystem::exists(NativeTestPath(("\\" + brand_).c_str())));
}
#endif

}  // namespace
