#include "check/script_check.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "check/plan_json.h"
#include "script/script_loader.h"
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

    // The lines of report's standard error that are warnings (or not), for
    // the tests of one or the other alone.
    static std::string LinesOf(const ScriptCheckReport& report, bool warnings) {
        std::string lines;
        for (size_t start = 0; start < report.errors.size();) {
            const size_t end = report.errors.find('\n', start);
            const std::string line = report.errors.substr(start, end - start + 1);
            if ((line.find(": warning: ") != std::string::npos) == warnings) lines += line;
            start = end == std::string::npos ? report.errors.size() : end + 1;
        }
        return lines;
    }
    static std::string WarningsOf(const ScriptCheckReport& report) { return LinesOf(report, true); }
};

// What every update needs, for the tests of something else.
const std::string kSoundSettings = "AppTitle = T\nRegistory = Software\\T\nNewVersion = 1020, 1020\n";

TEST_F(ScriptCheckTest, PrintsTheWholePlan) {
    ASSERT_TRUE(WriteTestFile("UpdateData.dat", DigestedPackage({{"a.dat", "A"}})));
    const ScriptCheckReport report = Check(
        "AppTitle = 表示\n"
        "Registory = Software\\Brand\\Game\n"
        "NewVersion = 1020, 1021\n"
        "CreateFolder = data\\sub\n"
        "CopyFile = a.dat, a.dat, data\\a.dat\n"
        "Shortcut = Game.lnk, Play, game.exe, -w, , bin\n"
        "ConvertFile BINARY = game.exe, -16, 0aFF\n"
        "ConvertSave GRAPHSTATUS = 0, -1, chara, scale, 1.5, 0.1\n"
        "ConvertSave GRAPHSTATUS = 0, 9, chara, clip, 0, 0, 640, -1\n"
        "ConvertSave FILENAME = 0, 9, bg01, bg02, Aface1\n");
    EXPECT_EQ(report.status, kCheckPassed);
    EXPECT_EQ(report.errors, "");
    // Fields are named by the statement tables, in the order the script
    // gives them; reals as the shortest decimal that reads back the same.
    EXPECT_EQ(report.output,
              reinterpret_cast<const char*>(u8R"({
  "settings": {
    "AppTitle": "表示",
    "BrandMenuFolder": "",
    "GameMenuFolder": "",
    "NewVersion": {
      "standard": 1020,
      "addContents": 1021
    },
    "Registory": "Software\\Brand\\Game",
    "SupportVersion": {
      "standard": 0,
      "addContents": 0
    },
    "SaveVersion": {
      "standard": 0,
      "addContents": 0
    }
  },
  "createFolders": [
    {
      "folderName": "data\\sub"
    }
  ],
  "copyFiles": [
    {
      "standardSource": "a.dat",
      "addContentsSource": "a.dat",
      "destination": "data\\a.dat"
    }
  ],
  "deleteFiles": [],
  "renameFiles": [],
  "shortcuts": [
    {
      "linkName": "Game.lnk",
      "description": "Play",
      "target": "game.exe",
      "arguments": "-w",
      "iconFile": "",
      "subfolder": "bin"
    }
  ],
  "filePatches": [
    {
      "fileName": "game.exe",
      "offset": -16,
      "length": 2,
      "data": "0aff"
    }
  ],
  "convertRules": [
    {
      "kind": 5,
      "keyword": "GRAPHSTATUS",
      "low": 0,
      "high": 4294967295,
      "graphName": "chara",
      "property": 3,
      "values": [
        1.5,
        0.1,
        0.0,
        0.0
      ]
    },
    {
      "kind": 5,
      "keyword": "GRAPHSTATUS",
      "low": 0,
      "high": 9,
      "graphName": "chara",
      "property": 6,
      "values": [
        0,
        0,
        640,
        -1
      ]
    },
    {
      "kind": 1,
      "keyword": "FILENAME",
      "low": 0,
      "high": 9,
      "oldGraphName": "bg01",
      "newGraphName": "bg02",
      "aCount": 1,
      "cCount": 0,
      "aNames": [
        "face1"
      ],
      "cNames": []
    }
  ]
}
)"));
}

