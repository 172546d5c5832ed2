// Signed manifests without the cryptography: the signed text, the encodings
// of signature and expiry, and the rules of trust; and the timed pause.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "update/manifest/Signature.h"

namespace {
ManifestValues Values(const char* pszVersion, const char* pszUrl, const char* pszForce, const char* pszSize,
                      const char* pszSha256, const char* pszExpires, const char* pszSignature = "") {
    ManifestValues v;
    std::memset(&v, 0, sizeof(v));
    std::strcpy(v.szVersion, pszVersion);
    std::strcpy(v.szUrl, pszUrl);
    std::strcpy(v.szForce, pszForce);
    std::strcpy(v.szSize, pszSize);
    std::strcpy(v.szSha256, pszSha256);
    std::strcpy(v.szExpires, pszExpires);
    std::strcpy(v.szSignature, pszSignature);
    return v;
}

const std::string kSha(64, 'a');
// 64 bytes 0x00..0x3F, base64.
const char kSig64[] = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4OTo7PD0+Pw==";
// 2030-01-01T00:00:00Z
const int64_t k2030 = 1893456000;

std::string g_lastSigned;
bool AcceptAll(const std::string& text, const uint8_t (&)[kSignatureBytes]) {
    g_lastSigned = text;
    return true;
}
bool RejectAll(const std::string&, const uint8_t (&)[kSignatureBytes]) { return false; }
}  // namespace

TEST(SignedManifestText, ValuesAsReadOneLineEach) {
    // Absent elements are empty, blanks and GBK bytes are kept as they are.
    EXPECT_EQ(SignedManifestText(Values("1.1.1.3", "http://h/a b.exe", "", "12", "", " x \xD5\xFD")),
              "lumora-update-manifest/1\nversion=1.1.1.3\nurl=http://h/a b.exe\nforce=\nsize=12\nsha256=\n"
              "expires= x \xD5\xFD\n");
}

TEST(SignedManifestText, RolloutOrMirrorsMakeFormat2InAFixedOrder) {
    const std::string kSigned =
        "<u><version>1.1.1.3</version><url>http://h/s.exe</url><force>0</force><size>12</size>"
        "<sha256>ab</sha256><expires>E</expires>";
    const std::string kLines = "version=1.1.1.3\nurl=http://h/s.exe\nforce=0\nsize=12\nsha256=ab\nexpires=E\n";
    const std::string kFormat2 = "lumora-update-manifest/2\n" + kLines;
    const struct {
        const char* pszName;
        const char* pszExtra;
        std::string want;
    } cases[] = {
        {"neither", "", "lumora-update-manifest/1\n" + kLines},
        {"both", "<rollout>25</rollout><mirror>http://m/1.exe</mirror><mirror>https://m/2.exe</mirror>",
         kFormat2 + "rollout=25\nmirror=http://m/1.exe\nmirror=https://m/2.exe\n"},
        {"rollout between mirrors", "<mirror>a</mirror><rollout>25</rollout><mirror>b</mirror>",
         kFormat2 + "rollout=25\nmirror=a\nmirror=b\n"},
        {"mirrors swapped", "<mirror>b</mirror><rollout>25</rollout><mirror>a</mirror>",
         kFormat2 + "rollout=25\nmirror=b\nmirror=a\n"},
        {"one mirror removed", "<rollout>25</rollout><mirror>a</mirror>", kFormat2 + "rollout=25\nmirror=a\n"},
        {"rollout removed", "<mirror>a</mirror>", kFormat2 + "rollout=\nmirror=a\n"},
        {"rollout alone", "<rollout>100</rollout>", kFormat2 + "rollout=100\n"},
        {"empty rollout", "<rollout/>", kFormat2 + "rollout=\n"},
    };
    for (const auto& c : cases) {
        const std::string xml = kSigned + c.pszExtra + "</u>";
        ManifestValues v;
        ASSERT_TRUE(ReadManifest(xml.data(), xml.size(), v)) << c.pszName;
        EXPECT_EQ(SignedManifestText(v), c.want) << c.pszName;
    }
}

TEST(DecodeBase64, StrictStandardAlphabetWithPadding) {
    std::string out;
    ASSERT_TRUE(DecodeBase64(kSig64, out));
    ASSERT_EQ(out.size(), 64u);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(static_cast<unsigned char>(out[i]), i);
    EXPECT_TRUE(DecodeBase64(" \n\tTWFu\r\n ", out));  // blanks around
    EXPECT_EQ(out, "Man");
    EXPECT_TRUE(DecodeBase64("TWE=", out));
    EXPECT_EQ(out, "Ma");
    EXPECT_TRUE(DecodeBase64("TQ==", out));
    EXPECT_EQ(out, "M");
    const char* refused[] = {
        "",      "TWF",                     // wrong length
        "TWE",   "TQ",                      // missing padding
        "TW-u",  "TW_u",                    // URL-safe alphabet
        "TW u",  "TWFu\nTWFu",              // blanks inside
        "T===",  "=TWF",       "TQ==TWFu",  // padding where it cannot be
        "TWF=",  "TR==",                    // bits under the padding
        "TWFu!",
    };
    for (const char* p : refused) EXPECT_FALSE(DecodeBase64(p, out)) << '"' << p << '"';
}

