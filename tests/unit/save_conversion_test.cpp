#include "convert/save_conversion.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/little_endian.h"
#include "script/script_loader.h"

namespace {

// Offsets written out as the save format gives them, independently of the
// converter's constants.
constexpr uint32_t kEntry = 2400;
constexpr uint32_t kMiddle = 10;

using Words = std::vector<std::pair<size_t, uint32_t>>;  // byte offset, little-endian word

uint32_t Get32(const std::string& bytes, size_t at) {
    return ReadLittleEndian32(reinterpret_cast<const unsigned char*>(bytes.data() + at));
}

// bytes with words written, then text at textAt.
std::string Edited(std::string bytes, const Words& words, size_t textAt = 0, const std::string& text = "") {
    for (const auto& [at, value] : words) WriteLittleEndian32(reinterpret_cast<unsigned char*>(&bytes[at]), value);
    return bytes.replace(textAt, text.size(), text);
}

size_t EntryAt(uint32_t index) { return 12 + kEntry * index; }
size_t StateOf(const std::string& save) { return 8 + Get32(save, 0) + Get32(save, 4); }

// A graph entry as a rule adds it: zero but for its three words and name.
std::string AddedEntry(uint32_t word0, uint32_t word1, uint32_t word2, const std::string& name) {
    return Edited(std::string(kEntry, '\0'), {{0, word0}, {4, word1}, {8, word2}}, 116, name);
}

// A save: each entry filled with its own byte and named, G holding padding
// bytes beyond the entries, ten middle bytes and a state section of pattern
// bytes up to its SE slots, which are free, with the message word.
std::string MakeSave(const std::vector<std::string>& names, uint32_t message = 100, uint32_t padding = 0,
                     uint32_t stateLength = 17956) {
    const uint32_t count = static_cast<uint32_t>(names.size());
    const uint32_t graphLength = 4 + kEntry * count + padding;
    std::string save = Edited(std::string(8 + graphLength + kMiddle + stateLength, '\0'),
                              {{0, graphLength}, {4, kMiddle}, {8, count}});
    for (uint32_t i = 0; i < count; ++i) {
        save.replace(EntryAt(i), kEntry, kEntry, static_cast<char>(0x10 + i));
        save.replace(EntryAt(i) + 116, 32, names[i] + std::string(32 - names[i].size(), '\0'));
    }
    const size_t state = StateOf(save);
    for (size_t i = 8 + graphLength; i < state + 17740; ++i) save[i] = static_cast<char>(i * 7 + 3);
    return Edited(save, {{state + 16804, message}});
}

// Entries g0, g1, ..., then the names in more.
std::vector<std::string> Numbered(int count, const std::vector<std::string>& more = {}) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back(std::to_string(i).insert(0, 1, 'g'));
    names.insert(names.end(), more.begin(), more.end());
    return names;
}

std::vector<std::string> NamesOf(const std::string& save) {
    std::vector<std::string> names;
    for (uint32_t i = 0; i < Get32(save, 8); ++i) names.push_back(save.substr(EntryAt(i) + 116, 32).c_str());
    return names;
}

// Loads rule statements, one a line, each behind ConvertSave.
void LoadRules(const std::string& statements) {
    std::string script = "ConvertSave ";
    for (const char c : statements) script += c == '\n' ? std::string("\nConvertSave ") : std::string(1, c);
    ASSERT_EQ(LoadUpdateScriptText(script.data(), static_cast<uint32_t>(script.size()), nullptr), kScriptLoaded)
        << script;
}

// Converts a copy of save; returns the result and the bytes afterwards.
std::pair<int, std::string> Convert(const std::string& save) {
    SaveImage image{std::make_unique<unsigned char[]>(save.size()), static_cast<uint32_t>(save.size())};
    std::memcpy(image.bytes.get(), save.data(), save.size());
    const int result = ConvertSaveFile(&image);
    return {result, std::string(reinterpret_cast<const char*>(image.bytes.get()), image.length)};
}

uint32_t Real(float value) { return std::bit_cast<uint32_t>(value); }

