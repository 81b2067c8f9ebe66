// Conversion of one save file (save???.sav) by the conversion rules.
//
// A save is a header of two lengths, the graph section (an entry count and
// 2400-byte graph entries), a middle section carried over unchanged, and the
// state section to the end of the file. The rules rename, set, add and insert
// graph entries, set words and SE slots of the state section, and rewrite its
// message word; every rule but MESSAGE and CHANGEPARAM acts only on a save
// whose message word lies in the rule's range.
#pragma once

#include <cstdint>
#include <memory>

// One save file's bytes in memory.
struct SaveImage {
    std::unique_ptr<unsigned char[]> bytes;  // length bytes of the file
    uint32_t length;                         // the file's length in bytes
};

// Applies every rule of g_convertRuleTable to image, in four passes over the
// table, each in table order: FILENAME; BGMNO, LOOPSENO, GRAPHSTATUS,
// CHANGEPARAM, CHANGESE and ADDSE; ADDGRAPH and INSERTGRAPH on a copy of the
// graph list; MESSAGE, each rule seeing the message word an earlier one set.
// Every range test sees the message word the save was loaded with.
//
// Returns 1 when anything in the image changed, 0 otherwise (also when the
// image does not have the save format: then it is left exactly as it was).
// When entries were added the image is replaced by the rebuilt one, whose
// graph section holds exactly its count and entries: longer by 2400 bytes per
// added entry when it held nothing more before. When the rebuilt image cannot
// be obtained the additions are lost and every other change stays.
int ConvertSaveFile(SaveImage* image);
