// Who this is to a staged rollout (update/check/Rollout.h): the machine's
// MachineGuid and the current user's SID, as text.
#pragma once

#include <string>

// HKLM\SOFTWARE\Microsoft\Cryptography\MachineGuid from the 64-bit view (a
// 32-bit process would otherwise be sent to a key that lacks it); empty
// when absent or not a string.
std::string ReadMachineGuid();
// The current user's SID in its string form (S-1-5-...); empty when the
// process token cannot tell.
std::string ReadUserSid();
