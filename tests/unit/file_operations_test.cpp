#include "install/file_operations.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/failure_note.h"
#include "package/package_format.h"
#include "platform/platform_files.h"
#include "script/update_plan.h"
#include "test_support.h"

namespace {

// 200 bytes: a destination of up to 58 bytes fits the 259-byte path limit.
const std::string kGame(200, 'g');

using Members = std::vector<std::pair<std::string, std::string>>;

// A long-name package holding members, one after the other.
std::string PackageOf(const Members& members) {
    std::vector<RawEntry> entries;
    std::string data;
    for (const auto& [name, content] : members) {
        entries.push_back({name, static_cast<uint32_t>(data.size()), static_cast<uint32_t>(content.size())});
        data += content;
    }
    return RawPackage(kLongNameMarker, entries, data);
}

class FileOperationsTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        ClearPlanTables();
        ASSERT_TRUE(MakeTestFolder(kGame.c_str()));
    }

    static std::string InGame(const std::string& name) { return kGame + "\\" + name; }

    // The content of a file below the install folder, or "<missing>".
    static std::string Installed(const std::string& name) {
        std::string content;
        return ReadTestFile(InGame(name).c_str(), &content) ? content : "<missing>";
    }

    // Runs the copy step and returns its result; *printed receives what the
    // POSIX layer's message boxes printed.
    static int CopyPrinting(std::string* printed) {
        testing::internal::CaptureStdout();
        const int result = ApplyCopyList(nullptr, kGame.c_str(), 0);
        *printed = testing::internal::GetCapturedStdout();
        return result;
    }
};

// Messages show as modal boxes on Windows, where the Wine end-to-end tests
// answer them; here they are read from standard output.
class CopyFailureTest : public FileOperationsTest {
protected:
    void SetUp() override {
        FileOperationsTest::SetUp();
#ifdef _WIN32
        GTEST_SKIP() << "message boxes are modal on Windows";
#endif
    }
};

TEST_F(FileOperationsTest, CopiesTheEditionsSourceLooseBeforePacked) {
    ASSERT_TRUE(WriteTestFile(kPackageFileName, PackageOf({{"one.dat", "packed one"}, {"alt.dat", "packed alt"},
                                                           {"two.dat", "packed two"}, {"op.ogg", "packed ogg"}})));
    ASSERT_TRUE(WriteTestFile("two.dat", "loose two"));
    ASSERT_TRUE(MakeTestFolder(InGame("sub").c_str()));
    struct Row { const char* name; uint32_t addContents; std::string a, b, c, d; } rows[] = {
        {"standard edition", 0, "packed one", "loose two", "packed ogg", "packed one"},
        {"add-contents edition", 1, "packed alt", "loose two", "packed ogg", "<missing>"},
    };
    for (const Row& row : rows) {
        for (const char* name : {"a.dat", "b.dat", "sub\\op.ogg", "d.dat"}) OsDeleteFile(InGame(name).c_str());
        ClearPlanTables();
        AddCopyEntry("one.dat", "alt.dat", "a.dat");
        AddCopyEntry("two.dat", "two.dat", "b.dat");
        AddCopyEntry("bgm\\op.ogg", "bgm\\op.ogg", "sub\\op.ogg");
        AddCopyEntry("one.dat", "", "d.dat");  // nothing to copy for add-contents
        EXPECT_EQ(ApplyCopyList(nullptr, kGame.c_str(), row.addContents), 1) << row.name;
        EXPECT_EQ(Installed("a.dat"), row.a) << row.name;
        EXPECT_EQ(Installed("b.dat"), row.b) << row.name;
        EXPECT_EQ(Installed("sub\\op.ogg"), row.c) << row.name;
        EXPECT_EQ(Installed("d.dat"), row.d) << row.name;
    }
}

