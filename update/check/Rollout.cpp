#include "update/check/Rollout.h"

#include <cstdint>

#include "common/Sha256.h"
#include "common/Text.h"

int ParseRollout(const char* p) {
    uint64_t n = 0;
    // No leading zero: "050" is not how the signing tool writes 50.
    if (!p || *p == '0' || !ParseDecimal(p, 100, n)) return 0;
    return static_cast<int>(n);
}

int RolloutCohort(const std::string& machineGuid, const std::string& userSid, const std::string& version) {
    const std::string text = "lumora-rollout\n" + machineGuid + "\n" + userSid + "\n" + version;
    uint8_t digest[32];
    Sha256(text.data(), text.size(), digest);
    const uint32_t n = uint32_t(digest[0]) << 24 | uint32_t(digest[1]) << 16 | uint32_t(digest[2]) << 8 | digest[3];
    return static_cast<int>(n % 100);
}
