#include "script/script_check.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "script/update_plan.h"
#include "test_support.h"

namespace {

class ScriptCheckTest : public TempFolderTest {
protected:
    ScriptCheckReport Check(const std::string& script) {
        EXPECT_TRUE(WriteTestFile("Update.ini", script));
        ScriptCheckReport report;
        CheckScript(&report);
        return report;
    }
};

TEST_F(ScriptCheckTest, PrintsTheWholePlan) {
    ASSERT_TRUE(WriteTestFile("UpdateData.dat", RawPackage('2', {{"a.dat", 0, 1}}, "A")));
    const ScriptCheckReport report = Check(
        "AppTitle = Game\n"
        "Registory = Software\\Brand\\Game\n"
        "NewVersion = 1020, 1021\n"
        "CopyFile = a.dat, a.dat, data\\a.dat\n"
        "DeleteFile = old.dat\n"
        "ConvertFile BINARY = game.exe, 0x10, 0aFF\n"
        "ConvertSave GRAPHSTATUS = 0, -1, chara, scale, 1.5, 0.1\n"
        "ConvertSave FILENAME = 0, 9, bg01, bg02, Aface1\n");
    EXPECT_EQ(report.status, kCheckLoaded);
    EXPECT_EQ(report.errors, "");
    EXPECT_EQ(report.output,
              "{\n"
              "  \"settings\": {\n"
              "    \"AppTitle\": \"Game\",\n"
              "    \"BrandMenuFolder\": \"\",\n"
              "    \"GameMenuFolder\": \"\",\n"
              "    \"Registory\": \"Software\\\\Brand\\\\Game\",\n"
              "    \"NewVersion\": {\"standard\": 1020, \"addContents\": 1021},\n"
              "    \"SupportVersion\": {\"standard\": 0, \"addContents\": 0},\n"
              "    \"SaveVersion\": {\"standard\": 0, \"addContents\": 0}\n"
              "  },\n"
              "  \"copyFiles\": [\n"
              "    {\"standardSource\": \"a.dat\", \"addContentsSource\": \"a.dat\", \"destination\": \"data\\\\a.dat\"}\n"
              "  ],\n"
              "  \"deleteFiles\": [\n"
              "    {\"fileName\": \"old.dat\"}\n"
              "  ],\n"
              "  \"renameFiles\": [],\n"
              "  \"shortcuts\": [],\n"
              "  \"filePatches\": [\n"
              "    {\"fileName\": \"game.exe\", \"offset\": 16, \"length\": 2, \"data\": \"0aff\"}\n"
              "  ],\n"
              "  \"convertRules\": [\n"
              "    {\"kind\": 5, \"keyword\": \"GRAPHSTATUS\", \"low\": 0, \"high\": 4294967295, "
              "\"graphName\": \"chara\", \"property\": 3, \"values\": [1.5, 0.100000001, 0, 0]},\n"
              "    {\"kind\": 1, \"keyword\": \"FILENAME\", \"low\": 0, \"high\": 9, \"oldGraphName\": \"bg01\", "
              "\"newGraphName\": \"bg02\", \"aCount\": 1, \"cCount\": 0, \"aNames\": [\"face1\"], \"cNames\": []}\n"
              "  ]\n"
              "}\n");
}

TEST(PlanAsJson, StringsStayValidForAnyBytes) {
    // Set directly: the script lexer would end a field at some of these.
    std::memset(g_settings.appTitle, 0, sizeof g_settings.appTitle);
    std::strcpy(g_settings.appTitle, "表\\\"\x01\x7F\x80\xA0\xFF\xB1\x81");
    const std::string json = PlanAsJson();
    // 表 keeps its 0x5C second byte; a lone lead byte at the end and bytes
    // that start no character become \ufffd.
    EXPECT_NE(json.find("\"AppTitle\": \"表\\\\\\\"\\u0001\x7F\\ufffd\\ufffd\\ufffd\xB1\\ufffd\","),
              std::string::npos)
        << json;
}

TEST_F(ScriptCheckTest, FailureNamesTheResultAndTheStatement) {
    ScriptCheckReport report = Check("AppTitle = A\r\nConvertFile BGMNO 100,200,5\r\nDeleteFile = x\r\n");
    EXPECT_EQ(report.status, kCheckFailed);
    EXPECT_EQ(report.output, "");
    EXPECT_EQ(report.errors,
              "Update.ini(2): error 4: 設定ファイルにエラーがありました。処理を中断します。\n"
              "    ConvertFile BGMNO 100,200,5\n");

    report = Check("ConvertSave ADDGRAPH = 0, 9, 1, 2, a, 3\r\nConvertSave ADDGRAPH = 0, 9, 1, 2, " +
                   std::string(31, 'g') + ", 3\r\n");
    EXPECT_EQ(report.status, kCheckFailed);
    EXPECT_EQ(report.errors,
              "Update.ini(2): error 4: 設定ファイルにエラーがありました。処理を中断します。\n"
              "    ConvertSave ADDGRAPH = 0, 9, 1, 2, " + std::string(31, 'g') + ", 3\n");

    report = Check(std::string("AppTitle = A\n\0", 14));
    EXPECT_EQ(report.status, kCheckFailed);
    EXPECT_EQ(report.errors,
              "Update.ini(2): error 4: 設定ファイルにエラーがありました。処理を中断します。\n"
              "    (a zero byte inside the text)\n");

    ASSERT_EQ(std::remove("Update.ini"), 0);
    ScriptCheckReport missing;
    CheckScript(&missing);
    EXPECT_EQ(missing.status, kCheckFailed);
    EXPECT_EQ(missing.errors, "Update.ini: error 1: 設定ファイルが見つかりません。処理を中断します。\n");
}

TEST_F(ScriptCheckTest, WarnsAboutLikelyMistakes) {
    ASSERT_TRUE(WriteTestFile("UpdateData.dat", RawPackage('2', {{"here.dat", 0, 1}}, "H")));
    ASSERT_TRUE(WriteTestFile("loose.dat", "L"));
    std::string script =
        "\xEF\xBB\xBF; a comment\r\n"                        // 1: a byte order mark
        "Note: nothing here\r"                               // 2: a lone CR ends a line
        "copyfile = a.dat\n"                                 // 3
        "Registry = Software\\X\n"                           // 4
        "BGMNO = 1, 2, 3\n"                                  // 5
        "ConvertFile bgmno = 1, 2, 3\n"                      // 6
        "ConvertSave SOMETHING = 1\n"                        // 7
        "CopyFile = here.dat, loose.dat, a\n"                // 8
        "CopyFile = gone.dat, gone.dat, b\n"                 // 9
        "CopyFile = data\\here.dat, , c\n";                  // 10
    for (int i = 0; i < 257; ++i) script += "RenameFile = a, b\n";  // 11 to 267
    const ScriptCheckReport report = Check(script);
    EXPECT_EQ(report.status, kCheckLoaded);
    EXPECT_EQ(report.errors,
              "Update.ini(1): warning: line ignored: the script starts with a UTF-8 byte order mark; it "
              "must be Shift_JIS text\n"
              "Update.ini(3): warning: line ignored: \"copyfile\" is no directive; directives are "
              "case-sensitive: CopyFile\n"
              "Update.ini(4): warning: line ignored: \"Registry\" is no directive; did you mean Registory?\n"
              "Update.ini(5): warning: line ignored: the rule keyword BGMNO must follow ConvertFile or "
              "ConvertSave\n"
              "Update.ini(6): warning: ConvertFile statement ignored: \"bgmno\" is no rule keyword; rule "
              "keywords are case-sensitive: BGMNO\n"
              "Update.ini(7): warning: ConvertSave statement ignored: \"SOMETHING\" is no rule keyword\n"
              "Update.ini(267): warning: RenameFile dropped: its table already holds 256 records\n"
              "Update.ini(9): warning: CopyFile source \"gone.dat\" (both editions) is found neither loose "
              "nor in UpdateData.dat\n"
              "Update.ini(10): warning: CopyFile source \"\" (add-contents edition) is found neither loose "
              "nor in UpdateData.dat\n");
}

}  // namespace
