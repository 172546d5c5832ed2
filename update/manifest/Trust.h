// What this build trusts: the publisher's keys compiled in (if any), and the
// platform's verification of a signature under them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "update/manifest/Manifest.h"
#include "update/manifest/Signature.h"

// Defined per executable by the build (LUMORA_UPDATE_PUBLIC_KEY): X then Y
// of each of the publisher's ECDSA P-256 keys; a manifest signed with any of
// them is trusted. Without a key the build acts on any manifest, as updaters
// before signing did.
enum : size_t { kMaxUpdatePublicKeys = 3 };
extern const bool kHasUpdatePublicKey;
extern const size_t kUpdatePublicKeyCount;
extern const uint8_t kUpdatePublicKeys[kMaxUpdatePublicKeys][kPublicKeyBytes];

// ECDSA P-256 over SHA-256 of the message, r then s; false on any error.
bool VerifyP256Signature(const uint8_t (&key)[kPublicKeyBytes], const std::string& message,
                         const uint8_t (&signature)[kSignatureBytes]);
// The manifest's trust under the built-in keys at the current UTC time.
ManifestTrust CheckManifestTrust(const ManifestValues& values);