TEST(PlanJson, TextsBecomeValidUtf8WhateverTheirBytes) {
    // Set directly: the script lexer would end a field at some of these.
    std::memset(g_settings.appTitle, 0, sizeof g_settings.appTitle);
    std::strcpy(g_settings.appTitle, "表\\\"\x01\x7F\x81 \xB1\x81");
    std::string json;
    ASSERT_EQ(PlanAsJson(&json), 1);
    // 表 keeps its 0x5C second byte; a lead byte before a space and a lone
    // lead byte at the end become U+FFFD.
    EXPECT_NE(json.find(reinterpret_cast<const char*>(u8"\"AppTitle\": \"表\\\\\\\"\\u0001\x7F\uFFFD ｱ\uFFFD\",")),
              std::string::npos)
        << json;
    g_settings = UpdateSettings{};
}

TEST_F(ScriptCheckTest, ErrorsNameTheStatementAndWhyItFails) {
    struct Row { const char* name; std::string script; std::string errors; } rows[] = {
        {"no '=' in a rule statement", "AppTitle = A\r\nConvertFile BGMNO 100,200,5\r\nDeleteFile = x\r\n",
         "Update.ini(2): error 4: ConvertFile BGMNO needs '=' before its fields\n"
         "    ConvertFile BGMNO 100,200,5\n"},
        {"no '=' in a directive", "AppTitle A\n", "Update.ini(1): error 4: AppTitle needs '=' before its fields\n"
                                                  "    AppTitle A\n"},
        {"no number", "NewVersion = 1020, abc\n",
         "Update.ini(1): error 4: NewVersion: addContents must be a number or a named constant, not \"abc\"\n"
         "    NewVersion = 1020, abc\n"},
        {"a number missing at the end", "NewVersion = 1020",
         "Update.ini(1): error 4: NewVersion: the second number, addContents, is missing: the script ends before "
         "it\n"
         "    NewVersion = 1020\n"},
        {"a number missing before the next line", "NewVersion = 1020\r\nSupportVersion = 1000, 1000\r\n",
         "Update.ini(1): error 4: NewVersion: the second number, addContents, is missing: its line ends before it, "
         "and \"SupportVersion\" on line 2 is no number\n"
         "    NewVersion = 1020\n"},
        {"a name too long for its table", "DeleteFile = " + std::string(64, 'd') + "\n",
         "Update.ini(1): error 4: DeleteFile: fileName is longer than 63 bytes\n"
         "    DeleteFile = " + std::string(64, 'd') + "\n"},
        {"a graph name a save cannot hold",
         "ConvertSave ADDGRAPH = 0, 9, 1, 2, " + std::string(31, 'g') + ", 3\r\n",
         "Update.ini(1): error 4: ConvertSave ADDGRAPH: graphName is longer than 30 bytes\n"
         "    ConvertSave ADDGRAPH = 0, 9, 1, 2, " + std::string(31, 'g') + ", 3\n"},
        {"a folder made outside the install folder", "CreateFolder = ..\\save\n",
         "Update.ini(1): error 4: CreateFolder: folderName \"..\\save\" would leave its folder: a name may not be "
         "absolute, name a drive or hold \"..\"\n"
         "    CreateFolder = ..\\save\n"},
        {"no hexadecimal byte", "ConvertFile BINARY = a.bin, 0, 0A1G\n",
         "Update.ini(1): error 4: ConvertFile BINARY: data \"0A1G\" must be hexadecimal digits (0-9, A-F), two "
         "for each byte\n"
         "    ConvertFile BINARY = a.bin, 0, 0A1G\n"},
        {"an eleventh A item", "ConvertSave FILENAME = 0, 9, a, b" + std::string(", Ax", 0) +
                                   ", A1, A2, A3, A4, A5, A6, A7, A8, A9, A10, A11\n",
         "Update.ini(1): error 4: ConvertSave FILENAME: aNames holds at most 10 names\n"
         "    ConvertSave FILENAME = 0, 9, a, b, A1, A2, A3, A4, A5, A6, A7, A8, A9, A10, A11\n"},
        {"a zero byte", std::string("AppTitle = A\n\0", 14),
         "Update.ini(2): error 4: a zero byte inside the text\n"},
    };
    for (const Row& row : rows) {
        const ScriptCheckReport report = Check(row.script);
        EXPECT_EQ(report.status, kCheckFailed) << row.name;
        EXPECT_EQ(report.output, "") << row.name;
        EXPECT_EQ(report.errors, row.errors) << row.name;
    }

    std::string full;
    for (int i = 0; i < 257; ++i) full += "ConvertSave MESSAGE = 1, 2\n";
    EXPECT_EQ(Check(full).errors, "Update.ini(257): error 4: ConvertSave MESSAGE: its table already holds 256 records\n"
                                  "    ConvertSave MESSAGE = 1, 2\n");

    ASSERT_EQ(std::remove("Update.ini"), 0);
    ScriptCheckReport missing;
    CheckScript(&missing);
    EXPECT_EQ(missing.status, kCheckFailed);
    EXPECT_EQ(missing.errors, "Update.ini: error 1: 設定ファイルが見つかりません。処理を中断します。\n");
}

