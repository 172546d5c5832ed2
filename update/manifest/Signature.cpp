#include "update/manifest/Signature.h"

#include <cstring>

#include "common/Text.h"
#include "update/manifest/Integrity.h"

std::string SignedManifestText(const ManifestValues& v) {
    const struct {
        const char* pszName;
        const char* pszValue;
    } lines[] = {
        {"version", v.szVersion}, {"url", v.szUrl},       {"force", v.szForce},
        {"size", v.szSize},       {"sha256", v.szSha256}, {"expires", v.szExpires},
    };
    // The publisher's controls make it the second format, so that adding or
    // removing any of them breaks the signature.
    const bool bFormat2 = HasPublisherControls(v);
    std::string text = bFormat2 ? "lumora-update-manifest/2\n" : "lumora-update-manifest/1\n";
    const auto add = [&text](const char* pszName, const char* pszValue) {
        text += pszName;
        text += '=';
        text += pszValue;
        text += '\n';
    };
    for (const auto& line : lines) add(line.pszName, line.pszValue);
    if (!bFormat2) return text;
    add("rollout", v.szRollout);
    for (size_t i = 0; i < v.nMirrors && i < kMaxMirrors; ++i) add("mirror", v.szMirrors[i]);
    return text;
}

namespace {
int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// nDigits digits, all there (the caller checked the text's length).
bool ReadNumber(const char* p, size_t nDigits, int& nOut) {
    uint64_t n = 0;
    if (!ParseDecimal(std::string_view(p, nDigits), 9999, n)) return false;
    nOut = static_cast<int>(n);
    return true;
}

// Days from 1970-01-01 to the given proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}
}  // namespace

bool DecodeBase64(const char* pszText, std::string& out) {
    out.clear();
    const std::string_view text = TrimBlanks(pszText ? pszText : "");
    const char* p = text.data();
    const size_t n = text.size();
    if (n == 0 || n % 4 != 0) return false;
    size_t nPad = p[n - 1] == '=' ? (p[n - 2] == '=' ? 2 : 1) : 0;
    for (size_t i = 0; i < n; i += 4) {
        const bool bLast = i + 4 == n;
        uint32_t nGroup = 0;
        for (size_t k = 0; k < 4; ++k) {
            const char c = p[i + k];
            int v = Base64Value(c);
            if (v < 0) {
                // Padding only at the very end.
                if (c != '=' || !bLast || k < 4 - nPad) return false;
                v = 0;
            }
            nGroup = nGroup << 6 | static_cast<uint32_t>(v);
        }
        const char bytes[3] = {static_cast<char>(nGroup >> 16), static_cast<char>(nGroup >> 8),
                               static_cast<char>(nGroup)};
        const size_t nKeep = bLast ? 3 - nPad : 3;
        // Bits under the padding must be zero, or two texts would decode alike.
        if (bLast && ((nPad == 1 && (nGroup & 0xFF)) || (nPad == 2 && (nGroup & 0xFFFF)))) return false;
        out.append(bytes, nKeep);
    }
    return true;
}

bool ParseUtcTime(const char* pszText, int64_t& nSeconds) {
    static const char kShape[] = "dddd-dd-ddTdd:dd:ddZ";
    if (!pszText || std::strlen(pszText) != sizeof(kShape) - 1) return false;
    for (size_t i = 0; kShape[i]; ++i)
        if (kShape[i] != 'd' && pszText[i] != kShape[i]) return false;
    int y, mo, d, h, mi, s;
    if (!ReadNumber(pszText, 4, y) || !ReadNumber(pszText + 5, 2, mo) || !ReadNumber(pszText + 8, 2, d) ||
        !ReadNumber(pszText + 11, 2, h) || !ReadNumber(pszText + 14, 2, mi) || !ReadNumber(pszText + 17, 2, s))
        return false;
    static const int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool bLeap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1] || (mo == 2 && d == 29 && !bLeap)) return false;
    if (h > 23 || mi > 59 || s > 59) return false;
    nSeconds = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400 + h * 3600 + mi * 60 + s;
    return true;
}

ManifestTrust CheckManifestTrust(const ManifestValues& v, int64_t nNowUtc, SignatureVerifier verify) {
    if (v.bSignedValueHasNul) return ManifestTrust::NulInValue;
    if (!PublisherControlsValid(v)) return ManifestTrust::BadControls;
    std::string signature;
    if (!DecodeBase64(v.szSignature, signature) || signature.size() != kSignatureBytes) return ManifestTrust::NotSigned;
    uint8_t sig[kSignatureBytes];
    std::memcpy(sig, signature.data(), sizeof(sig));
    if (!verify || !verify(SignedManifestText(v), sig)) return ManifestTrust::BadSignature;
    IntegrityExpectation integrity;
    if (!ParseIntegrity(v.szSize, v.szSha256, integrity) || !integrity.bHasSize || !integrity.bHasSha256)
        return ManifestTrust::NoIntegrity;
    int64_t nExpires = 0;
    if (!ParseUtcTime(v.szExpires, nExpires)) return ManifestTrust::BadExpiry;
    if (nExpires <= nNowUtc) return ManifestTrust::Expired;
    return ManifestTrust::Trusted;
}
