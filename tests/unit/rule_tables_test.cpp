#include "convert/rule_tables.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(AddRuleTest, CopiesOnlyTheWordsOfItsKind) {
    struct Row { uint32_t kind; uint32_t words; } rows[] = {
        {kRuleFilename, 356}, {kRuleMessage, 2},      {kRuleBgmNo, 3},       {kRuleLoopSeNo, 3},
        {kRuleGraphStatus, 23}, {kRuleChangeParam, 3}, {kRuleAddGraph, 21},  {kRuleInsertGraph, 37},
        {kRuleChangeSe, 9},   {kRuleAddSe, 9},
    };
    ConvertRulePayload payload;
    for (uint32_t& word : payload.words) word = 0xA5A5A5A5u;
    for (const Row& row : rows) {
        ClearRules();
        ASSERT_EQ(AddRule(row.kind, payload), 1) << row.kind;
        const ConvertRule& rule = g_convertRuleTable.records[0];
        EXPECT_EQ(rule.kind, row.kind);
        uint32_t copied = 0;
        while (copied < kRulePayloadWords && rule.payload.words[copied] == 0xA5A5A5A5u) ++copied;
        EXPECT_EQ(copied, row.words) << "kind " << row.kind;
        for (uint32_t i = copied; i < kRulePayloadWords; ++i) {
            ASSERT_EQ(rule.payload.words[i], 0u) << "kind " << row.kind << " word " << i;
        }
    }
}

TEST(AddRuleTest, RefusesUnknownKinds) {
    ClearRules();
    const ConvertRulePayload payload{};
    EXPECT_EQ(AddRule(0, payload), 0);
    EXPECT_EQ(AddRule(11, payload), 0);
    EXPECT_EQ(g_convertRuleTable.count, 0u);
}

}  // namespace