TEST_F(FileOperationsTest, DestinationHoldsExactlyTheNewContent) {
    // Bytes that differ from position to position, over several chunks.
    std::string large(3 * 1024 * 1024 + 123, '\0');
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 + i / 4096);
    ASSERT_TRUE(WriteTestFile(kPackageFileName,
                              PackageOf({{"new.dat", "new"}, {"large.dat", large}, {"tail.dat", "tail"}})));
    ASSERT_TRUE(WriteTestFile("zero.dat", ""));
    ASSERT_TRUE(WriteTestFile(InGame("long.dat").c_str(), "a much longer old content"));
    ASSERT_TRUE(WriteTestFile(InGame("full.dat").c_str(), "old"));
    AddCopyEntry("new.dat", "", "long.dat");
    AddCopyEntry("zero.dat", "", "full.dat");
    AddCopyEntry("zero.dat", "", "created.dat");
    AddCopyEntry("large.dat", "", "large.dat");
    AddCopyEntry("tail.dat", "", "twice.dat");
    AddCopyEntry("new.dat", "", "twice.dat");  // the later entry's content stays
    EXPECT_EQ(ApplyCopyList(nullptr, kGame.c_str(), 0), 1);
    EXPECT_EQ(Installed("twice.dat"), "new");
    EXPECT_EQ(Installed("long.dat"), "new");
    EXPECT_EQ(Installed("full.dat"), "");
    EXPECT_EQ(Installed("created.dat"), "");
    EXPECT_TRUE(Installed("large.dat") == large);
}

TEST_F(FileOperationsTest, FoldersAreMadeWithTheirParentsBeforeTheCopies) {
    ASSERT_TRUE(WriteTestFile(kPackageFileName, PackageOf({{"op.dat", "opening"}})));
    ASSERT_TRUE(MakeTestFolder(InGame("data").c_str()));
    ASSERT_TRUE(WriteTestFile(InGame("data\\kept.dat").c_str(), "kept"));
    AddCreateFolderEntry("movie\\op");
    AddCreateFolderEntry("data");          // there already
    AddCreateFolderEntry("a\\\\b\\");     // a doubled and a trailing separator name no folder
    AddCreateFolderEntry("");
    AddCopyEntry("op.dat", "", "movie\\op\\op.dat");
    EXPECT_EQ(ApplyCopyList(nullptr, kGame.c_str(), 0), 1);
    EXPECT_EQ(Installed("movie\\op\\op.dat"), "opening");
    EXPECT_EQ(Installed("data\\kept.dat"), "kept");
    EXPECT_TRUE(std::filesystem::is_directory(NativeTestPath(InGame("a\\b").c_str())));
}

TEST_F(CopyFailureTest, AFolderThatCannotBeMadeStopsTheCopy) {
    ASSERT_TRUE(WriteTestFile(kPackageFileName, PackageOf({{"op.dat", "opening"}})));
    ASSERT_TRUE(WriteTestFile(InGame("movie").c_str(), "a file in the way"));
    AddCopyEntry("op.dat", "", "op.dat");
    AddCreateFolderEntry("movie\\op");
    std::string printed;
    EXPECT_EQ(CopyPrinting(&printed), 0);
    EXPECT_EQ(printed, reinterpret_cast<const char*>(u8"[エラー]\nファイルが書き込めません。[movie\\op]\n"));
    EXPECT_EQ(Installed("op.dat"), "<missing>") << "no copy is written";
}

TEST_F(FileOperationsTest, EmptyCopyListFailsWithoutMessage) {
    std::string printed;
    EXPECT_EQ(CopyPrinting(&printed), 0);
    EXPECT_EQ(printed, "");
}

