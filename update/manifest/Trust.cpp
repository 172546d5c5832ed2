#include "update/manifest/Trust.h"

#include <cstring>

#include "common/BCrypt.h"
#include "common/UtcTime.h"

namespace {
// A null handle when the platform has no such algorithm.
CBCryptAlgorithm OpenAlgorithm(const wchar_t* pszId) {
    CBCryptAlgorithm alg;
    if (BCryptOpenAlgorithmProvider(alg.Put(), pszId, nullptr, 0) < 0) alg.Release();
    return alg;
}

bool VerifyWithBuiltInKeys(const std::string& message, const uint8_t (&signature)[kSignatureBytes]) {
    for (size_t i = 0; i < kUpdatePublicKeyCount && i < kMaxUpdatePublicKeys; ++i)
        if (VerifyP256Signature(kUpdatePublicKeys[i], message, signature)) return true;
    return false;
}
}  // namespace

bool VerifyP256Signature(const uint8_t (&key)[kPublicKeyBytes], const std::string& message,
                         const uint8_t (&signature)[kSignatureBytes]) {
    uint8_t digest[32];
    CSha256 hash;
    if (!hash.Start() || !hash.Add(message.data(), message.size()) || !hash.Finish(digest)) return false;

    const CBCryptAlgorithm ecdsa = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
    if (!ecdsa) return false;
    struct {
        BCRYPT_ECCKEY_BLOB header;
        uint8_t xy[kPublicKeyBytes];
    } blob = {{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, kPublicKeyBytes / 2}, {}};
    std::memcpy(blob.xy, key, sizeof(blob.xy));
    CBCryptKey pub;
    if (BCryptImportKeyPair(ecdsa.Get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, pub.Put(), reinterpret_cast<PUCHAR>(&blob),
                            sizeof(blob), 0) < 0) {
        pub.Release();
        return false;
    }
    return BCryptVerifySignature(pub.Get(), nullptr, digest, sizeof(digest), const_cast<PUCHAR>(signature),
                                 kSignatureBytes, 0) == 0;
}

ManifestTrust CheckManifestTrust(const ManifestValues& values) {
    return CheckManifestTrust(values, UtcSecondsNow(), VerifyWithBuiltInKeys);
}
