#include "script/script_loader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "script/rule_tables.h"
#include "package/package_format.h"
#include "script/update_plan.h"
#include "test_support.h"

namespace {

int Load(const std::string& script) {
    return LoadUpdateScriptText(script.data(), static_cast<uint32_t>(script.size()), nullptr);
}

std::string Repeat(const std::string& line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += line;
    return text;
}

TEST(LoadScriptText, SetsEachSettingAndKeepsTheLastOccurrence) {
    // The end-to-end runs load AppTitle, Registory and the versions in their
    // plain forms; these are the other forms.
    const std::string script =
        "AppTitle = \"My Long Game Title\"\r\n"
        "BrandMenuFolder = ブランド\r\n"
        "GameMenuFolder=Game\r\n"
        "SupportVersion = 0x3E8,b1111101000\r\n"
        "SaveVersion = 1010,\r\n"
        "  1011\r\n"
        "AppTitle = Short\r\n";
    ASSERT_EQ(Load(script), kScriptLoaded);
    EXPECT_STREQ(g_settings.appTitle, "Short");
    EXPECT_STREQ(g_settings.brandMenuFolder, "ブランド");
    EXPECT_STREQ(g_settings.gameMenuFolder, "Game");
    EXPECT_EQ(g_settings.supportVersion.standard, 1000u);
    EXPECT_EQ(g_settings.supportVersion.addContents, 1000u);
    EXPECT_EQ(g_settings.saveVersion.standard, 1010u);
    EXPECT_EQ(g_settings.saveVersion.addContents, 1011u);
}

TEST(LoadScriptText, ValueOnTheNextLineKeepsThatLineFromRunning) {
    ASSERT_EQ(Load("AppTitle =\nBrandMenuFolder = X\n"), kScriptLoaded);
    EXPECT_STREQ(g_settings.appTitle, "BrandMenuFolder");
    EXPECT_STREQ(g_settings.brandMenuFolder, "");

    ASSERT_EQ(Load("AppTitle =   \r\n"), kScriptLoaded);
    EXPECT_STREQ(g_settings.appTitle, "");

    ASSERT_EQ(Load("NewVersion = 1020\n1021\nAppTitle = T"), kScriptLoaded);
    EXPECT_EQ(g_settings.newVersion.addContents, 1021u);
    EXPECT_STREQ(g_settings.appTitle, "T");
}

TEST(LoadScriptText, MalformedStatementsFailWithResultFour) {
    struct Row { const char* name; std::string script; } rows[] = {
        {"text setting without =", "AppTitle My Game\n"},
        {"= only on the next line", "Registory\n= Software\n"},
        {"version pair without second value", "NewVersion = 1020\n"},
        {"version pair with a word for a value", "NewVersion = 1020, next\n"},
        {"CopyFile without =", "CopyFile a.dat, b.dat, c.dat\n"},
        {"malformed rule statement", "ConvertSave BGMNO = 100, x, 5\n"},
        {"setting of 260 bytes", "AppTitle = " + std::string(260, 't') + "\n"},
        {"CopyFile destination of 64 bytes", "CopyFile = a, b, " + std::string(64, 'd') + "\n"},
        {"CopyFile source beyond its scratch", "CopyFile = " + std::string(1024, 's') + ", b, c\n"},
        {"DeleteFile name of 64 bytes", "DeleteFile = " + std::string(64, 'n') + "\n"},
        {"RenameFile old name of 64 bytes", "RenameFile = " + std::string(64, 'o') + ", b\n"},
        {"Shortcut subfolder of 64 bytes", "Shortcut = a, b, c, d, e, " + std::string(64, 'f') + "\n"},
        {"zero byte inside the text", std::string("AppTitle = A\n\0DeleteFile = x\n", 29)},
        // Names that would leave their folder.
        {"CopyFile destination above the install", "CopyFile = a, a, ..\\a\n"},
        {"CopyFile source from a drive", "CopyFile = C:\\Windows\\a, a, a\n"},
        {"DeleteFile of a root path", "DeleteFile = \\Windows\\win.ini\n"},
        {"DeleteFile of a Linux path", "DeleteFile = /etc/hostname\n"},
        {"RenameFile to a folder above", "RenameFile = a, data\\..\\..\\a\n"},
        {"Shortcut link above the menu", "Shortcut = ..\\a.lnk, b, c, , , \"\"\n"},
        {"Shortcut subfolder of three dots", "Shortcut = a.lnk, b, c, , , ...\n"},
        {"menu folder above the Programs folder", "BrandMenuFolder = ..\n"},
        {"patch of a file above", "ConvertFile BINARY = ..\\a.dat, 0, 00\n"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Load(row.script), kScriptMalformed) << row.name;
    }
}

TEST(LoadScriptText, NamesThatJustFitAreKept) {
    const std::string name63(63, 'n');
    const std::string setting259(259, 's');
    ASSERT_EQ(Load("AppTitle = " + setting259 + "\nDeleteFile = " + name63 + "\nCopyFile = " + name63 + "," +
                   name63 + "," + name63 + "\n"),
              kScriptLoaded);
    EXPECT_EQ(std::string(g_settings.appTitle), setting259);
    EXPECT_EQ(std::string(g_deleteTable.records[0].fileName), name63);
    EXPECT_EQ(std::string(g_copyTable.records[0].destination), name63);
}

TEST(LoadScriptText, CopyFileFieldsAndMissingTrailingFields) {
    ASSERT_EQ(Load("CopyFile = std\\a.dat , \"add a.dat\",data\\a.dat\nCopyFile = b.dat"), kScriptLoaded);
    ASSERT_EQ(g_copyTable.count, 2u);
    EXPECT_STREQ(g_copyTable.records[0].standardSource, "std\\a.dat");
    EXPECT_STREQ(g_copyTable.records[0].addContentsSource, "add a.dat");
    EXPECT_STREQ(g_copyTable.records[0].destination, "data\\a.dat");
    EXPECT_STREQ(g_copyTable.records[1].standardSource, "b.dat");
    EXPECT_STREQ(g_copyTable.records[1].addContentsSource, "");
    EXPECT_STREQ(g_copyTable.records[1].destination, "");

    // The fields run on over the line end: DeleteFile becomes the second
    // field and is never run.
    ASSERT_EQ(Load("CopyFile = a.dat\nDeleteFile = x"), kScriptLoaded);
    ASSERT_EQ(g_copyTable.count, 1u);
    EXPECT_STREQ(g_copyTable.records[0].addContentsSource, "DeleteFile");
    EXPECT_STREQ(g_copyTable.records[0].destination, "");
    EXPECT_EQ(g_deleteTable.count, 0u);
}

TEST(LoadScriptText, ShortcutFieldsInRecordOrderAndMissingAtTheEnd) {
    ASSERT_EQ(Load("Shortcut = Game.lnk, Play, game.exe, -window, game.ico, bin\nShortcut = Only.lnk"),
              kScriptLoaded);
    ASSERT_EQ(g_shortcutTable.count, 2u);
    const ShortcutEntry& entry = g_shortcutTable.records[0];
    EXPECT_STREQ(entry.linkName, "Game.lnk");
    EXPECT_STREQ(entry.description, "Play");
    EXPECT_STREQ(entry.target, "game.exe");
    EXPECT_STREQ(entry.arguments, "-window");
    EXPECT_STREQ(entry.iconFile, "game.ico");
    EXPECT_STREQ(entry.subfolder, "bin");
    // Five missing fields step five bytes past the terminator. Under the
    // address sanitizer a scan past the buffer would stop the test.
    EXPECT_STREQ(g_shortcutTable.records[1].linkName, "Only.lnk");
    EXPECT_STREQ(g_shortcutTable.records[1].subfolder, "");
}

TEST(LoadScriptText, IgnoresLinesWhoseFirstWordIsNoDirective) {
    // A first word longer than the lexer's scratch is cut and looked up.
    const std::string script = std::string(3000, ';') + " CopyFile = a\n"
                               "; comment\n"
                               "// CopyFile = a, b, c\n"
                               "REM DeleteFile = x\n"
                               "copyfile = a.dat\n"
                               "BGMNO = 100, 200, 5\n"
                               "Label = anything\n"
                               "\n"
                               "   \t\n"
                               "DeleteFile = kept.dat\n"
                               "DeleteFile" + std::string(2000, 'x') + " = cut.dat\n";
    ASSERT_EQ(Load(script), kScriptLoaded);
    EXPECT_EQ(g_copyTable.count, 0u);
    EXPECT_EQ(g_convertRuleTable.count, 0u);
    ASSERT_EQ(g_deleteTable.count, 2u);
    EXPECT_STREQ(g_deleteTable.records[0].fileName, "kept.dat");
    EXPECT_STREQ(g_deleteTable.records[1].fileName, "cut.dat");
}

TEST(LoadScriptText, PlanRecordsPastTheCapacityAreDropped) {
    ASSERT_EQ(Load(Repeat("DeleteFile = x.dat\n", 300) + "RenameFile = a, b\n"), kScriptLoaded);
    EXPECT_EQ(g_deleteTable.count, 256u);
    EXPECT_EQ(g_renameTable.count, 1u) << "loading goes on after the dropped records";
    ASSERT_EQ(Load(Repeat("CopyFile = a,b,c\n", 257) + Repeat("Shortcut = l, d, t, a, i, s\n", 257)), kScriptLoaded);
    EXPECT_EQ(g_copyTable.count, 256u);
    EXPECT_EQ(g_shortcutTable.count, 256u);
}

TEST(LoadScriptText, RuleAndPatchTablesFullFailTheLoad) {
    const std::string rule = "ConvertSave BGMNO = 100, 200, 5\n";
    EXPECT_EQ(Load(Repeat(rule, 256)), kScriptLoaded);
    EXPECT_EQ(g_convertRuleTable.count, 256u);
    EXPECT_EQ(Load(Repeat(rule, 257)), kScriptMalformed);
    const std::string patch = "ConvertFile BINARY = a.bin, 0, 00\n";
    EXPECT_EQ(Load(Repeat(patch, 256)), kScriptLoaded);
    EXPECT_EQ(Load(Repeat(patch, 257)), kScriptMalformed);
}

TEST(LoadScriptText, EitherPrefixStoresTheSameRule) {
    ASSERT_EQ(Load("ConvertFile BGMNO=100,200,5\nConvertSave BGMNO=100,200,5\n"
                   "ConvertFile bgmno=1,2,3\nConvertFile SOMETHING=1,2\n"),
              kScriptLoaded);
    ASSERT_EQ(g_convertRuleTable.count, 2u);
    EXPECT_EQ(std::memcmp(&g_convertRuleTable.records[0], &g_convertRuleTable.records[1], sizeof(ConvertRule)), 0);
    EXPECT_EQ(g_convertRuleTable.records[0].kind, uint32_t{kRuleBgmNo});
}

TEST(LoadScriptText, EachLoadStartsFromAnEmptyPlan) {
    ASSERT_EQ(Load("AppTitle = A\nDeleteFile = x\nConvertFile ASCII = a, 0, t\nConvertSave MESSAGE = 1, 2\n"),
              kScriptLoaded);
    ASSERT_EQ(Load("RenameFile = a, b\n"), kScriptLoaded);
    EXPECT_STREQ(g_settings.appTitle, "");
    EXPECT_EQ(g_deleteTable.count, 0u);
    EXPECT_EQ(g_filePatchTable.count, 0u);
    EXPECT_EQ(g_convertRuleTable.count, 0u);
    EXPECT_EQ(g_renameTable.count, 1u);
}

// Finding the script loose or packed is the member reader's; the end-to-end
// runs load packed scripts.
class LoadScriptFile : public TempFolderTest {};

TEST_F(LoadScriptFile, ResultCodesOfOpeningAndReading) {
    EXPECT_EQ(LoadUpdateScript("Update.ini"), kScriptNotFound) << "neither loose nor packed";
    std::string truncated = RawPackage('2', {{"Update.ini", 0, 13}}, "AppTitle = T\n");
    truncated.resize(truncated.size() - 3);
    ASSERT_TRUE(WriteTestFile("UpdateData.dat", truncated));
    EXPECT_EQ(LoadUpdateScript("Update.ini"), kScriptUnreadable) << "a short read";

    // A packed script must match the digest its package lists; the
    // publisher's loose script beside the package is taken as it is.
    std::string damaged = DigestedPackage({{"Update.ini", "AppTitle = T\n"}});
    ASSERT_TRUE(WriteTestFile("UpdateData.dat", damaged));
    EXPECT_EQ(LoadUpdateScript("Update.ini"), kScriptLoaded) << "a whole package";
    damaged[16 + 2 * 40 + 11] ^= 0x20;  // "T" becomes "t": a script that loads
    ASSERT_TRUE(WriteTestFile("UpdateData.dat", damaged));
    EXPECT_EQ(LoadUpdateScript("Update.ini"), kScriptDamaged) << "one bit flipped";

    ASSERT_TRUE(WriteTestFile("Update.ini", ""));
    EXPECT_EQ(LoadUpdateScript("Update.ini"), kScriptLoaded) << "an empty loose script";
    EXPECT_EQ(g_copyTable.count, 0u);

    // Once told as no memory for it.
    std::filesystem::resize_file(NativeTestPath("Update.ini"), kScriptSizeLimit + 1);
    EXPECT_EQ(LoadUpdateScript("Update.ini"), kScriptTooLarge) << "a script beyond the limit";
    EXPECT_STREQ(ScriptLoadMessage(kScriptTooLarge), kScriptMalformedMessage);
}

// A tiny package claiming a script of 64 MiB once made the loader zero-fill
// 64 MiB before the read came up short.
TEST_F(LoadScriptFile, TinyPackageClaimingALargeScriptIsDamagedAndAllocatesLittle) {
    for (uint32_t claimed : {64u << 20, 0xFFFFFFF0u}) {
        std::string huge = RawPackage('2', {{"Update.ini", 0, 13}}, "AppTitle = T\n");
        WriteLittleEndian32(reinterpret_cast<unsigned char*>(&huge[16 + 32 + 4]), claimed);
        ASSERT_TRUE(WriteTestFile("UpdateData.dat", huge));
        TakeLargestAllocation();
        EXPECT_EQ(LoadUpdateScript("Update.ini"), kScriptUnreadable) << claimed;
        EXPECT_LT(TakeLargestAllocation(), 1u << 20) << claimed;
    }
}

}  // namespace