TEST_F(ScriptCheckTest, WarnsAboutLikelyMistakes) {
    ASSERT_TRUE(WriteTestFile("loose.dat", "L"));
    std::string script =
        "\xEF\xBB\xBF; a comment\r\n"                            // 1: a byte order mark
        "Note: nothing here\r"                                   // 2: a lone CR ends a line
        "copyflies = a.dat\n"                                    // 3: two edits
        "Regestry = Software\\X\n"                               // 4: two edits
        "BGMNO = 1, 2, 3\n"                                      // 5
        "ConvertFile bgmno = 1, 2, 3\n"                          // 6
        "ConvertSave SOMETHING = 1\n"                            // 7
        "CopyFile = loose.dat, , a\n";                           // 8: no add-contents source
    for (int i = 0; i < 257; ++i) script += "RenameFile = a, b\n";  // 9 to 265
    const ScriptCheckReport report = Check(script);
    EXPECT_EQ(WarningsOf(report),
              "Update.ini(1): warning: the script is UTF-8 text; it must be saved as Shift_JIS (code page 932), "
              "or the updater reads its Japanese texts as other characters\n"
              "Update.ini(1): warning: line ignored: the script starts with a UTF-8 byte order mark; it "
              "must be Shift_JIS text\n"
              "Update.ini(3): warning: line ignored: \"copyflies\" is no directive; did you mean CopyFile?\n"
              "Update.ini(4): warning: line ignored: \"Regestry\" is no directive; did you mean Registory?\n"
              "Update.ini(5): warning: line ignored: the rule keyword BGMNO must follow ConvertFile or "
              "ConvertSave\n"
              "Update.ini(6): warning: ConvertFile statement ignored: \"bgmno\" is no rule keyword; rule "
              "keywords are case-sensitive: BGMNO\n"
              "Update.ini(7): warning: ConvertSave statement ignored: \"SOMETHING\" is no rule keyword\n"
              "Update.ini(265): warning: RenameFile dropped: its table already holds 256 records\n"
              "Update.ini(8): warning: CopyFile source \"loose.dat\" (standard edition) is found only loose, not in "
              "UpdateData.dat: it must be shipped beside the updater\n");
}

