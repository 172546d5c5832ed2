// Signed manifests: which bytes the publisher signs, how the signature and
// the expiry time are written, and every rule of trust short of the
// cryptography itself (which the platform does, see update/manifest/Trust.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "update/manifest/Manifest.h"

enum : size_t { kSignatureBytes = 64, kPublicKeyBytes = 64 };

// The exact text the publisher signs: a fixed first line, then one
// "name=value" line for each signed element, each line ending in one LF.
// Values are taken as read, bytes unchanged; an absent element is empty.
// With a rollout or a mirror, the first line names format 2 and a rollout
// line and one line per mirror follow.
std::string SignedManifestText(const ManifestValues& values);

// Standard base64 with "=" padding; blanks around the text are ignored,
// anything else that is not canonical base64 is refused.
bool DecodeBase64(const char* pszText, std::string& out);

// "YYYY-MM-DDTHH:MM:SSZ" exactly, a real UTC calendar time, into seconds
// since 1970-01-01T00:00:00Z.
bool ParseUtcTime(const char* pszText, int64_t& nSeconds);

enum class ManifestTrust {
    Trusted,
    NotSigned,     // no signature, or one that is not 64 bytes of base64
    BadSignature,  // does not verify against the built-in key
    NoIntegrity,   // size or sha256 missing or malformed
    BadExpiry,     // expires missing or malformed
    Expired,
    NulInValue,   // a signed value was cut by a NUL character
    BadControls,  // a malformed rollout, an empty mirror, too many mirrors
};

// Verifies a signature over a message with the built-in public key.
using SignatureVerifier = bool (*)(const std::string& message, const uint8_t (&signature)[kSignatureBytes]);

// Applies every rule: the publisher's controls must be well formed, the
// signature must verify over SignedManifestText,
// size and sha256 must be present and well formed, and expires must be well
// formed and later than nNowUtc.
ManifestTrust CheckManifestTrust(const ManifestValues& values, int64_t nNowUtc, SignatureVerifier verify);