TEST_F(CopyFailureTest, FailingEntryStopsTheCopyWithItsMessage) {
    // cut.dat is the package's last member and loses its last bytes.
    std::string package = PackageOf({{"m1.dat", "one"}, {"m2.dat", "two"}, {"m3.dat", "three"},
                                     {"m4.dat", "four"}, {"m5.dat", "five"}, {"cut.dat", "whole"}});
    package.resize(package.size() - 2);
    const std::string tooLong(59, 'x');  // 200 + 1 + 59 = 260 bytes
    // checkedBeforeWriting: the failure is found before any entry is written.
    struct Row { const char* name; const char* source; std::string destination; bool checkedBeforeWriting; } rows[] = {
        {"destination folder missing", "m3.dat", "nosub\\d3.dat", false},
        {"source found nowhere", "missing.dat", "d3.dat", true},
        {"member cut short", "cut.dat", "d3.dat", true},
        {"path beyond 259 bytes", "m3.dat", tooLong, true},
        {"no destination", "m3.dat", "", true},
        {"destination is the loose source", "own.dat", "..\\own.dat", true},
        {"destination is the package", "m3.dat", std::string("..\\") + kPackageFileName, true},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(WriteTestFile(kPackageFileName, package));
        ASSERT_TRUE(WriteTestFile("own.dat", "own"));
        for (const char* name : {"d1.dat", "d2.dat", "d4.dat", "d5.dat"}) OsDeleteFile(InGame(name).c_str());
        ClearPlanTables();
        AddCopyEntry("m1.dat", "", "d1.dat");
        AddCopyEntry("m2.dat", "", "d2.dat");
        AddCopyEntry(row.source, "", row.destination.c_str());
        AddCopyEntry("m4.dat", "", "d4.dat");
        AddCopyEntry("m5.dat", "", "d5.dat");
        std::string printed;
        EXPECT_EQ(CopyPrinting(&printed), 0) << row.name;
        EXPECT_EQ(printed, reinterpret_cast<const char*>(u8"[エラー]\nファイルが書き込めません。[") + row.destination + "]\n")
            << row.name;
        EXPECT_EQ(Installed("d1.dat"), row.checkedBeforeWriting ? "<missing>" : "one") << row.name;
        EXPECT_EQ(Installed("d2.dat"), row.checkedBeforeWriting ? "<missing>" : "two") << row.name;
        EXPECT_EQ(Installed("d4.dat"), "<missing>") << row.name;
        EXPECT_EQ(Installed("d5.dat"), "<missing>") << row.name;
        std::string own;
        EXPECT_TRUE(ReadTestFile("own.dat", &own) && own == "own") << row.name;
    }
}

TEST_F(CopyFailureTest, DamagedMemberChangesNothingButALooseOverrideIsTakenAsItIs) {
    // One member has one bit flipped after it was packed. A member is hashed
    // while the next is written, so wherever it lies, and even when the
    // entry after it cannot be written, the members before it were written
    // beside their destinations, yet none goes in.
    struct Row { const char* name; int damaged; bool unwritableAfter; } rows[] = {
        {"first member", 0, false},
        {"last member", 2, false},
        {"last member, then an unwritable entry", 2, true},
    };
    const std::string members[] = {"m1.dat", "m2.dat", "m3.dat"};
    for (const Row& row : rows) {
        std::string package = DigestedPackage({{"m1.dat", "one"}, {"m2.dat", "two"}, {"m3.dat", "three"}});
        // The member's second byte, after the header, four directory
        // entries (the list's too) and the members before it.
        package[16 + 4 * 40 + 3 * static_cast<size_t>(row.damaged) + 1] ^= 0x01;
        ASSERT_TRUE(WriteTestFile(kPackageFileName, package));
        ASSERT_TRUE(WriteTestFile(InGame("d1.dat").c_str(), "old"));
        ClearPlanTables();
        AddCopyEntry("m1.dat", "", "d1.dat");
        AddCopyEntry("m2.dat", "", "d2.dat");
        AddCopyEntry("bgm\\m3.dat", "", "d3.dat");
        if (row.unwritableAfter) AddCopyEntry("m1.dat", "", "nosub\\d4.dat");
        ClearFailureNote();
        std::string printed;
        EXPECT_EQ(CopyPrinting(&printed), 0) << row.name;
        EXPECT_EQ(printed, "") << row.name << ": no destination failed to be written";
        EXPECT_EQ(NotedFailure().cause, kCauseDamaged) << row.name;
        EXPECT_EQ(NotedFailure().name, members[row.damaged]) << row.name;
        std::vector<std::string> left;
        for (const auto& entry : std::filesystem::directory_iterator(NativeTestPath(kGame.c_str())))
            left.push_back(entry.path().filename().string());
        EXPECT_EQ(left, std::vector<std::string>{"d1.dat"}) << row.name << ": nothing new stays in the game";
        EXPECT_EQ(Installed("d1.dat"), "old") << row.name;
    }

    ClearPlanTables();
    AddCopyEntry("m1.dat", "", "d1.dat");
    AddCopyEntry("bgm\\m3.dat", "", "d3.dat");
    ASSERT_TRUE(MakeTestFolder("bgm"));
    ASSERT_TRUE(WriteTestFile("bgm\\m3.dat", "loose"));
    EXPECT_EQ(ApplyCopyList(nullptr, kGame.c_str(), 0), 1);
    EXPECT_EQ(Installed("d1.dat"), "one");
    EXPECT_EQ(Installed("d3.dat"), "loose");
}