TEST_F(ScriptCheckTest, WarnsAboutTextsAndNumbersThatDoNotReadAsWritten) {
    ASSERT_TRUE(WriteTestFile("UpdateData.dat", DigestedPackage({{"a.dat", "A"}})));
    struct Row { const char* name; std::string script; std::string warnings; } rows[] = {
        {"saved as UTF-8", "AppTitle = \xE7\x99\xBD\xE9\x8A\x80\n",
         "Update.ini(1): warning: the script is UTF-8 text; it must be saved as Shift_JIS (code page 932), or "
         "the updater reads its Japanese texts as other characters\n"},
        {"no Shift_JIS character", "AppTitle = A\nGameMenuFolder = \x81\x7F\n",
         "Update.ini(2): warning: the script is no valid Shift_JIS text: byte 0x81 starts no character here; "
         "it must be saved as Shift_JIS (code page 932)\n"},
        {"valid Shift_JIS", "AppTitle = 表示ｱ\n", ""},
        {"a version beyond 32 bits", "NewVersion = 99999999999999999999, 0x100000000\n",
         "Update.ini(1): warning: NewVersion: standard 99999999999999999999 is too large for its 32 bits: it "
         "reads as 1661992959\n"
         "Update.ini(1): warning: NewVersion: addContents 0x100000000 is too large for its 32 bits: it reads "
         "as 0\n"},
        {"the largest numbers and -1 read as written",
         "NewVersion = 4294967295, 0xFFFFFFFF\nConvertSave BGMNO = 0, -1, b11111111111111111111111111111111\n"
         "ConvertFile BINARY = a.bin, 2147483647, 00\nConvertFile BINARY = a.bin, -2147483648, 00\n",
         ""},
        {"a signed offset that turns negative", "ConvertFile BINARY = a.bin, 3000000000, 00\n",
         "Update.ini(1): warning: ConvertFile BINARY: offset 3000000000 is too large for its 32 bits: it reads "
         "as -1294967296\n"},
        {"a negative number beyond 32 bits", "ConvertSave MESSAGE = - 4294967297, 1\n",
         "Update.ini(1): warning: ConvertSave MESSAGE: oldMessage - 4294967297 is too large for its 32 bits: it "
         "reads as 4294967295\n"},
        {"a real beyond single precision",
         "ConvertSave GRAPHSTATUS = 0, 9, c, scale, 1" + std::string(40, '0') + ", 1\n",
         "Update.ini(1): warning: ConvertSave GRAPHSTATUS: values 1" + std::string(40, '0') +
             " is too large for a 32-bit real: it reads as infinity\n"},
        {"a field from the next line", "CopyFile = a.dat, a.dat\r\nb.dat\r\n",
         "Update.ini(1): warning: CopyFile: destination is taken from line 2, because this line ends before it; "
         "that line does not run as a statement of its own\n"},
        {"a rule field from the next line", "ConvertSave BGMNO = 1, 2,\n\n 3\n",
         "Update.ini(1): warning: ConvertSave BGMNO: bgmNumber is taken from line 3, because this line ends "
         "before it; that line runs as a statement of its own as well\n"},
        {"missing fields at the end of the text are empty", "Shortcut = a.lnk, b, c.exe", ""},
        {"a version with a point", "SupportVersion = 1.10, 1100\n",
         "Update.ini(1): warning: SupportVersion: standard 1.10 reads as 1: a version is written in thousandths, "
         "without a point (1100 for 1.10)\n"},
        {"a version with a comma", "NewVersion = 1,100, 1,100\n",
         "Update.ini(1): warning: NewVersion: \"1,100\" after its last field, addContents, is not read: a version "
         "holds no comma (1100, not 1,100)\n"},
        {"an odd number of hex digits", "ConvertFile BINARY = a.bin, 0, 0A1\n",
         "Update.ini(1): warning: ConvertFile BINARY: data \"0A1\" has an odd number of hexadecimal digits: its "
         "last, 1, is dropped\n"},
        {"optional values left out", "ConvertSave GRAPHSTATUS = 0, 9, c, clip, 1, 2\nDeleteFile = x\n", ""},
    };
    for (const Row& row : rows) EXPECT_EQ(WarningsOf(Check(row.script)), row.warnings) << row.name;
}

