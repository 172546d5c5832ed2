#include "update/download/Sources.h"

#include <gtest/gtest.h>

TEST(Sources, UrlThenMirrorsWithTheKeptSourceFirst) {
    const std::vector<std::string> mirrors = {"http://m1/a.exe", "http://m2/a.exe"};
    const struct {
        const char* kept;
        std::vector<std::pair<std::string, size_t>> order;
    } cases[] = {
        {"", {{"http://u/a.exe", 0}, {"http://m1/a.exe", 1}, {"http://m2/a.exe", 2}}},
        {"http://m2/a.exe", {{"http://m2/a.exe", 2}, {"http://u/a.exe", 0}, {"http://m1/a.exe", 1}}},
        {"http://u/a.exe", {{"http://u/a.exe", 0}, {"http://m1/a.exe", 1}, {"http://m2/a.exe", 2}}},
        {"http://elsewhere/a.exe", {{"http://u/a.exe", 0}, {"http://m1/a.exe", 1}, {"http://m2/a.exe", 2}}},
    };
    for (const auto& c : cases) {
        std::vector<std::pair<std::string, size_t>> got;
        for (const DownloadSource& s : OrderSources("http://u/a.exe", mirrors, c.kept))
            got.emplace_back(s.url, s.nMirror);
        EXPECT_EQ(got, c.order) << c.kept;
    }
    // A mirror that repeats the url is the url, not a mirror.
    const auto same = OrderSources("http://u/a.exe", {"http://u/a.exe"}, "");
    ASSERT_EQ(same.size(), 2u);
    EXPECT_EQ(same[1].nMirror, 0u);
}
