#include <gtest/gtest.h>

#include <string>

#include "common/LogLine.h"

TEST(LogLine, ValuesAreBareOrQuotedWithEscapes) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"200", "200"},
        {"C:\\dir/file.exe", "C:\\dir/file.exe"},  // a backslash alone needs no quotes
        {"", "\"\""},
        {"two words", "\"two words\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"a\\b c", "\"a\\\\b c\""},
        {"line\nbreak\r\ttab", "\"line\\nbreak\\r\\ttab\""},
        {std::string("nul\0esc\x1b", 8), "\"nul\\x00esc\\x1B\""},
        {"\x7f", "\"\\x7F\""},
        {"\xE4\xB8\xAD", "\"\xE4\xB8\xAD\""},             // UTF-8 stays readable
        {"\xD5\xFD", "\"\\xD5\\xFD\""},                   // GBK is no UTF-8
        {"\xE4\xB8", "\"\\xE4\\xB8\""},                   // cut short
        {"\xC0\xAF", "\"\\xC0\\xAF\""},                   // overlong
        {"\xED\xA0\x80", "\"\\xED\\xA0\\x80\""},          // a surrogate
        // What a reader may take for a line break, or that turns the text.
        {"a\xC2\x85z", "\"a\\u{0085}z\""},
        {"\xE2\x80\xA8\xE2\x80\xA9", "\"\\u{2028}\\u{2029}\""},
        {"\xE2\x80\x8E\xE2\x80\x8F", "\"\\u{200E}\\u{200F}\""},
        {"\xE2\x80\xAA\xE2\x80\xAE", "\"\\u{202A}\\u{202E}\""},
        {"\xE2\x81\xA6\xE2\x81\xA9", "\"\\u{2066}\\u{2069}\""},
        {"\xE2\x80\x8D\xE2\x81\xAA", "\"\xE2\x80\x8D\xE2\x81\xAA\""},  // others stay
    };
    for (const auto& c : cases) EXPECT_EQ(QuoteLogValue(c.in), c.out) << c.in;
}

TEST(LogLine, LineHasTimePidEventAndFields) {
    const LogTime t{2026, 12, 9, 16, 3, 28, 7};
    EXPECT_EQ(FormatLogLine(t, 4120, "manifest", {{"status", "200"}, {"proxy", "direct"}, {"why", "a b"}}),
              "2026-12-09T16:03:28.007Z 4120 manifest status=200 proxy=direct why=\"a b\"");
    EXPECT_EQ(FormatLogLine(t, 1, "exit", {}), "2026-12-09T16:03:28.007Z 1 exit");
}

TEST(LogLine, UrlsLoseCredentialsQueriesAndFragments) {
    const struct {
        const char *in, *out;
    } cases[] = {
        {"http://h:8080/Client/refresh", "http://h:8080/Client/refresh"},
        {"https://cdn.example/a/setup.exe?token=secret&v=2#frag", "https://cdn.example/a/setup.exe"},
        {"http://user:pw@h/setup.exe", "http://h/setup.exe"},
        {"http://h?x=1", "http://h/"},
        {"http://h#top", "http://h/"},
        {"setup.exe", "?"},
        {"", "?"},
    };
    for (const auto& c : cases) EXPECT_EQ(RedactUrl(c.in), c.out) << c.in;
    EXPECT_EQ(UrlHost("http://u:p@pac.corp:8080/proxy.pac?x=1"), "pac.corp:8080");
    EXPECT_EQ(UrlHost("proxy.pac"), "");
    EXPECT_EQ(RedactProxyList("http=u:p@a:8080;https=b:8443"), "http=a:8080;https=b:8443");
    EXPECT_EQ(RedactProxyList("http://u@a:3128 b:1"), "http://a:3128 b:1");
}

TEST(LogLine, PathsUnderPrivateFoldersAreWrittenByName) {
    const std::vector<std::pair<std::string, std::string>> folders = {
        {"C:\\Users\\bob\\AppData\\Local\\Temp", "%TEMP%"}, {"C:\\Users\\bob", "%USERPROFILE%"}};
    const struct {
        const char *in, *out;
    } cases[] = {
        {"C:\\Users\\bob\\AppData\\Local\\Temp\\\\LumoraTV\\temp/setup.exe", "%TEMP%\\LumoraTV\\temp/setup.exe"},
        {"c:/users/BOB/appdata/local/temp/x.exe", "%TEMP%\\x.exe"},
        {"C:\\Users\\bob\\Downloads\\setup.exe", "%USERPROFILE%\\Downloads\\setup.exe"},
        {"C:\\Users\\bobby\\setup.exe", "C:\\Users\\bobby\\setup.exe"},  // another folder
        {"C:\\Users\\bob", "%USERPROFILE%"},
        {"D:\\setup.exe", "D:\\setup.exe"},
    };
    for (const auto& c : cases) EXPECT_EQ(RedactPath(c.in, folders), c.out) << c.in;
}

TEST(LogLine, RotatesOnlyWhenTheNextLineWouldPassTheBound) {
    EXPECT_FALSE(LogNeedsRotation(0, kLogMaxBytes + 1));  // an empty log takes any line
    EXPECT_FALSE(LogNeedsRotation(kLogMaxBytes - 10, 10));
    EXPECT_TRUE(LogNeedsRotation(kLogMaxBytes - 10, 11));
    EXPECT_STREQ(ErrorCodeName(12029), "ERROR_WINHTTP_CANNOT_CONNECT");
    EXPECT_STREQ(ErrorCodeName(4242), "");
}
