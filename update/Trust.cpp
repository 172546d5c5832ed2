#include "update/Trust.h"

#include <cstring>

#include "common/BCrypt.h"

namespace {
// A null handle when the platform has no such algorithm.
CBCryptAlgorithm OpenAlgorithm(const wchar_t* pszId) {
    CBCryptAlgorithm alg;
    if (BCryptOpenAlgorithmProvider(alg.Put(), pszId, nullptr, 0) < 0) alg.Release();
    return alg;
}

int64_t NowUtcSeconds() {
    FILETIME ft;
    ::GetSystemTimeAsFileTime(&ft);
    const uint64_t n100ns = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    const uint64_t kEpochDelta = 11644473600ull;  // 1601-01-01 to 1970-01-01 in seconds
    return static_cast<int64_t>(n100ns / 10000000ull - kEpochDelta);
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
    return CheckManifestTrust(values, NowUtcSeconds(), VerifyWithBuiltInKeys);
}

bool Sha256OfFile(HANDLE hFile, uint8_t (&digest)[32]) {
    CSha256 hash;
    uint64_t nRead = 0;
    return hash.Start() && AddFileStart(hash, hFile, UINT64_MAX, nRead) && hash.Finish(digest);
}

CHandle OpenVerifiedInstaller(const wchar_t* pszPath, const IntegrityExpectation& want) {
    CHandle file(::CreateFileW(pszPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.IsValid()) return file;
    LARGE_INTEGER size = {};
    uint8_t digest[32];
    const bool bRead = (!want.bHasSize || ::GetFileSizeEx(file.Get(), &size)) &&
                       (!want.bHasSha256 || Sha256OfFile(file.Get(), digest));
    if (!bRead || !MatchesIntegrity(want, static_cast<uint64_t>(size.QuadPart), want.bHasSha256 ? digest : nullptr))
        file.Close();
    return file;
}
