#include "update/Integrity.h"

#include <cstring>

namespace {
bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Trims blanks; returns the trimmed length and moves p to the first character.
size_t Trim(const char*& p) {
    while (*p && IsBlank(*p)) ++p;
    size_t n = std::strlen(p);
    while (n && IsBlank(p[n - 1])) --n;
    return n;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

bool ParseIntegrity(const char* pszSize, const char* pszSha256, IntegrityExpectation& out) {
    out = IntegrityExpectation();
    const char* p = pszSize ? pszSize : "";
    size_t n = Trim(p);
    if (n) {
        if (n > 19) return false;  // beyond any real installer, and beyond uint64 overflow
        uint64_t nValue = 0;
        for (size_t i = 0; i < n; ++i) {
            if (p[i] < '0' || p[i] > '9') return false;
            nValue = nValue * 10 + static_cast<uint64_t>(p[i] - '0');
        }
        out.bHasSize = true;
        out.nSize = nValue;
    }
    p = pszSha256 ? pszSha256 : "";
    n = Trim(p);
    if (n) {
        if (n != 64) return false;
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
    return {!want.bHasSize ? P::Unchecked : want.nSize == nSize ? P::Ok : P::Mismatch,
            !want.bHasSha256                                                ? P::Unchecked
            : pSha256 && std::memcmp(want.sha256, pSha256, 32) == 0 ? P::Ok
                                                                            : P::Mismatch};
}

bool MatchesIntegrity(const IntegrityExpectation& want, uint64_t nSize, const uint8_t* pSha256) {
    return CheckIntegrity(want, nSize, pSha256).Matches();
}
