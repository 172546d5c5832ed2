// Optional integrity values of the manifest: the installer's size in bytes
// and its SHA-256 digest. Absent values check nothing.
#pragma once

#include <cstdint>

struct IntegrityExpectation {
    bool bHasSize = false;
    uint64_t nSize = 0;
    bool bHasSha256 = false;
    uint8_t sha256[32] = {};
};

// Reads the manifest texts. Empty texts mean "not given". False when a given
// text is malformed (size: decimal digits only, with surrounding blanks
// allowed; sha256: exactly 64 hex digits): such a manifest cannot be trusted.
bool ParseIntegrity(const char* pszSize, const char* pszSha256, IntegrityExpectation& out);

// Each given value checked on its own; Unchecked where the manifest gave none.
enum class IntegrityPart { Unchecked, Ok, Mismatch };
struct IntegrityCheck {
    IntegrityPart size, sha256;
    bool Matches() const { return size != IntegrityPart::Mismatch && sha256 != IntegrityPart::Mismatch; }
};
IntegrityCheck CheckIntegrity(const IntegrityExpectation& want, uint64_t nSize, const uint8_t* pSha256);

// True when the received body matches everything that was given.
bool MatchesIntegrity(const IntegrityExpectation& want, uint64_t nSize, const uint8_t* pSha256);
