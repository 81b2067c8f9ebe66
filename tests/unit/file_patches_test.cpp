#include "convert/file_patches.h"

#include <gtest/gtest.h>

#include <string>

#include "script/rule_statements.h"
#include "script/rule_tables.h"
#include "test_support.h"

// Sources are compiled with a CP932 execution charset: 表 has a '\' as its
// second byte.

namespace {

// 200 bytes: a file name of up to 58 bytes fits the 259-byte path limit.
const std::string kGame(200, 'g');

class FilePatchesTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        ClearFilePatches();
        ASSERT_TRUE(MakeTestFolder(kGame.c_str()));
    }

    static std::string InGame(const std::string& name) { return kGame + "\\" + name; }

    // Stores the statement after ConvertFile, held as a script holds it.
    static void Statement(const std::string& statement) {
        ASSERT_EQ(ReadRuleStatement((statement + std::string(16, '\0')).c_str(), nullptr), 1) << statement;
    }

    // The content of a file below the install folder, or "<missing>".
    static std::string Installed(const std::string& name) {
        std::string content;
        return ReadTestFile(InGame(name).c_str(), &content) ? content : "<missing>";
    }
};

TEST_F(FilePatchesTest, PatchesLandAtTheirOffsetsInScriptOrder) {
    ASSERT_TRUE(MakeTestFolder(InGame("data").c_str()));
    ASSERT_TRUE(WriteTestFile(InGame("a.bin").c_str(), "0123456789"));
    ASSERT_TRUE(WriteTestFile(InGame("data\\sys.bin").c_str(), "abcdef"));
    ASSERT_TRUE(WriteTestFile(InGame("表示.dat").c_str(), "xxxx"));
    ASSERT_TRUE(WriteTestFile(InGame("short.bin").c_str(), "ab"));
    Statement("BINARY=a.bin,2,4142");
    Statement("ASCII=a.bin,3,\"X Z\"");         // overlaps the one before
    Statement("BINARY=a.bin,-1,5A");            // skipped; the step goes on
    Statement("BINARY=a.bin,9,7");              // length 0
    Statement("ASCII=data\\sys.bin,0x5,Q");
    Statement("BINARY=表示.dat,1,3031");
    Statement("BINARY=short.bin,4,7E");         // beyond the end
    ApplyFilePatches(kGame.c_str());
    EXPECT_EQ(Installed("a.bin"), "01AX Z6789");
    EXPECT_EQ(Installed("data\\sys.bin"), "abcdeQ");
    EXPECT_EQ(Installed("表示.dat"), "x01x");
    EXPECT_EQ(Installed("short.bin"), std::string("ab\0\0~", 5));
}

TEST_F(FilePatchesTest, FileThatCannotBeOpenedEndsTheStep) {
    const std::string tooLong(59, 'x');  // 200 + 1 + 59 = 260 bytes
    // Where the system allows such a path, the file exists: its length alone
    // stops the step.
    WriteTestFile(InGame(tooLong).c_str(), "long");
    ASSERT_TRUE(MakeTestFolder(InGame("folder").c_str()));
    struct Row { const char* name; std::string third; } rows[] = {
        {"missing file", "BINARY=missing.bin,0,41"},
        {"missing file, length 0", "BINARY=missing.bin,0,"},
        {"a folder", "BINARY=folder,0,41"},
        {"path beyond 259 bytes", "BINARY=" + tooLong + ",0,41"},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(WriteTestFile(InGame("f1.bin").c_str(), "...."));
        ASSERT_TRUE(WriteTestFile(InGame("f2.bin").c_str(), "...."));
        ASSERT_TRUE(WriteTestFile(InGame("f4.bin").c_str(), "...."));
        ClearFilePatches();
        Statement("BINARY=f1.bin,0,31");
        Statement("BINARY=f2.bin,1,32");
        Statement(row.third);
        Statement("BINARY=f4.bin,2,34");
        Statement("BINARY=f1.bin,3,35");
        ApplyFilePatches(kGame.c_str());
        EXPECT_EQ(Installed("f1.bin"), "1...") << row.name;
        EXPECT_EQ(Installed("f2.bin"), ".2..") << row.name;
        EXPECT_EQ(Installed("f4.bin"), "....") << row.name;
        EXPECT_EQ(Installed("missing.bin"), "<missing>") << row.name << ": never created";
    }
}

}  // namespace
