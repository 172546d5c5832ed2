// Cohorts computed by tools/sign-manifest.py cohort; the updater must agree
// with the publisher's tool on every platform.
#pragma once

struct RolloutVector {
    const char* pszMachineGuid;
    const char* pszSid;
    const char* pszVersion;
    int nCohort;
};

const RolloutVector kRolloutVectors[] = {
    {"6f1b2c3d-4e5f-4071-8293-a4b5c6d7e8f9", "S-1-5-21-1004336348-1177238915-682003330-1001", "1.1.1.3", 57},
    {"6f1b2c3d-4e5f-4071-8293-a4b5c6d7e8f9", "S-1-5-21-1004336348-1177238915-682003330-1001", "1.1.1.4", 60},
    {"6f1b2c3d-4e5f-4071-8293-a4b5c6d7e8f9", "S-1-5-21-1004336348-1177238915-682003330-1002", "1.1.1.3", 17},
    {"", "S-1-5-21-0-0-0-1000", "1.1.1.3", 97},  // no MachineGuid
};
