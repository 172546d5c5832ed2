// Staged rollouts: the rollout value, and the cohort the publisher's tool
// computes for a machine, user and version.
#include "update/check/Rollout.h"

#include <gtest/gtest.h>

#include "tests/native/rollout_vectors.h"

TEST(RolloutCohort, AgreesWithThePublishersTool) {
    for (const RolloutVector& v : kRolloutVectors)
        EXPECT_EQ(RolloutCohort(v.pszMachineGuid, v.pszSid, v.pszVersion), v.nCohort)
            << v.pszSid << " " << v.pszVersion;
}

TEST(ParseRollout, WholePercentagesOnly) {
    const struct {
        const char* pszText;
        int nWant;
    } cases[] = {
        {"1", 1},  {"5", 5},  {"99", 99}, {"100", 100}, {"0", 0},  {"101", 0}, {"1000", 0}, {"05", 0},
        {"+5", 0}, {"-5", 0}, {" 5", 0},  {"5 ", 0},    {"5%", 0}, {"2.5", 0}, {"", 0},     {"0x10", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseRollout(c.pszText), c.nWant) << '"' << c.pszText << '"';
}
