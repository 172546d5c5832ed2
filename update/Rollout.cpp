#include "update/Rollout.h"

#include <cstdint>

#include "update/Sha256.h"

int ParseRollout(const char* p) {
    if (!p || *p < '1' || *p > '9') return 0;
    int n = 0;
    for (int i = 0; p[i]; ++i) {
        if (i == 3 || p[i] < '0' || p[i] > '9') return 0;
        n = n * 10 + (p[i] - '0');
    }
    return n <= 100 ? n : 0;
}

int RolloutCohort(const std::string& machineGuid, const std::string& userSid, const std::string& version) {
    const std::string text = "lumora-rollout\n" + machineGuid + "\n" + userSid + "\n" + version;
    uint8_t digest[32];
    Sha256(text.data(), text.size(), digest);
    const uint32_t n = uint32_t(digest[0]) << 24 | uint32_t(digest[1]) << 16 | uint32_t(digest[2]) << 8 | digest[3];
    return static_cast<int>(n % 100);
}
