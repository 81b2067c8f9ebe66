#include "install/shortcuts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/platform.h"
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

    std::string LinkPath(const std::string& name) const { return brandFolder_ + "\\" + kGameMenu + "\\" + name; }
    std::string Installed(const char* name) const { return name[0] == '\0' ? "" : install_ + "\\" + name; }
    bool BrandFolderExists() const { return std::filesystem::exists(NativeTestPath(brandFolder_.c_str())); }

#ifndef _WIN32
    std::optional<ScopedEnvironment> dataHome_;
#endif
    std::string brand_;        // BrandMenuFolder
    std::string brandFolder_;  // its path in the Programs folder
    std::string install_;      // the install folder, absolute
};

TEST_F(ShortcutsTest, LinksCarryTheirEntrysProperties) {
    struct Row {
        const char* name;
        const char* fields[6];  // link name, target, arguments, description, icon file, subfolder
        const char* target;     // expected, below the install folder
        const char* working;    // expected, below the install folder; "" for none
        const char* icon;       // likewise
    } rows[] = {
        {"target alone", {"Game.lnk", "Game.exe", "", "", "", ""}, "Game.exe", "", ""},
        {"subfolder, icon and arguments", {"Config.lnk", "Config.exe", "-window", "Settings", "Game.ico", "tools"},
         "tools\\Config.exe", "tools", "Game.ico"},
        {"Japanese names", {"表示設定.lnk", "表示.exe", "--表", "ソフトの表示を設定します", "ソフト\\表.ico", "ソフト"},
         "ソフト\\表示.exe", "ソフト", "ソフト\\表.ico"},
    };
    for (const Row& row : rows) {
        const char* const* f = row.fields;
        ASSERT_EQ(AddShortcutEntry(f[0], f[1], f[2], f[3], f[4], f[5]), kPlanRecordAdded) << row.name;
    }
    CreateShortcuts(install_.c_str(), brand_.c_str(), kGameMenu);
    for (const Row& row : rows) {
        TestShortcut link;
        ASSERT_TRUE(ReadTestShortcut(LinkPath(row.fields[0]).c_str(), &link)) << row.name;
        EXPECT_EQ(link.target, Installed(row.target)) << row.name;
        EXPECT_EQ(link.arguments, row.fields[2]) << row.name;
        EXPECT_EQ(link.description, row.fields[3]) << row.name;
        EXPECT_EQ(link.workingFolder, Installed(row.working)) << row.name;
        EXPECT_EQ(link.icon, Installed(row.icon)) << row.name;
#ifdef _WIN32
        EXPECT_EQ(link.iconIndex, 0) << row.name;
        EXPECT_EQ(link.showCommand, 1) << row.name;
#endif
    }
}

TEST_F(ShortcutsTest, SecondEntryOfOneLinkNameWins) {
    AddShortcutEntry("Game.lnk", "Old.exe", "-old", "old", "Old.ico", "old");
    AddShortcutEntry("Game.lnk", "Game.exe", "", "new", "", "");
    CreateShortcuts(install_.c_str(), brand_.c_str(), kGameMenu);
    TestShortcut link;
    ASSERT_TRUE(ReadTestShortcut(LinkPath("Game.lnk").c_str(), &link));
    EXPECT_EQ(link.target, Installed("Game.exe"));
    EXPECT_EQ(link.arguments, "");
    EXPECT_EQ(link.description, "new");
    EXPECT_EQ(link.workingFolder, "");
    EXPECT_EQ(link.icon, "");
}

TEST_F(ShortcutsTest, SkippedEntriesCreateNothing) {
    // The game menu folder's path takes 259 bytes with fullMenu.
    const std::string fullMenu(258 - brandFolder_.size(), 'm');
    struct Row { const char* name; bool entry; std::string install, menu; const char* link, *icon; } rows[] = {
        {"an empty shortcut list", false, install_, kGameMenu, "Game.lnk", ""},
        {"no link name", true, install_, kGameMenu, "", ""},
        {"menu folder path beyond 259 bytes", true, install_, fullMenu + "m", "Game.lnk", ""},
        {"link path beyond 259 bytes", true, install_, fullMenu, "Game.lnk", ""},
        {"target path beyond 259 bytes", true, std::string(251, 'i'), kGameMenu, "Game.lnk", ""},
        {"icon path beyond 259 bytes", true, std::string(250, 'i'), kGameMenu, "Game.lnk", "Game.ico1"},
    };
    for (const Row& row : rows) {
        ClearPlanTables();
        if (row.entry) AddShortcutEntry(row.link, "Game.exe", "", "", row.icon, "");
        CreateShortcuts(row.install.c_str(), brand_.c_str(), row.menu.c_str());
        EXPECT_FALSE(BrandFolderExists()) << row.name;
    }
}

#ifndef _WIN32
TEST_F(ShortcutsTest, NoProgramsFolderNoLink) {
    ScopedEnvironment noDataHome("XDG_DATA_HOME", nullptr);
    ScopedEnvironment noHome("HOME", nullptr);
    AddShortcutEntry("Game.lnk", "Game.exe", "", "", "", "");
    EXPECT_EQ(MakeShortcut(g_shortcutTable.records[0], install_.c_str(), brand_.c_str(), kGameMenu), 0);
    // Nothing made from the empty folder: no brand folder at the root.
    EXPECT_FALSE(std::filesystem::exists(NativeTestPath(("\\" + brand_).c_str())));
}
#endif

}  // namespace
