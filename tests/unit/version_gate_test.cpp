#include "shell/version_gate.h"

#include <gtest/gtest.h>

TEST(ChooseEditionVersions, AddContentsSelectsSecondMemberOfEveryPair) {
    UpdateSettings settings{};
    settings.newVersion = {1020, 1021};
    settings.supportVersion = {1000, 1001};
    settings.saveVersion = {1010, 1011};
    struct Row { const char* name; uint32_t addContents; VersionNumber newV, support, save; } rows[] = {
        {"standard", 0, 1020, 1000, 1010},
        {"add-contents", 1, 1021, 1001, 1011},
        {"any non-zero value", 0x80000000u, 1021, 1001, 1011},
    };
    for (const Row& row : rows) {
        const EditionVersions versions = ChooseEditionVersions(settings, row.addContents);
        EXPECT_EQ(versions.newVersion, row.newV) << row.name;
        EXPECT_EQ(versions.supportVersion, row.support) << row.name;
        EXPECT_EQ(versions.saveVersion, row.save) << row.name;
    }
}

TEST(DecideVersionGate, AsksWhenAppliedAndRefusesBelowSupport) {
    // answer: to the already-applied question, when asks says it is asked.
    struct Row { const char* name; VersionNumber installed, newV, support; int answer, asks; GateOutcome outcome; }
    rows[] = {
        {"older than new, supported", 1000, 1020, 1000, 0, 0, kGateOpenDialog},
        {"equal to new, OK", 1020, 1020, 1000, 1, 1, kGateOpenDialog},
        {"equal to new, Cancel", 1020, 1020, 1000, 0, 1, kGateDeclined},
        {"newer than new, OK", 1030, 1020, 1000, 1, 1, kGateOpenDialog},
        {"below support", 1000, 1020, 1010, 1, 0, kGateTooOld},
        {"support above new, OK then too old", 1020, 1020, 1030, 1, 1, kGateTooOld},
        {"support above new, Cancel", 1020, 1020, 1030, 0, 1, kGateDeclined},
        {"compared unsigned", 0x80000000u, 0xFFFFFFFFu, 1000, 0, 0, kGateOpenDialog},
        {"largest installed asks", 0xFFFFFFFFu, 0x80000000u, 0, 0, 1, kGateDeclined},
    };
    for (const Row& row : rows) {
        const EditionVersions versions{row.newV, row.support, 0};
        EXPECT_EQ(AsksApplyAgain(row.installed, row.newV), row.asks) << row.name;
        EXPECT_EQ(DecideVersionGate(row.installed, versions, row.answer), row.outcome) << row.name;
    }
}
