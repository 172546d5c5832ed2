#include "update/check/Decision.h"

#include <gtest/gtest.h>

TEST(DecideUpdate, Table) {
    using A = UpdateAction;
    // Newer version: force 1 downloads at once, anything else asks.
    EXPECT_EQ(DecideUpdate(1, false, 1, false), A::StartDownload);
    EXPECT_EQ(DecideUpdate(1, false, 1, true), A::StartDownload);
    EXPECT_EQ(DecideUpdate(1, false, 0, false), A::ShowNewVersion);
    EXPECT_EQ(DecideUpdate(1, false, 2, true), A::ShowNewVersion);
    EXPECT_EQ(DecideUpdate(1, false, -1, false), A::ShowNewVersion);
    // Not newer: the prompt decides between telling and closing.
    EXPECT_EQ(DecideUpdate(0, false, 1, true), A::ShowNoUpdate);
    EXPECT_EQ(DecideUpdate(-1, false, 0, true), A::ShowNoUpdate);
    EXPECT_EQ(DecideUpdate(0, false, 1, false), A::CloseWindow);
    EXPECT_EQ(DecideUpdate(-1, false, 0, false), A::CloseWindow);
    // The test switch makes any version count as newer.
    EXPECT_EQ(DecideUpdate(-1, true, 0, false), A::ShowNewVersion);
    EXPECT_EQ(DecideUpdate(0, true, 1, false), A::StartDownload);
}

TEST(DecideUpdate, TestSwitchNeverDowngradesASignedBuild) {
    const struct {
        bool bTest;
        int nCompare;
        bool bKeyed, bCounts;
    } cases[] = {
        {true, -1, false, true},  {true, 0, false, true},  {true, 1, false, true},  // without a key: any version
        {true, -1, true, false},  {true, 0, true, true},   {true, 1, true, true},   // with one: never older
        {false, 1, false, false}, {false, 1, true, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TestSwitchCounts(c.bTest, c.nCompare, c.bKeyed), c.bCounts) << c.nCompare << " " << c.bKeyed;
}
