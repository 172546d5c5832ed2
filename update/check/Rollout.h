// Staged rollouts: a release is offered to a whole percentage of machines.
// Each machine and user draws a cohort from 0 to 99 per version, so every
// release samples another group, nothing is stored, and raising the
// percentage keeps everyone already in.
#pragma once

#include <string>

// The rollout text as the manifest gives it: 1 to 100, written as plain
// decimal digits without sign, blanks or leading zeros; 0 for anything else.
int ParseRollout(const char* pszText);

// The first four bytes of SHA-256 of "lumora-rollout\n<guid>\n<sid>\n<version>",
// big-endian, modulo 100. The texts are taken as bytes.
int RolloutCohort(const std::string& machineGuid, const std::string& userSid, const std::string& version);