TEST_F(ScriptCheckTest, PackageAndSourcesMustHoldWhatTheUpdateCopies) {
    const std::string script =
        "CopyFile = a.dat, b.dat, a.dat\n"  // 1
        "CopyFile = c.dat, , c.dat\n"       // 2: nothing to copy for add-contents
        "CopyFile = , loose.dat, l.dat\n"  // 3: nothing to copy for the standard edition
        + kSoundSettings;
    ASSERT_TRUE(WriteTestFile("loose.dat", "L"));
    const std::string whole = DigestedPackage({{"a.dat", "AA"}, {"b.dat", "BB"}, {"c.dat", "CC"}});
    std::string damaged = whole;
    damaged[16 + 4 * 40 + 5] ^= 0x01;  // the last byte of c.dat
    struct Row { const char* name; std::string package; int status; std::string errors; } rows[] = {
        {"a whole package", whole, kCheckPassed, ""},
        {"a member that does not match its digest", damaged, kCheckFailed,
         "UpdateData.dat: error: member \"c.dat\" (entry 2) does not match its SHA-256: it is damaged\n"},
        {"a member cut short",
         RawPackage('2', {{"a.dat", 0, 2}, {"b.dat", 2, 2}, {"c.dat", 4, 3}}, "AABBCC"), kCheckFailed,
         "UpdateData.dat: error: member \"c.dat\" (entry 2) runs past the end of the file: it ends at byte 143, "
         "the file has 142 bytes\n"
         "Update.ini(2): error: CopyFile source \"c.dat\" (standard edition) runs past the end of UpdateData.dat: "
         "the package is cut short or damaged\n"},
        {"a member missing", RawPackage('2', {{"a.dat", 0, 2}, {"c.dat", 2, 2}}, "AACC"), kCheckFailed,
         "Update.ini(1): error: CopyFile source \"b.dat\" (add-contents edition) is found neither loose nor in "
         "UpdateData.dat\n"},
        {"an unused entry outside the file",
         RawPackage('2', {{"a.dat", 0, 2}, {"b.dat", 2, 2}, {"c.dat", 4, 2}, {"x.dat", 9, 1}}, "AABBCC"),
         kCheckFailed,
         "UpdateData.dat: error: member \"x.dat\" (entry 3) runs past the end of the file: it ends at byte 186, "
         "the file has 182 bytes\n"},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(WriteTestFile("UpdateData.dat", row.package)) << row.name;
        const ScriptCheckReport report = Check(script);
        EXPECT_EQ(report.status, row.status) << row.name;
        EXPECT_EQ(LinesOf(report, false), row.errors) << row.name;
        EXPECT_NE(report.output, "") << row.name << ": the plan is printed whenever the script loads";
    }

    ASSERT_TRUE(WriteTestFile("UpdateData.dat", RawPackage('2', {{"a.dat", 0, 1}}, "A")));
    EXPECT_EQ(WarningsOf(Check("CopyFile = a.dat, a.dat, a.dat\n" + kSoundSettings)),
              "UpdateData.dat: warning: the package has no digest list (@SHA256SUMS), as one made by another tool: "
              "damage to it cannot be found; make it with updpack create\n");

    ASSERT_TRUE(WriteTestFile("UpdateData.dat", whole));
    const ScriptCheckReport report = Check("CopyFile = a.dat, a.dat, \"\"\n" + kSoundSettings);
    EXPECT_EQ(report.status, kCheckFailed);
    EXPECT_EQ(report.errors,
              "Update.ini(1): error: CopyFile needs three fields: the destination is empty\n");
}

