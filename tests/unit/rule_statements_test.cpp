#include "script/rule_statements.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "script/rule_tables.h"

namespace {

class RuleStatementTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearRules();
        ClearFilePatches();
    }

    // Parses statement held as the loader holds a script: followed by spare
    // zero bytes.
    static int Parse(const std::string& statement) {
        const std::string text = statement + std::string(16, '\0');
        return ReadRuleStatement(text.c_str(), nullptr);
    }

    static const FilePatch& Patch(uint32_t index) { return g_filePatchTable.records[index]; }
    static const ConvertRule& Rule(uint32_t index) { return g_convertRuleTable.records[index]; }
};

TEST_F(RuleStatementTest, BinaryReadsHexPairsAsciiTheFieldItself) {
    struct Row { const char* name; std::string statement; int32_t offset; std::string data; } rows[] = {
        {"two bytes at 0x100", "BINARY=data\\a.bin,0x100,0A1B", 256, "\x0A\x1B"},
        {"last single character ignored", "BINARY=a.bin,0,123", 0, "\x12"},
        {"lower-case digits", " BINARY = a.bin , 8 , ffA0", 8, "\xFF\xA0"},
        {"negative offset", "BINARY=a.bin,-16,99", -16, "\x99"},
        {"512 characters fill the data", "BINARY=a.bin,0," + std::string(512, '7'), 0, std::string(256, 0x77)},
        {"ASCII from the next line", "ASCII=a.bin,16,\n\"AB CD\"", 16, "AB CD"},
        {"ASCII of 255 bytes", "ASCII=a.bin,0," + std::string(255, 'x'), 0, std::string(255, 'x')},
    };
    for (const Row& row : rows) {
        ClearFilePatches();
        ASSERT_EQ(Parse(row.statement), 1) << row.name;
        ASSERT_EQ(g_filePatchTable.count, 1u) << row.name;
        EXPECT_EQ(Patch(0).offset, row.offset) << row.name;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(Patch(0).data), static_cast<size_t>(Patch(0).length)), row.data)
            << row.name;
    }
    EXPECT_STREQ(Patch(0).fileName, "a.bin");
}

TEST_F(RuleStatementTest, FilenameReadsAAndCItemsUpToTheLineEnd) {
    ASSERT_EQ(Parse("FILENAME=0,999,bg01,bg02,Aface1,C,Xskip,aface2"), 1);
    // A C item ending its line takes its name from the next line, and ends the list.
    ASSERT_EQ(Parse("FILENAME=0,9,a,b,C  \r\n next, Aother"), 1);
    ASSERT_EQ(g_convertRuleTable.count, 2u);
    ASSERT_EQ(Rule(0).kind, uint32_t{kRuleFilename});
    const FilenameRule& rule = Rule(0).payload.filename;
    EXPECT_EQ(rule.low, 0u);
    EXPECT_EQ(rule.high, 999u);
    EXPECT_STREQ(rule.oldGraphName, "bg01");
    EXPECT_STREQ(rule.newGraphName, "bg02");
    EXPECT_EQ(rule.aCount, 2);
    EXPECT_STREQ(rule.aNames[0], "face1");
    EXPECT_STREQ(rule.aNames[1], "face2");
    EXPECT_EQ(rule.cCount, 1);
    EXPECT_STREQ(rule.cNames[0], "");
    const FilenameRule& next = Rule(1).payload.filename;
    EXPECT_EQ(next.cCount, 1);
    EXPECT_STREQ(next.cNames[0], "next");
    EXPECT_EQ(next.aCount, 0);
}

TEST_F(RuleStatementTest, FilenameTakesTenItemsOfEachLetter) {
    std::string statement = "FILENAME=0,9,a,b";
    for (int i = 0; i < 10; ++i) statement += ",A" + std::to_string(i) + ",C" + std::to_string(i);
    ASSERT_EQ(Parse(statement), 1);
    EXPECT_EQ(Rule(0).payload.filename.aCount, 10);
    EXPECT_STREQ(Rule(0).payload.filename.cNames[9], "9");
    EXPECT_EQ(Parse(statement + ",A10"), 0) << "an eleventh A item";
    EXPECT_EQ(Parse(statement + ",c10"), 0) << "an eleventh C item";
}