TEST(ConvertSaveFile, EachRuleWritesItsWordsWhenInRange) {
    // Three entries, message word 100: state section at 8 + 7204 + 10.
    const std::string base = MakeSave({"bg01", "chara", "chara"});
    const size_t s = StateOf(base);
    const auto e = [](uint32_t index, size_t offset) { return EntryAt(index) + offset; };
    const auto slot = [s](uint32_t j, uint32_t word) { return s + 17740 + 24 * j + 4 * word; };
    Words allTaken;
    for (uint32_t j = 0; j < 9; ++j) allTaken.push_back({slot(j, 0), 1});
    struct Row { const char* name; const char* script; Words before; Words after; int result; } rows[] = {
        {"no range holds 100", "BGMNO=101,-1,5\nADDGRAPH=0,99,1,2,x,3\nMESSAGE=99,1", {}, {}, 0},
        {"BGMNO, bounds inclusive", "BGMNO=100,100,5", {}, {{s + 16720, 5}}, 1},
        {"LOOPSENO, 0 to 0xFFFFFFFF", "LOOPSENO=0,-1,7", {}, {{s + 16724, 7}}, 1},
        {"low above high; bounds compared unsigned", "BGMNO=200,100,5\nBGMNO=-200,100,5", {}, {}, 0},
        {"FILENAME in range without a match", "FILENAME=0,-1,none,x", {}, {}, 1},
        {"position, every entry of the name", "GRAPHSTATUS=0,-1,chara,position,1.5,-2", {},
         {{e(1, 20), Real(1.5f)}, {e(1, 24), Real(-2)}, {e(2, 20), Real(1.5f)}, {e(2, 24), Real(-2)}}, 1},
        {"center words unconverted", "GRAPHSTATUS=0,-1,bg01,center,3,-4", {}, {{e(0, 28), 3}, {e(0, 32), 0xFFFFFFFCu}}, 1},
        {"rotate, scale", "GRAPHSTATUS=0,-1,bg01,rotate,1,2,3\nGRAPHSTATUS=0,-1,bg01,scale,4,5", {},
         {{e(0, 36), Real(1)}, {e(0, 40), Real(2)}, {e(0, 44), Real(3)}, {e(0, 48), Real(4)}, {e(0, 52), Real(5)}}, 1},
        {"filepos, clip", "GRAPHSTATUS=0,-1,bg01,filepos,6,7\nGRAPHSTATUS=0,-1,bg01,clip,1,2,3,4", {},
         {{e(0, 72), 6}, {e(0, 76), 7}, {e(0, 80), 1}, {e(0, 84), 2}, {e(0, 88), 3}, {e(0, 92), 4}}, 1},
        {"no entry of the name (case-sensitive); unknown property", "GRAPHSTATUS=0,-1,CHARA,clip,1,2,3,4\n"
         "GRAPHSTATUS=0,-1,bg01,9,1,2", {}, {}, 1},
        {"message parameter 7, filename parameters 3 and 220 (the last word)",
         "CHANGEPARAM=message,7,9\nCHANGEPARAM=filename,3,8\nCHANGEPARAM=filename,220,7", {},
         {{s + 17068, 9}, {s + 17084, 8}, {s + 17952, 7}}, 1},
        {"message parameter 8, filename parameters past the end and wrapping at 32 bits, selector 3",
         "CHANGEPARAM=message,8,9\nCHANGEPARAM=filename,221,9\nCHANGEPARAM=filename,-1,9\nCHANGEPARAM=3,0,1", {}, {}, 0},
        {"CHANGESE skips a taken slot", "CHANGESE=0,-1,12,13", {{slot(0, 0), 1}, {slot(0, 1), 12}, {slot(1, 1), 12}},
         {{slot(1, 1), 13}}, 1},
        {"CHANGESE without its value", "CHANGESE=0,-1,12,13", {}, {}, 0},
        {"ADDSE mode 1 after a taken slot", "ADDSE=0,-1,12,34,7,0,1,5", {{slot(0, 0), 1}},
         {{slot(1, 0), 1}, {slot(1, 1), 12}, {slot(1, 2), 34}, {slot(1, 3), 0x80000005u}, {slot(1, 5), 1}}, 1},
        {"ADDSE modes 2 and 0, CHANGESE passes them", "ADDSE=0,-1,12,0,0,0,2,5\nADDSE=0,-1,12,0,0,3,0,6\nCHANGESE=0,-1,12,13",
         {}, {{slot(0, 0), 1}, {slot(0, 1), 12}, {slot(0, 3), 0x80010005u}, {slot(1, 0), 1}, {slot(1, 1), 12},
              {slot(1, 3), 6}, {slot(1, 4), 1}}, 1},
        {"ADDSE mode 3 keeps word 3", "ADDSE=0,-1,0,0,0,0,3,5", {{slot(0, 3), 77}}, {{slot(0, 0), 1}}, 1},
        {"ADDSE without a free slot", "ADDSE=0,-1,1,1,1,1,0,1", allTaken, {}, 0},
        {"MESSAGE rules chain", "MESSAGE=100,200\nMESSAGE=200,300", {}, {{s + 16804, 300}}, 1},
        {"MESSAGE rules in the other order", "MESSAGE=200,300\nMESSAGE=100,200", {}, {{s + 16804, 200}}, 1},
        {"MESSAGE last: no range sees it", "BGMNO=200,200,5\nMESSAGE=100,200", {}, {{s + 16804, 200}}, 1},
    };
    for (const Row& row : rows) {
        LoadRules(row.script);
        const std::string save = Edited(base, row.before);
        const auto [result, bytes] = Convert(save);
        EXPECT_EQ(result, row.result) << row.name;
        EXPECT_TRUE(bytes == Edited(save, row.after)) << row.name;
    }
}