TEST_F(ScriptCheckTest, UpdatesSureToFailAreErrors) {
    ASSERT_TRUE(WriteTestFile("UpdateData.dat", DigestedPackage({{"a.dat", "A"}})));
    const std::string copy = "CopyFile = a.dat, a.dat, a.dat\n";
    struct Row { const char* name; std::string script; std::string errors; } rows[] = {
        {"sound", kSoundSettings + copy, ""},
        {"Registory misspelt", "AppTitle = T\nRegistry = Software\\T\nNewVersion = 1020, 1020\n" + copy,
         "Update.ini(2): error: line ignored: \"Registry\" is no directive; did you mean Registory?\n"
         "Update.ini: error: Registory is missing or empty: every player would be told the game is not "
         "installed\n"},
        {"no AppTitle", "Registory = Software\\T\nNewVersion = 1020, 1020\n" + copy,
         "Update.ini: error: AppTitle is missing or empty: the messages would name no game\n"},
        {"no NewVersion", "AppTitle = T\nRegistory = Software\\T\n" + copy,
         "Update.ini: error: NewVersion is missing or 0: the update would record no version\n"},
        {"no CopyFile", kSoundSettings,
         "Update.ini: error: no CopyFile copies anything for the standard edition: its update always fails with "
         "the write-failure message\n"
         "Update.ini: error: no CopyFile copies anything for the add-contents edition: its update always fails "
         "with the write-failure message\n"},
        {"NewVersion below SupportVersion", kSoundSettings + "SupportVersion = 1000, 1030\n" + copy,
         "Update.ini(3): error: NewVersion 1020 (add-contents edition) is below SupportVersion 1030: no player can "
         "apply it without being refused\n"},
        {"SaveVersion above NewVersion", kSoundSettings + "SaveVersion = 1030, 1030\n" + copy,
         "Update.ini(4): error: SaveVersion 1030 (both editions) is above NewVersion 1020: every player's saves "
         "would be deleted, even on the newest version\n"},
        {"NewVersion not raised", kSoundSettings + "SupportVersion = 1020, 1000\n" + copy,
         "Update.ini(3): warning: NewVersion 1020 (standard edition) equals SupportVersion: the version is not "
         "raised, so every player who can apply the update is asked whether to apply it again\n"},
        {"a directive in the wrong case", kSoundSettings + copy + "Deletefile = old.dat\n",
         "Update.ini(5): error: line ignored: \"Deletefile\" is no directive; directives are case-sensitive: "
         "DeleteFile\n"},
        {"a directive one slip away", kSoundSettings + copy + "RenameFiel = a.dat, b.dat\n",
         "Update.ini(5): error: line ignored: \"RenameFiel\" is no directive; did you mean RenameFile?\n"},
        {"a quoted '=' cuts the arguments", kSoundSettings + copy + "Shortcut = a.lnk, Play, a.exe, \"-mode=window\"\n",
         "Update.ini(5): error: Shortcut: arguments \"-mode=window\" ends at its '=', which ends a field even inside "
         "quotes: it reads as \"-mode\"\n"},
        {"a quoted ',' shifts the fields",
         kSoundSettings + copy + "Shortcut = a.lnk, P, a.exe, \"-w,-f\", a.ico, bin\n",
         "Update.ini(5): error: Shortcut: arguments \"-w,-f\" ends at its ',', which ends a field even inside "
         "quotes: it reads as \"-w\", and the fields after it shift\n"},
        {"a field beyond the last", kSoundSettings + "CopyFile = a.dat, a.dat, a.dat, data\\a.dat\n",
         "Update.ini(4): warning: CopyFile: \"data\\a.dat\" after its last field, destination, is not read\n"},
        {"a statement taken as fields", kSoundSettings + copy + "Shortcut = a.lnk, Play, a.exe\nDeleteFile = x\n",
         "Update.ini(5): error: Shortcut: arguments is taken from line 6, because this line ends before it; the "
         "DeleteFile statement there then never runs\n"},
        {"a setting taken as a value", "AppTitle =\nRegistory = Software\\T\nNewVersion = 1020, 1020\n" + copy,
         "Update.ini(1): error: AppTitle: value is taken from line 2, because this line ends before it; the "
         "Registory statement there then never runs\n"
         "Update.ini: error: Registory is missing or empty: every player would be told the game is not "
         "installed\n"},
        {"one destination twice", kSoundSettings + copy + copy,
         "Update.ini(4): warning: CopyFile: the destination \"a.dat\" is written again by line 5, whose content "
         "stays\n"},
    };
    for (const Row& row : rows) {
        const ScriptCheckReport report = Check(row.script);
        EXPECT_EQ(report.errors, row.errors) << row.name;
        EXPECT_EQ(report.status, row.errors.find("error:") == std::string::npos ? kCheckPassed : kCheckFailed)
            << row.name;
    }
}

}  // namespace