TEST_F(RuleStatementTest, GraphStatusValuesFollowTheProperty) {
    struct Row { const char* name; const char* statement; int32_t property; bool reals; float values[4]; } rows[] = {
        {"scale reals, 3 and 4 missing", "GRAPHSTATUS=0,100,chara,scale,1.5,2", 3, true, {1.5f, 2.0f, 0, 0}},
        {"clip integers", "GRAPHSTATUS=0,100,chara,clip,0,0,640,480", 6, false, {0, 0, 640, 480}},
        {"property out of range", "GRAPHSTATUS=0,100,chara,9,1,2", 9, false, {0, 0, 0, 0}},
        {"value 3 not parsing leaves 4 zero", "GRAPHSTATUS=0,1,c,position,1,2,x,4", 1, true, {1, 2, 0, 0}},
        {"value 4 not parsing", "GRAPHSTATUS=0,1,c,rotate,1,2,3,y", 4, true, {1, 2, 3, 0}},
        {"center integers from a constant", "GRAPHSTATUS=0,1,c,center,scale,-2", 2, false, {3, -2, 0, 0}},
    };
    for (const Row& row : rows) {
        ClearRules();
        ASSERT_EQ(Parse(row.statement), 1) << row.name;
        const GraphStatusRule& rule = Rule(0).payload.graphStatus;
        EXPECT_EQ(rule.property, row.property) << row.name;
        for (int i = 0; i < 4; ++i) {
            const uint32_t expected = row.reals ? std::bit_cast<uint32_t>(row.values[i])
                                                : static_cast<uint32_t>(static_cast<int32_t>(row.values[i]));
            EXPECT_EQ(rule.values[i], expected) << row.name << " value " << i + 1;
        }
    }
    EXPECT_STREQ(Rule(0).payload.graphStatus.graphName, "c");
    EXPECT_EQ(Parse("GRAPHSTATUS=0,100,chara,scale,1.5"), 0) << "value 2 is required";
    EXPECT_EQ(Parse("GRAPHSTATUS=0,100,chara,clip,b1 ,2"), 1);
    EXPECT_EQ(Parse("GRAPHSTATUS=0,100,chara,clip,b1,2"), 0) << "the binary literal refuses its comma";
    EXPECT_EQ(Parse("GRAPHSTATUS=0,100,chara,scale,b1,2"), 0) << "a real has no binary form";
}

TEST_F(RuleStatementTest, EachKindStoresItsFieldsInPlace) {
    // words: the payload's first words.
    struct Row { const char* statement; uint32_t kind; std::vector<uint32_t> words; } rows[] = {
        {"MESSAGE=1200,1300", kRuleMessage, {1200, 1300}},
        {"BGMNO=100,200,5", kRuleBgmNo, {100, 200, 5}},
        {"LOOPSENO=100,-1,7", kRuleLoopSeNo, {100, 0xFFFFFFFFu, 7}},
        {"CHANGEPARAM=filename,3,7", kRuleChangeParam, {2, 3, 7}},
        {"CHANGEPARAM=message,0x10,b11", kRuleChangeParam, {1, 16, 3}},
        {"CHANGESE=0,100,12,13", kRuleChangeSe, {0, 100, 12, 13, 0, 0, 0, 0, 0}},
        {"ADDSE=0,100,12,1,0,1,2,30", kRuleAddSe, {0, 100, 0, 12, 1, 0, 1, 2, 30}},
    };
    for (const Row& row : rows) {
        ClearRules();
        ASSERT_EQ(Parse(row.statement), 1) << row.statement;
        EXPECT_EQ(Rule(0).kind, row.kind) << row.statement;
        for (size_t i = 0; i < row.words.size(); ++i) {
            EXPECT_EQ(Rule(0).payload.words[i], row.words[i]) << row.statement << " word " << i;
        }
    }
}

TEST_F(RuleStatementTest, GraphRulesStoreTheirNamesBetweenWords) {
    ASSERT_EQ(Parse("ADDGRAPH=1,2,3,4,face01,5"), 1);
    ASSERT_EQ(Parse("INSERTGRAPH=5,6,7,8,face02,9,bg01"), 1);
    const AddGraphRule& add = Rule(0).payload.addGraph;
    EXPECT_EQ(Rule(0).kind, uint32_t{kRuleAddGraph});
    EXPECT_EQ(add.entryWord1, 4u);
    EXPECT_STREQ(add.graphName, "face01");
    EXPECT_EQ(add.entryWord2, 5u);
    const AddGraphRule& insert = Rule(1).payload.addGraph;
    EXPECT_EQ(Rule(1).kind, uint32_t{kRuleInsertGraph});
    EXPECT_EQ(insert.entryWord1, 8u);
    EXPECT_STREQ(insert.graphName, "face02");
    EXPECT_EQ(insert.entryWord2, 9u);
    EXPECT_STREQ(insert.anchorName, "bg01");
}

