#include "update/check/Version.h"

#include <cstdint>

#include "update/check/ClientVersion.h"

const char kClientVersion[] = LUMORA_VERSION_TEXT;

namespace {
// Each character counts as (its signed 8-bit code - '0'), digits or not,
// exactly as the versions we have shipped compared them. The sum is formed
// in unsigned arithmetic so that huge components wrap instead of overflowing.
int32_t ReadComponent(const char*& p) {
    uint32_t nValue = 0;
    for (; *p && *p != '.'; ++p)
        nValue = nValue * 10u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)) - 48);
    return static_cast<int32_t>(nValue);
}
}  // namespace

int CompareVersionTexts(const char* s, const char* c) {
    if (!s || !*s || !c) return 0;
    for (;;) {
        int32_t nMine = ReadComponent(s);
        int32_t nClient = ReadComponent(c);
        if (nMine > nClient) return 1;
        if (nMine < nClient) return -1;
        if (*s == '\0' || *c == '\0') return 0;
        ++s;  // both stand on a '.'
        ++c;
        if (*s == '\0') return 0;
    }
}

int CompareVersion(const char* pszVersion) { return CompareVersionTexts(pszVersion, kClientVersion); }
