// Appending to and clearing the byte-patch and conversion-rule tables.
#include "script/rule_tables.h"

#include <cstring>

FixedTable<FilePatch, kRuleTableCapacity> g_filePatchTable;
FixedTable<ConvertRule, kRuleTableCapacity> g_convertRuleTable;

namespace {

// Payload words each kind fills, by kind (index 0 unused).
constexpr uint32_t kWordsPerKind[] = {
    0,
    sizeof(FilenameRule) / 4,       // 1 FILENAME: 356
    sizeof(MessageRule) / 4,        // 2 MESSAGE: 2
    sizeof(RangeValueRule) / 4,     // 3 BGMNO: 3
    sizeof(RangeValueRule) / 4,     // 4 LOOPSENO: 3
    sizeof(GraphStatusRule) / 4,    // 5 GRAPHSTATUS: 23
    sizeof(ChangeParamRule) / 4,    // 6 CHANGEPARAM: 3
    offsetof(AddGraphRule, anchorName) / 4,  // 7 ADDGRAPH: 21
    sizeof(AddGraphRule) / 4,       // 8 INSERTGRAPH: 37
    sizeof(ChangeSeRule) / 4,       // 9 CHANGESE: 9
    sizeof(AddSeRule) / 4,          // 10 ADDSE: 9
};
static_assert(kWordsPerKind[kRuleFilename] == 356 && kWordsPerKind[kRuleMessage] == 2 &&
              kWordsPerKind[kRuleBgmNo] == 3 && kWordsPerKind[kRuleGraphStatus] == 23 &&
              kWordsPerKind[kRuleAddGraph] == 21 && kWordsPerKind[kRuleInsertGraph] == 37 &&
              kWordsPerKind[kRuleChangeSe] == 9 && kWordsPerKind[kRuleAddSe] == 9);

}  // namespace

uint32_t RuleWordCount(uint32_t kind) {
    if (kind < kRuleFilename || kind > kRuleAddSe) return 0;
    return kWordsPerKind[kind];
}

int AddRule(uint32_t kind, const ConvertRulePayload& payload) {
    const uint32_t words = RuleWordCount(kind);
    if (words == 0 || g_convertRuleTable.count >= kRuleTableCapacity) return 0;
    ConvertRule& rule = g_convertRuleTable.records[g_convertRuleTable.count];
    rule.kind = kind;
    std::memcpy(rule.payload.words, payload.words, words * 4);
    ++g_convertRuleTable.count;
    return 1;
}

int AddFilePatch(const FilePatch& patch) {
    return AddRecord(g_filePatchTable, patch);
}

void ClearRules() {
    ClearTable(g_convertRuleTable);
}

void ClearFilePatches() {
    ClearTable(g_filePatchTable);
}
