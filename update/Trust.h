// What this build trusts: the publisher's key compiled in (if any), the
// platform's verification of signatures and digests, and the folders the
// updater writes into (FolderSecurity.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/Handle.h"
#include "update/FolderSecurity.h"
#include "update/Integrity.h"
#include "update/Manifest.h"
#include "update/Signature.h"

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

// SHA-256 of a whole file read through an open handle from its start.
bool Sha256OfFile(HANDLE hFile, uint8_t (&digest)[32]);
// Opens a saved installer so that nobody can write, replace or delete it
// while the handle is held, and checks it against the size and digest it
// must have. An invalid handle when it cannot be opened or does not match.
CHandle OpenVerifiedInstaller(const wchar_t* pszPath, const IntegrityExpectation& want);