TEST_F(FileOperationsTest, DeletesListedFilesAndIgnoresFailures) {
    ASSERT_TRUE(MakeTestFolder(InGame("sub").c_str()));
    ASSERT_TRUE(WriteTestFile(InGame("a.dat").c_str(), "a"));
    ASSERT_TRUE(WriteTestFile(InGame("sub\\b.dat").c_str(), "b"));
    ASSERT_TRUE(WriteTestFile(InGame("c.dat").c_str(), "c"));
    for (const char* name : {"missing.dat", "a.dat", "sub", "sub\\b.dat"}) AddDeleteEntry(name);
    testing::internal::CaptureStdout();
    EXPECT_EQ(ApplyDeleteList(kGame.c_str()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(Installed("a.dat"), "<missing>");
    EXPECT_EQ(Installed("sub\\b.dat"), "<missing>");
    EXPECT_EQ(Installed("c.dat"), "c");
    EXPECT_TRUE(std::filesystem::is_directory(NativeTestPath(InGame("sub").c_str()))) << "a folder is not deleted";
}

TEST_F(FileOperationsTest, RenamesWithoutEverReplacing) {
    ASSERT_TRUE(WriteTestFile(kPackageFileName, PackageOf({{"new.dat", "copied"}})));
    ASSERT_TRUE(MakeTestFolder(InGame("dir").c_str()));
    ASSERT_TRUE(MakeTestFolder(InGame("sub").c_str()));
    ASSERT_TRUE(WriteTestFile(InGame("dir\\x.dat").c_str(), "x"));
    ASSERT_TRUE(WriteTestFile(InGame("keep.dat").c_str(), "keep"));
    ASSERT_TRUE(WriteTestFile(InGame("taken.dat").c_str(), "taken"));
    AddCopyEntry("new.dat", "", "tmp.dat");
    const char* renames[][2] = {
        {"tmp.dat", "final.dat"},          // the file the copy just wrote
        {"keep.dat", "taken.dat"},         // refused: the new name exists
        {"dir", "dir2"},                   // a folder
        {"final.dat", "sub\\moved.dat"},   // into a subfolder, after the first rename
        {"missing.dat", "other.dat"},
    };
    for (const auto& names : renames) AddRenameEntry(names[0], names[1]);
    ASSERT_EQ(ApplyCopyList(nullptr, kGame.c_str(), 0), 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(ApplyRenameList(kGame.c_str(), nullptr), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(Installed("sub\\moved.dat"), "copied");
    EXPECT_EQ(Installed("tmp.dat"), "<missing>");
    EXPECT_EQ(Installed("keep.dat"), "keep");
    EXPECT_EQ(Installed("taken.dat"), "taken");
    EXPECT_EQ(Installed("dir2\\x.dat"), "x");
    EXPECT_EQ(Installed("dir\\x.dat"), "<missing>");
    EXPECT_EQ(Installed("other.dat"), "<missing>");
}

}  // namespace
