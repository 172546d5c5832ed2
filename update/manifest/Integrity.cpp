#include "update/manifest/Integrity.h"

#include <cstring>

#include "common/Text.h"

namespace {
int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

bool ParseIntegrity(const char* pszSize, const char* pszSha256, IntegrityExpectation& out) {
    out = IntegrityExpectation();
    const std::string_view size = TrimBlanks(pszSize ? pszSize : "");
    if (!size.empty()) {
        // Nineteen digits are beyond any real installer.
        if (size.size() > 19 || !ParseDecimal(size, UINT64_MAX, out.nSize)) return false;
        out.bHasSize = true;
    }
    const std::string_view sha = TrimBlanks(pszSha256 ? pszSha256 : "");
    const char* p = sha.data();
    if (!sha.empty()) {
        if (sha.size() != 64) return false;
        for (size_t i = 0; i < 32; ++i) {
            int hi = HexValue(p[2 * i]), lo = HexValue(p[2 * i + 1]);
            if (hi < 0 || lo < 0) return false;
            out.sha256[i] = static_cast<uint8_t>(hi * 16 + lo);
        }
        out.bHasSha256 = true;
    }
    return true;
}

IntegrityCheck CheckIntegrity(const IntegrityExpectation& want, uint64_t nSize, const uint8_t* pSha256) {
    using P = IntegrityPart;
    return {!want.bHasSize        ? P::Unchecked
            : want.nSize == nSize ? P::Ok
                                  : P::Mismatch,
            !want.bHasSha256                                        ? P::Unchecked
            : pSha256 && std::memcmp(want.sha256, pSha256, 32) == 0 ? P::Ok
                                                                    : P::Mismatch};
}

bool MatchesIntegrity(const IntegrityExpectation& want, uint64_t nSize, const uint8_t* pSha256) {
    return CheckIntegrity(want, nSize, pSha256).Matches();
}