TEST(ConvertSaveFile, FilenameRenamesEveryMatchBeforeGraphStatus) {
    const std::string n32(32, 'n');
    const std::string base = MakeSave({"bg01", "BG01", "bg01", n32});
    LoadRules("FILENAME=0,-1,bg01,bg02,Aface1,A,Cx\nGRAPHSTATUS=0,-1,bg02,filepos,5,6\n"
              "FILENAME=0,-1," + n32 + "x,wrong\nFILENAME=0,-1," + n32 + ",long");
    std::string expected = base;
    for (const uint32_t i : {0u, 2u}) {
        // A set sub-entry keeps its bytes 1 to 32 and those after its name.
        expected = Edited(expected, {{EntryAt(i) + 72, 5}, {EntryAt(i) + 76, 6}}, EntryAt(i) + 116,
                          std::string("bg02") + std::string(28, '\0'));
        expected[EntryAt(i) + 148] = expected[EntryAt(i) + 1268] = 1;
        expected.replace(EntryAt(i) + 148 + 33, 6, std::string("face1", 6));
        expected.replace(EntryAt(i) + 148 + 112, 112, std::string(112, '\0'));
        expected.replace(EntryAt(i) + 1268 + 33, 2, std::string("x", 2));
    }
    // A name filling its field is compared as its 32 bytes, never beyond.
    expected.replace(EntryAt(3) + 116, 32, std::string("long") + std::string(28, '\0'));
    const auto [result, bytes] = Convert(base);
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(bytes == expected);
}

TEST(ConvertSaveFile, AddsAndInsertsUpToSixtyThreeEntries) {
    const std::vector<std::string> two = {"bg01", "bg02"};
    struct Row { const char* name; std::vector<std::string> names; std::string script; std::vector<std::string> after; } rows[] = {
        {"append", two, "ADDGRAPH=0,-1,1,2,face,3", {"bg01", "bg02", "+face"}},
        {"insert at the first entry", two, "INSERTGRAPH=0,-1,1,2,face,3,bg01", {"+face", "bg01", "bg02"}},
        {"anchor in any letter case", two, "INSERTGRAPH=0,-1,1,2,face,3,BG02", {"bg01", "+face", "bg02"}},
        {"anchor on an added entry", two, "ADDGRAPH=0,-1,1,2,a,3\nINSERTGRAPH=0,-1,1,2,b,3,+A", {"bg01", "bg02", "+b", "+a"}},
        {"anchor without its +", two, "ADDGRAPH=0,-1,1,2,a,3\nINSERTGRAPH=0,-1,1,2,b,3,a", {"bg01", "bg02", "+a"}},
        {"added name in another case", two, "ADDGRAPH=0,-1,1,2,Face,3\nADDGRAPH=0,-1,1,2,fACE,3\nINSERTGRAPH=0,-1,1,2,FACE,3,bg01",
         {"bg01", "bg02", "+Face"}},
        {"a save's own added name", {"+face"}, "ADDGRAPH=0,-1,1,2,face,3", {"+face"}},
        {"missing anchor", two, "INSERTGRAPH=0,-1,1,2,face,3,bg03", two},
        {"out of range", two, "ADDGRAPH=101,-1,1,2,face,3\nINSERTGRAPH=0,99,1,2,face,3,bg01", two},
        {"62 entries take one", Numbered(62), "ADDGRAPH=0,-1,1,2,a,3\nINSERTGRAPH=0,-1,1,2,b,3,g0", Numbered(62, {"+a"})},
        {"63 entries take none", Numbered(63), "ADDGRAPH=0,-1,1,2,a,3\nINSERTGRAPH=0,-1,1,2,b,3,g0", Numbered(63)},
        {"64 entries take none", Numbered(64), "ADDGRAPH=0,-1,1,2,a,3\nINSERTGRAPH=0,-1,1,2,b,3,g0", Numbered(64)},
    };
    for (const Row& row : rows) {
        LoadRules(row.script);
        const std::string save = MakeSave(row.names);
        const auto [result, bytes] = Convert(save);
        const bool grown = row.after.size() > row.names.size();
        EXPECT_EQ(result, grown ? 1 : 0) << row.name;
        EXPECT_EQ(NamesOf(bytes), row.after) << row.name;
        EXPECT_EQ(bytes.size(), save.size() + kEntry * (row.after.size() - row.names.size())) << row.name;
        if (!grown) {
            EXPECT_TRUE(bytes == save) << row.name;
        }
    }
}