TEST(ParseUtcTime, ExactShapeAndRealDates) {
    int64_t t = 0;
    ASSERT_TRUE(ParseUtcTime("1970-01-01T00:00:00Z", t));
    EXPECT_EQ(t, 0);
    ASSERT_TRUE(ParseUtcTime("2030-01-01T00:00:00Z", t));
    EXPECT_EQ(t, k2030);
    ASSERT_TRUE(ParseUtcTime("2024-02-29T23:59:59Z", t));  // leap day
    EXPECT_EQ(t, 1709251199);
    ASSERT_TRUE(ParseUtcTime("2000-02-29T12:00:00Z", t));
    ASSERT_TRUE(ParseUtcTime("9999-12-31T23:59:59Z", t));  // far future
    EXPECT_EQ(t, 253402300799);
    const char* refused[] = {
        "2023-02-29T00:00:00Z",      "1900-02-29T00:00:00Z",  // not leap years
        "2030-13-01T00:00:00Z",      "2030-00-10T00:00:00Z", "2030-04-31T00:00:00Z",
        "2030-01-00T00:00:00Z",      "2030-01-01T24:00:00Z", "2030-01-01T00:60:00Z",
        "2030-01-01T00:00:60Z",      "2030-01-01 00:00:00Z", "2030-01-01T00:00:00",
        "2030-01-01T00:00:00+00:00", "2030-1-01T00:00:00Z",  " 2030-01-01T00:00:00Z",
        "2030-01-01T00:00:00Z ",     "203a-01-01T00:00:00Z", "",
    };
    for (const char* p : refused) EXPECT_FALSE(ParseUtcTime(p, t)) << p;
}

TEST(CheckManifestTrust, EveryRuleMustHold) {
    const int64_t now = k2030 - 1;
    struct Case {
        const char* pszName;
        ManifestValues v;
        ManifestTrust want;
    } cases[] = {
        {"trusted", Values("1.1.1.3", "http://h/s.exe", "1", "12", kSha.c_str(), "2030-01-01T00:00:00Z", kSig64),
         ManifestTrust::Trusted},
        {"no signature", Values("1", "u", "0", "12", kSha.c_str(), "2030-01-01T00:00:00Z"), ManifestTrust::NotSigned},
        {"63 bytes", Values("1", "u", "0", "12", kSha.c_str(), "2030-01-01T00:00:00Z", std::string(kSig64, 84).c_str()),
         ManifestTrust::NotSigned},
        {"no size", Values("1", "u", "0", "", kSha.c_str(), "2030-01-01T00:00:00Z", kSig64),
         ManifestTrust::NoIntegrity},
        {"no sha256", Values("1", "u", "0", "12", "", "2030-01-01T00:00:00Z", kSig64), ManifestTrust::NoIntegrity},
        {"bad size", Values("1", "u", "0", "1x", kSha.c_str(), "2030-01-01T00:00:00Z", kSig64),
         ManifestTrust::NoIntegrity},
        {"no expiry", Values("1", "u", "0", "12", kSha.c_str(), "", kSig64), ManifestTrust::BadExpiry},
        {"expired now", Values("1", "u", "0", "12", kSha.c_str(), "2029-12-31T23:59:59Z", kSig64),
         ManifestTrust::Expired},
    };
    for (const Case& c : cases) EXPECT_EQ(CheckManifestTrust(c.v, now, AcceptAll), c.want) << c.pszName;
    ManifestValues controls = cases[0].v;
    controls.nMirrors = 1;  // empty
    EXPECT_EQ(CheckManifestTrust(controls, now, AcceptAll), ManifestTrust::BadControls);
    // What is verified is the signed text of the values.
    EXPECT_EQ(CheckManifestTrust(cases[0].v, now, AcceptAll), ManifestTrust::Trusted);
    EXPECT_EQ(g_lastSigned, SignedManifestText(cases[0].v));
    EXPECT_EQ(CheckManifestTrust(cases[0].v, now, RejectAll), ManifestTrust::BadSignature);
    ManifestValues cut = cases[0].v;
    cut.bSignedValueHasNul = true;
    EXPECT_EQ(CheckManifestTrust(cut, now, AcceptAll), ManifestTrust::NulInValue);
}
