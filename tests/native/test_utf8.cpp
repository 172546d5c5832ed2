#include "common/Utf8.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Utf8, StrictSequencesOnly) {
    const char* invalid[] = {"\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                             "\xF5", "\xE4\xB8"};
    for (const char* p : invalid) EXPECT_FALSE(IsValidUtf8(p, std::strlen(p))) << p;
    const char* valid[] = {"", "abc", "\xC2\x80", "\xEF\xBF\xBF", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF"};
    for (const char* p : valid) EXPECT_TRUE(IsValidUtf8(p, std::strlen(p))) << p;
    // The code point of each sequence, as the log reads it.
    const struct {
        const char* p;
        size_t len;
        uint32_t cp;
    } seq[] = {{"a", 1, 'a'}, {"\xC2\x85", 2, 0x85}, {"\xE2\x80\xA8", 3, 0x2028}, {"\xF0\x9F\x98\x80", 4, 0x1F600}};
    for (const auto& s : seq) {
        uint32_t cp = 0;
        EXPECT_EQ(Utf8SequenceLength(reinterpret_cast<const unsigned char*>(s.p), std::strlen(s.p), &cp), s.len);
        EXPECT_EQ(cp, s.cp);
    }
}