TEST(ConvertSaveFile, RebuildMovesEntriesAndSectionsByteForByte) {
    LoadRules("INSERTGRAPH=0,-1,0x11,0x22,ins,0x33,bg02\nADDGRAPH=0,-1,4,5,add,6\n"
              "GRAPHSTATUS=0,-1,+add,filepos,1,2\nMESSAGE=100,7");
    // Graph sections exactly as long as their entries, and 100 bytes longer.
    for (const uint32_t padding : {0u, 100u}) {
        const std::string save = MakeSave({"bg01", "bg02", "bg03"}, 100, padding);
        const auto [result, bytes] = Convert(save);
        EXPECT_EQ(result, 1);
        ASSERT_EQ(bytes.size(), save.size() + 2 * kEntry - padding) << padding;
        EXPECT_TRUE(bytes.substr(0, 12) == Edited(std::string(12, '\0'), {{0, 4 + 5 * kEntry}, {4, kMiddle}, {8, 5}}));
        // The inserted entry is the anchor's copy, its words and name written over the start of the old name.
        EXPECT_TRUE(bytes.substr(EntryAt(0), kEntry) == save.substr(EntryAt(0), kEntry));
        EXPECT_TRUE(bytes.substr(EntryAt(1), kEntry) == Edited(save.substr(EntryAt(1), kEntry),
                                                               {{0, 0x11}, {4, 0x22}, {8, 0x33}}, 116, {"+ins", 5}));
        EXPECT_TRUE(bytes.substr(EntryAt(2), 2 * kEntry) == save.substr(EntryAt(1), 2 * kEntry));
        EXPECT_TRUE(bytes.substr(EntryAt(4), kEntry) == AddedEntry(4, 5, 6, "+add"));
        // The middle and state sections follow unchanged, but for the message word MESSAGE set afterwards.
        const std::string tail = save.substr(8 + Get32(save, 0));
        EXPECT_TRUE(bytes.substr(EntryAt(5)) == Edited(tail, {{kMiddle + 16804, 7}}));
    }
    // The next save starts from its own list: its appended entry holds nothing of the last one's.
    const auto [result, bytes] = Convert(MakeSave({"bg09"}));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(NamesOf(bytes), (std::vector<std::string>{"bg09", "+add"}));
    EXPECT_TRUE(bytes.substr(EntryAt(1), kEntry) == AddedEntry(4, 5, 6, "+add"));
}

TEST(ConvertSaveFile, ImagesOutsideTheFormatAreLeftUntouched) {
    LoadRules("CHANGEPARAM=message,0,1\nADDGRAPH=0,-1,1,2,x,3");
    const std::string valid = MakeSave({"a", "b"});
    ASSERT_EQ(Convert(valid).first, 1);
    struct Row { const char* name; std::string save; } rows[] = {
        {"empty", ""},
        {"7 bytes", valid.substr(0, 7)},
        {"count above 64 with room for it", Edited(MakeSave({}, 100, 65 * kEntry), {{8, 65}})},
        {"M past the end", Edited(valid, {{4, static_cast<uint32_t>(valid.size())}})},
        {"G + M wrapping at 32 bits", Edited(valid, {{0, 0xFFFFF000u}, {4, 4 + 2 * kEntry + kMiddle + 0x1000}})},
        {"G below 4: a header alone", std::string(8, '\0')},
        {"G short of its count", Edited(valid, {{0, 4 + 2 * kEntry - 1}, {4, kMiddle + 1}})},
        {"state section of 17955 bytes", MakeSave({"a"}, 100, 0, 17955)},
    };
    for (const Row& row : rows) {
        const auto [result, bytes] = Convert(row.save);
        EXPECT_EQ(result, 0) << row.name;
        EXPECT_TRUE(bytes == row.save) << row.name;
    }
}

}  // namespace
