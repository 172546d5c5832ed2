// Who this machine and user are to a staged rollout, read from the system.
#include "update/check/MachineIdentity.h"

#include <gtest/gtest.h>

#include "tests/native/rollout_vectors.h"
#include "update/check/Rollout.h"

TEST(RolloutCohort, AgreesWithThePublishersToolHereToo) {
    for (const RolloutVector& v : kRolloutVectors)
        EXPECT_EQ(RolloutCohort(v.pszMachineGuid, v.pszSid, v.pszVersion), v.nCohort)
            << v.pszSid << " " << v.pszVersion;
    // What this machine and user feed it (a Wine prefix has both).
    EXPECT_EQ(ReadMachineGuid().size(), 36u) << ReadMachineGuid();
    EXPECT_EQ(ReadUserSid().rfind("S-1-5-21-", 0), 0u) << ReadUserSid();
}