TEST_F(RuleStatementTest, GraphNamesMustFitASavesNameField) {
    const std::string n30(30, 'n'), n31(31, 'n'), n32(32, 'n');
    const std::string wide15 = "表示表示表示表示表示表示表示表";  // 15 double-byte characters, 30 bytes
    struct Row { const char* name; std::string statement; int result; } rows[] = {
        {"FILENAME new name of 31 bytes, long old name", "FILENAME=0,1," + std::string(40, 'o') + "," + n31, 1},
        {"FILENAME new name of 32 bytes", "FILENAME=0,1,a," + n32, 0},
        {"ADDGRAPH name of 30 bytes", "ADDGRAPH=0,1,2,3," + n30 + ",4", 1},
        {"ADDGRAPH name of 30 double-byte bytes", "ADDGRAPH=0,1,2,3," + wide15 + ",4", 1},
        {"ADDGRAPH name of 31 bytes", "ADDGRAPH=0,1,2,3," + wide15 + "x,4", 0},
        {"INSERTGRAPH name of 30, anchor of 31 bytes", "INSERTGRAPH=0,1,2,3," + n30 + ",4," + n31, 1},
        {"INSERTGRAPH name of 31 bytes", "INSERTGRAPH=0,1,2,3," + n31 + ",4,a", 0},
        {"INSERTGRAPH anchor of 32 bytes", "INSERTGRAPH=0,1,2,3,a,4,+" + n31, 0},
    };
    for (const Row& row : rows) {
        ClearRules();
        EXPECT_EQ(Parse(row.statement), row.result) << row.name;
        EXPECT_EQ(g_convertRuleTable.count, static_cast<uint32_t>(row.result)) << row.name;
    }
}

TEST_F(RuleStatementTest, MalformedStatementsFail) {
    struct Row { const char* name; std::string statement; } rows[] = {
        {"no =", "BGMNO 100,200,5"},
        {"= only on the next line", "BGMNO\n=100,200,5"},
        {"required integer missing", "BGMNO=100,200"},
        {"required integer not a number", "MESSAGE=1,two"},
        {"hex pair not hexadecimal", "BINARY=a.bin,0,0G"},
        {"hex text over 512 characters", "BINARY=a.bin,0," + std::string(513, '0')},
        {"hex text over its scratch", "BINARY=a.bin,0," + std::string(1100, '0')},
        {"ASCII text over 255 bytes", "ASCII=a.txt,0," + std::string(256, 'x')},
        {"patch file name of 64 bytes", "ASCII=" + std::string(64, 'f') + ",0,x"},
        {"graph name of 64 bytes", "ADDGRAPH=0,1,2,3," + std::string(64, 'g') + ",4"},
        {"FILENAME item of 64 bytes", "FILENAME=0,1,a,b,A" + std::string(64, 'n')},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Parse(row.statement), 0) << row.name;
    }
    EXPECT_EQ(g_filePatchTable.count, 0u);
    EXPECT_EQ(g_convertRuleTable.count, 0u);
}

TEST(HexPairToByteTest, ReadsTwoHexadecimalDigits) {
    struct Row { char first; char second; int ok; unsigned char byte; } rows[] = {
        {'1', '2', 1, 0x12}, {'9', '0', 1, 0x90}, {'0', 'A', 1, 0x0A}, {'F', 'a', 1, 0xFA},
        {'g', '0', 0, 0},    {'0', 'G', 0, 0},    {'1', ':', 0, 0},    {'@', '1', 0, 0},
    };
    for (const Row& row : rows) {
        unsigned char byte = 0x5A;
        EXPECT_EQ(HexPairToByte(row.first, row.second, &byte), row.ok) << row.first << row.second;
        EXPECT_EQ(byte, row.ok ? row.byte : 0x5A) << row.first << row.second;
    }
}

}  // namespace
