// The platform's side of trust: signatures made by tools/sign-manifest.py
// verify with BCrypt.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "update/manifest/Signature.h"
#include "update/manifest/Trust.h"

namespace {
// tests/keys/test-only-publisher-public.pem, X then Y.
const uint8_t kTestKey[64] = {0x70, 0x53, 0xff, 0xde, 0xb8, 0xff, 0xe3, 0xe9, 0x7f, 0x78, 0x10, 0x11, 0x41,
                              0xa0, 0xb8, 0x56, 0x39, 0xce, 0x6e, 0x9b, 0xc1, 0xca, 0x87, 0x9e, 0xe6, 0x4e,
                              0xb9, 0x6c, 0x81, 0x0e, 0xca, 0x41, 0x8c, 0x01, 0x62, 0x62, 0x21, 0xc9, 0x6b,
                              0x50, 0xc3, 0x75, 0x21, 0x07, 0xbc, 0xd9, 0x9b, 0xd9, 0xa1, 0x46, 0xa1, 0x35,
                              0x1e, 0x24, 0xd0, 0x41, 0x73, 0xea, 0xff, 0x58, 0x42, 0xba, 0xae, 0xba};
// A key pair made for this test only; its private half is gone.
const uint8_t kOtherKey[64] = {0x88, 0x58, 0x54, 0x31, 0x70, 0xc8, 0x72, 0x6b, 0x4b, 0xe3, 0xe8, 0xe3, 0x36,
                               0x68, 0xff, 0xf4, 0xf9, 0x07, 0xf6, 0xe5, 0x03, 0x44, 0x75, 0x39, 0xd7, 0x07,
                               0x15, 0xac, 0x54, 0xa5, 0x81, 0x52, 0xb3, 0x40, 0xee, 0x58, 0x73, 0x50, 0x67,
                               0xca, 0xf4, 0x5e, 0x6f, 0xa5, 0x14, 0xe8, 0x6f, 0xd5, 0x12, 0x00, 0x03, 0xfc,
                               0x79, 0xde, 0xed, 0x0d, 0x41, 0x26, 0x08, 0x23, 0xb0, 0x3a, 0x81, 0xe1};

// Signed by the tool: signed_text of these values with each key.
const char kSignedText[] =
    "lumora-update-manifest/1\nversion=1.1.1.3\nurl=http://h/setup.exe\nforce=0\nsize=1234\n"
    "sha256=abababababababababababababababababababababababababababababababab\nexpires=2030-01-01T00:00:00Z\n";
const char kTestKeySignature[] =
    "das0g0KrebXK0wXGVIU9V6MBF8aNdOuMHkTLmEBu5bsvXvmCzLxY+B3Hw0PFze3WnsasMC+N7nNF8CQ5nGPdMQ==";
const char kOtherKeySignature[] =
    "zsIYRfYCRcGIA7aDoGWCnunjvom9RzQMNB4Jy9zVIF8iQK0sMLgg3s+Sp9RlnEmP6r+05cqqr6vQdJg8QyClpQ==";

struct Signature {
    uint8_t bytes[kSignatureBytes];
    explicit Signature(const char* pszBase64, int nFlipBit = -1) {
        std::string raw;
        EXPECT_TRUE(DecodeBase64(pszBase64, raw));
        EXPECT_EQ(raw.size(), sizeof(bytes));
        std::memcpy(bytes, raw.data(), sizeof(bytes));
        if (nFlipBit >= 0) bytes[nFlipBit / 8] ^= static_cast<uint8_t>(1u << (nFlipBit % 8));
    }
};

bool Verify(const uint8_t (&key)[64], const std::string& text, const Signature& sig) {
    return VerifyP256Signature(key, text, sig.bytes);
}
}  // namespace

TEST(SignatureVerification, OnlyTheSignedTextUnderItsOwnKeyVerifies) {
    EXPECT_TRUE(Verify(kTestKey, kSignedText, Signature(kTestKeySignature)));
    EXPECT_TRUE(Verify(kOtherKey, kSignedText, Signature(kOtherKeySignature)));
    // One bit flipped in r, then in s.
    EXPECT_FALSE(Verify(kTestKey, kSignedText, Signature(kTestKeySignature, 5 * 8 + 3)));
    EXPECT_FALSE(Verify(kTestKey, kSignedText, Signature(kTestKeySignature, 40 * 8)));
    // Another publisher's signature, and ours under another key.
    EXPECT_FALSE(Verify(kTestKey, kSignedText, Signature(kOtherKeySignature)));
    EXPECT_FALSE(Verify(kOtherKey, kSignedText, Signature(kTestKeySignature)));
    // The signature of other values.
    std::string other = kSignedText;
    other.replace(other.find("1.1.1.3"), 7, "1.1.1.4");
    EXPECT_FALSE(Verify(kTestKey, other, Signature(kTestKeySignature)));
    // Not a point on the curve: refused, not a crash.
    uint8_t bad[64] = {};
    EXPECT_FALSE(Verify(bad, kSignedText, Signature(kTestKeySignature)));
}
