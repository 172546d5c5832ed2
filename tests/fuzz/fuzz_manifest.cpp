// Bytes of a fetched manifest -> the values and the update decision. Must
// never crash, hang or read out of bounds, whatever the server sends.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "update/check/Decision.h"
#include "update/manifest/Integrity.h"
#include "update/manifest/Manifest.h"
#include "update/manifest/Signature.h"
#include "update/check/Version.h"

namespace {
bool g_bAccept;
bool Verify(const std::string&, const uint8_t (&)[kSignatureBytes]) { return g_bAccept; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ManifestValues v;
    if (!ReadManifest(reinterpret_cast<const char*>(data), size, v)) return 0;
    // Every value is terminated inside its buffer.
    if (!std::memchr(v.szVersion, 0, sizeof(v.szVersion)) || !std::memchr(v.szUrl, 0, sizeof(v.szUrl)) ||
        !std::memchr(v.szForce, 0, sizeof(v.szForce)))
        __builtin_trap();
    int cmp = CompareVersion(v.szVersion);
    if (cmp < -1 || cmp > 1) __builtin_trap();
    IntegrityExpectation want;
    ParseIntegrity(v.szSize, v.szSha256, want);
    DecideUpdate(cmp, false, ParseForce(v.szForce), true);
    // Everything a signed build does with the values short of the platform's
    // cryptography, under a verifier that says yes or no.
    g_bAccept = size & 1;
    CheckManifestTrust(v, 1893456000, Verify);
    std::string raw;
    if (DecodeBase64(v.szSignature, raw) && raw.size() > 3 * sizeof(v.szSignature) / 4) __builtin_trap();
    int64_t t = 0;
    ParseUtcTime(v.szExpires, t);
    return 0;
}
