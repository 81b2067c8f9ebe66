// The pieces of updpack diff that decide what an update holds: the runs of
// changed bytes, the changes between two trees, one update for both
// editions, the member names and the script's fields and template.
#include "updpack_changes.h"
#include "updpack_script.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "common/sjis_text.h"
#include "script/update_plan.h"
#include "test_support.h"

namespace {

class UpdpackDiffTest : public TempFolderTest {
protected:
    // Writes the files of a tree below root: path (with '\') and content.
    static void MakeTree(const std::string& root, const std::map<std::string, std::string>& files) {
        ASSERT_TRUE(MakeTestFolder(root.c_str()));
        for (const auto& [path, content] : files) {
            std::string folder = root;
            for (size_t i = path.find('\\'); i != std::string::npos; i = path.find('\\', i + 1)) {
                folder = root + "\\" + path.substr(0, i);
                MakeTestFolder(folder.c_str());
            }
            ASSERT_TRUE(WriteTestFile((root + "\\" + path).c_str(), content)) << path;
        }
    }

    static EditionTrees Trees(const std::string& oldRoot, const std::string& newRoot) {
        EditionTrees trees;
        std::string problem;
        trees.oldRoot = oldRoot;
        trees.newRoot = newRoot;
        EXPECT_TRUE(ListTree(oldRoot.c_str(), &trees.oldTree, &problem)) << problem;
        EXPECT_TRUE(ListTree(newRoot.c_str(), &trees.newTree, &problem)) << problem;
        return trees;
    }
};

// Offset:bytes of each run, for the comparisons below.
std::string RunsText(const std::vector<ChangedRun>& runs) {
    std::string text;
    for (const ChangedRun& run : runs) text += std::to_string(run.offset) + ":" + run.bytes + " ";
    return text;
}

TEST_F(UpdpackDiffTest, RunsOfChangedBytesAreJoinedAcrossSmallGapsAndSlices) {
    const std::string base(200000, '.');
    struct Row { const char* name; std::vector<std::pair<size_t, std::string>> edits; const char* runs; } rows[] = {
        {"one run", {{10, "ab"}}, "10:ab "},
        {"a gap under 16 bytes is taken in", {{10, "a"}, {20, "b"}}, "10:a.........b "},
        {"a gap of 16 bytes parts them", {{10, "a"}, {27, "b"}}, "10:a 27:b "},
        {"a run across the first slice's end", {{65534, "wxyz"}}, "65534:wxyz "},
        {"a run ending where a slice ends, another after it", {{65530, "ab"}, {65534, "cd"}, {65540, "e"}},
         "65530:ab..cd....e "},
    };
    for (const Row& row : rows) {
        std::string changed = base;
        for (const auto& [offset, bytes] : row.edits) changed.replace(offset, bytes.size(), bytes);
        ASSERT_TRUE(WriteTestFile("a", base) && WriteTestFile("b", changed));
        std::vector<ChangedRun> runs;
        bool overflow = true;
        EXPECT_EQ(CompareFiles("a", "b", &runs, kPatchJoinGap, 4096, &overflow), kFilesDiffer) << row.name;
        EXPECT_FALSE(overflow) << row.name;
        EXPECT_EQ(RunsText(runs), row.runs) << row.name;
    }
    std::string spread = base;
    for (size_t i = 0; i < 100; ++i) spread[i * 1000] = 'x';
    ASSERT_TRUE(WriteTestFile("b", spread));
    std::vector<ChangedRun> runs;
    bool overflow = false;
    EXPECT_EQ(CompareFiles("a", "b", &runs, kPatchJoinGap, 50, &overflow), kFilesDiffer);
    EXPECT_TRUE(overflow && runs.empty()) << "beyond the bytes allowed no run is kept";
    EXPECT_EQ(CompareFiles("a", "a", &runs, kPatchJoinGap, 50, &overflow), kFilesEqual);
    EXPECT_EQ(CompareFiles("a", "missing", nullptr, 0, 0, nullptr), kFilesUnreadable);
}

TEST_F(UpdpackDiffTest, ChangesBetweenTwoBuildsTakeTheCheapestLine) {
    const std::string block(3000, 'b');
    std::string edited = block;
    edited.replace(100, 3, "xyz");
    MakeTree("old", {{"same.dat", "same"}, {"block.dat", block}, {"small.dat", "0123456789"},
                     {"gone.dat", "gone"}, {"moving.dat", "moving bytes"}, {"resized.dat", "short"},
                     {"old\\f.dat", "in a folder that goes"}});
    MakeTree("new", {{"same.dat", "same"}, {"block.dat", edited}, {"small.dat", "abcdefghij"},
                     {"to\\moved.dat", "moving bytes"}, {"resized.dat", "longer now"}, {"added.dat", "new"},
                     {"made\\deep\\n.dat", "n"}});
    ASSERT_TRUE(MakeTestFolder("old\\old\\empty"));
    const EditionTrees trees = Trees("old", "new");
    EditionChanges changes;
    std::string problem;
    ASSERT_TRUE(FindChanges(trees, &changes, &problem)) << problem;
    const auto joined = [](const std::vector<std::string>& paths) {
        std::string text;
        for (const std::string& path : paths) text += path + " ";
        return text;
    };
    EXPECT_EQ(joined(changes.folders), "made to made\\deep ");
    // A few changed bytes are patched; a small file's lines would be longer
    // than the file, so it is copied, as a file of another size is.
    EXPECT_EQ(joined(changes.copies), "resized.dat small.dat added.dat made\\deep\\n.dat ");
    ASSERT_EQ(changes.patches.size(), 1u);
    EXPECT_EQ(changes.patches[0].path, "block.dat");
    EXPECT_EQ(RunsText(changes.patches[0].runs), "100:xyz ");
    ASSERT_EQ(changes.renames.size(), 1u);
    EXPECT_EQ(changes.renames[0].first + ">" + changes.renames[0].second, "moving.dat>to\\moved.dat");
    EXPECT_EQ(joined(changes.deletes), "gone.dat old\\f.dat ");
    EXPECT_EQ(joined(changes.keptFolders), "old old\\empty ");
    EXPECT_EQ(changes.unchanged.size(), 1u);
}

TEST_F(UpdpackDiffTest, OneUpdateDoesBothEditionsOrSaysWhyItCannot) {
    using Files = std::map<std::string, std::string>;
    struct Row {
        const char* name;
        Files standardOld, standardNew, addOld, addNew;
        const char* lines;    // the merged update, or the problem
    } rows[] = {
        {"a rename both make, and one the other edition does not know",
         {{"a", "A"}, {"k", "K"}, {"m", "M"}}, {{"b", "A"}, {"k", "K"}, {"n", "M"}},
         {{"a", "A"}, {"k", "K"}}, {{"b", "A"}, {"k", "K"}},
         "rename a>b rename m>n copy k=k,k "},
        {"a rename the other edition does otherwise becomes a copy and a delete",
         {{"a", "A"}, {"k", "K"}}, {{"b", "A"}, {"k", "K"}},
         {{"a", "A"}, {"k", "K"}}, {{"b", "B"}, {"k", "K"}},
         "delete a copy b=b,b "},
        {"a patch both make alike is kept; one alone becomes a copy",
         {{"p", std::string(400, 'p')}, {"q", std::string(400, 'q')}},
         {{"p", std::string("P").append(399, 'p')}, {"q", std::string("Q").append(399, 'q')}},
         {{"p", std::string(400, 'p')}, {"q", std::string(400, 'q')}},
         {{"p", std::string("P").append(399, 'p')}, {"q", std::string(400, 'q')}},
         "patch p copy q=q,q "},
        {"a file one edition deletes and the other keeps",
         {{"a", "A"}, {"k", "K"}}, {{"k", "K"}}, {{"a", "A"}, {"k", "K"}}, {{"a", "A"}, {"k", "K"}},
         "a: the standard edition's update deletes it, and the add-contents edition keeps it; one update cannot "
         "do both"},
        {"a folder one edition makes and the other lacks",
         {{"k", "K"}}, {{"k", "K"}, {"f\\x", "X"}}, {{"k", "K"}}, {{"k", "K"}},
         "f: the standard edition's update makes this folder, and the add-contents edition has none; "
         "CreateFolder makes it in both"},
    };
    for (const Row& row : rows) {
        const std::string folder = std::string("editions") + std::to_string(&row - rows);
        ASSERT_TRUE(MakeTestFolder(folder.c_str()));
        MakeTree(folder + "\\so", row.standardOld);
        MakeTree(folder + "\\sn", row.standardNew);
        MakeTree(folder + "\\ao", row.addOld);
        MakeTree(folder + "\\an", row.addNew);
        const EditionTrees standardTrees = Trees(folder + "\\so", folder + "\\sn");
        const EditionTrees addTrees = Trees(folder + "\\ao", folder + "\\an");
        EditionChanges standard;
        EditionChanges add;
        MergedChanges merged;
        std::string problem;
        ASSERT_TRUE(FindChanges(standardTrees, &standard, &problem) && FindChanges(addTrees, &add, &problem))
            << row.name << ": " << problem;
        std::string lines;
        if (MergeChanges(standardTrees, standard, &addTrees, &add, &merged, &problem)) {
            for (const std::string& path : merged.deletes) lines += "delete " + path + " ";
            for (const auto& [from, to] : merged.renames) lines += "rename " + from + ">" + to + " ";
            for (const PatchedFile& patch : merged.patches) lines += "patch " + patch.path + " ";
            for (const CopyLine& line : merged.copies) {
                lines += "copy " + line.destination + "=" + BaseNameOf(line.standardSource.c_str()) + "," +
                         BaseNameOf(line.addContentsSource.c_str()) + " ";
            }
        } else {
            lines = problem;
        }
        EXPECT_EQ(lines, row.lines) << row.name;
    }
}

TEST_F(UpdpackDiffTest, MembersAreNamedOnceAndApart) {
    MakeTree("new", {{"data\\script.dat", "one"}, {"sub\\script.dat", "two"}, {"x\\SCRIPT.DAT", "one"},
                     {"a_rather_long_file_name_of_a_member.dat", "long"}, {"b\\update.ini", "ini"},
                     {"c\\taken.dat", "taken"}, {"表示表示表示表示表示表示表示表示.dat", "sjis"}});
    MergedChanges merged;
    for (const char* path : {"data\\script.dat", "sub\\script.dat", "x\\SCRIPT.DAT",
                             "a_rather_long_file_name_of_a_member.dat", "b\\update.ini", "c\\taken.dat",
                             "表示表示表示表示表示表示表示表示.dat"}) {
        std::string full;
        ASSERT_TRUE(TreeFilePath("new", path, &full));
        merged.copies.push_back({path, full, full});
    }
    std::vector<PackedMember> members;
    std::map<std::string, std::string> memberOf;
    std::string problem;
    ASSERT_TRUE(NameMembers(merged, {"Update.ini", "Taken.dat"}, &members, &memberOf, &problem)) << problem;
    std::string names;
    for (const PackedMember& member : members) names += member.name + " ";
    // x\SCRIPT.DAT holds data\script.dat's bytes: one member for both. The
    // double-byte name is cut between characters to fit 31 bytes.
    EXPECT_EQ(names, "script.dat script~1.dat a_rather_long_file_name_o~1.dat update~1.ini taken~1.dat "
                     "表示表示表示表示表示表示~1.dat ");
    EXPECT_EQ(memberOf.at("new\\x\\SCRIPT.DAT"), "script.dat");
}

TEST(ScriptFieldTest, QuotesWhatASpaceWouldCutAndRefusesWhatNoFieldHolds) {
    struct Row { const char* text; const char* field; } rows[] = {
        {"data\\a.dat", "data\\a.dat"}, {"read me.txt", "\"read me.txt\""}, {"", "\"\""},
        {"a,b", nullptr}, {"a=b", nullptr}, {"a\"b", nullptr}, {"a\tb", nullptr},
    };
    for (const Row& row : rows) {
        std::string field;
        EXPECT_EQ(ScriptField(row.text, kNameFieldSize, &field), row.field != nullptr) << row.text;
        if (row.field != nullptr) {
            EXPECT_EQ(field, row.field) << row.text;
        }
    }
    std::string field;
    EXPECT_FALSE(ScriptField(std::string(64, 'n'), kNameFieldSize, &field)) << "a name holds 63 bytes";
}

TEST(TemplateTest, KeepsAllButTheFileLines) {
    const std::string kept = "AppTitle = Game\r\n; a comment\r\nShortcut = g.lnk, Play, g.exe, , , \"\"\r\n"
                             "ConvertSave BGMNO = 0, -1, 5\r\n";
    std::string text = "CopyFile = a.dat, a.dat,\r\n  data\\a.dat\r\n" + kept.substr(0, 17) +
                       "DeleteFile = x\r\nCreateFolder = f\nRenameFile = a, b\r" + kept.substr(17) +
                       "ConvertFile BINARY = g.exe, 16, 0A0B\r\nConvertFile ASCII = g.ini, 0, text";
    std::string result;
    std::string problem;
    ASSERT_TRUE(TemplateWithoutFileLines(text, &result, &problem)) << problem;
    EXPECT_EQ(result, kept);
    EXPECT_FALSE(TemplateWithoutFileLines("AppTitle = A\nNewVersion = 1020, x\n", &result, &problem));
    EXPECT_EQ(problem, "the template does not load: line 2: NewVersion: addContents must be a number or a named "
                       "constant, not \"x\"");
}

}  // namespace
