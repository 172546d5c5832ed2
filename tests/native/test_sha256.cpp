#include "common/Sha256.h"

#include <gtest/gtest.h>

#include <string>

TEST(Sha256, StandardVectorsAcrossThePaddingBoundary) {
    const struct {
        std::string text;
        const char* pszHex;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 56 bytes: the length no longer fits the last block.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(64, 'a') + std::string(55, 'b'),
         "00da9b6d1a37aa79a39657d5e6bc1a8e4afee8677a986c93ef017705a5cb429c"},
    };
    for (const auto& c : cases) {
        uint8_t digest[32];
        Sha256(c.text.data(), c.text.size(), digest);
        std::string hex;
        for (uint8_t b : digest) hex += "0123456789abcdef"[b >> 4], hex += "0123456789abcdef"[b & 15];
        EXPECT_EQ(hex, c.pszHex) << c.text.size() << " bytes";
    }
}
