// The command line, and the rule of update/check/Target.h that tells a
// download from a local path.
#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "update/check/Target.h"

namespace {
std::set<std::string> g_existing;
bool Exists(const char* p) { return g_existing.count(p) != 0; }
// The tests' texts are ASCII: each byte widens to the same character.
bool IsUrl(const char* p) { return IsUrlText(std::wstring(p, p + std::strlen(p))); }
const ArgProbe kProbe{Exists, IsUrl};
}  // namespace

TEST(CommandLine, SwitchesAreExactAndCaseSensitive) {
    g_existing = {};
    EXPECT_EQ(ClassifyArgument("-prompt", kProbe), ArgKind::Prompt);
    EXPECT_EQ(ClassifyArgument("-test_update", kProbe), ArgKind::TestUpdate);
    for (const char* s : {"-PROMPT", "-prompt2", "/prompt", "-prompt ", "prompt", "-test_update2", ""})
        EXPECT_EQ(ClassifyArgument(s, kProbe), ArgKind::Ignored) << s;
    g_existing = {"-PROMPT"};  // unless a file of that name exists
    EXPECT_EQ(ClassifyArgument("-PROMPT", kProbe), ArgKind::Target);
}

TEST(CommandLine, UrlsAndPaths) {
    g_existing = {"C:\\setup.exe", "C:\\folder"};
    EXPECT_EQ(ClassifyArgument("http://h/a.exe", kProbe), ArgKind::Target);
    EXPECT_EQ(ClassifyArgument("xhttp:y", kProbe), ArgKind::Target);  // plain substring test
    EXPECT_EQ(ClassifyArgument("HTTP://h/a.exe", kProbe), ArgKind::Ignored);
    // A test download may travel encrypted too; "https:" only at the start.
    EXPECT_EQ(ClassifyArgument("https://h/a.exe", kProbe), ArgKind::Target);
    EXPECT_EQ(ClassifyArgument("xhttps://h/a.exe", kProbe), ArgKind::Ignored);
    EXPECT_EQ(ClassifyArgument("HTTPS://h/a.exe", kProbe), ArgKind::Ignored);
    EXPECT_EQ(ClassifyArgument("C:\\setup.exe", kProbe), ArgKind::Target);
    EXPECT_EQ(ClassifyArgument("C:\\folder", kProbe), ArgKind::Target);
    EXPECT_EQ(ClassifyArgument("C:\\missing.exe", kProbe), ArgKind::Ignored);
}

TEST(CommandLine, OverlongArgumentsAreIgnoredNotCut) {
    g_existing = {};
    std::string url = "http://h/" + std::string(250, 'a');  // 259 bytes: fits
    EXPECT_EQ(url.size(), 259u);
    EXPECT_EQ(ClassifyArgument(url, kProbe), ArgKind::Target);
    EXPECT_EQ(ClassifyArgument(url + "b", kProbe), ArgKind::Ignored);
    // A cut path could name a different existing file.
    std::string path = "C:\\" + std::string(300, 'p');
    g_existing = {path, path.substr(0, 259)};
    EXPECT_EQ(ClassifyArgument(path, kProbe), ArgKind::Ignored);
}

TEST(CommandLine, ParseArgumentsOrderAndLimit) {
    g_existing = {"C:\\local.exe"};
    CommandLineOptions o = ParseArguments({"http://h/a.exe", "-prompt", "C:\\local.exe"}, kProbe);
    EXPECT_TRUE(o.bPrompt);
    EXPECT_FALSE(o.bTestUpdate);
    EXPECT_EQ(o.target, "C:\\local.exe");  // the later target wins
    o = ParseArguments({"C:\\local.exe", "http://h/a.exe"}, kProbe);
    EXPECT_EQ(o.target, "http://h/a.exe");
    // Only the first three are examined.
    o = ParseArguments({"x", "y", "z", "-prompt"}, kProbe);
    EXPECT_FALSE(o.bPrompt);
    o = ParseArguments({"-test_update", "-prompt", "-test_update"}, kProbe);
    EXPECT_TRUE(o.bPrompt && o.bTestUpdate);
    EXPECT_EQ(o.target, "");
    o = ParseArguments({}, kProbe);
    EXPECT_FALSE(o.bPrompt || o.bTestUpdate);
}

TEST(CommandLine, BuildWithPublisherKeyIgnoresTargets) {
    g_existing = {"C:\\local.exe"};
    for (const char* target : {"http://h/a.exe", "https://h/a.exe", "C:\\local.exe"}) {
        CommandLineOptions o = ParseArguments({"-test_update", target, "-prompt"}, kProbe, false);
        EXPECT_TRUE(o.bTestUpdate && o.bPrompt) << target;
        EXPECT_EQ(o.target, "") << target;
    }
}

TEST(CommandLine, UrlMarkerProbeIsUsedWhenGiven) {
    ArgProbe probe{nullptr, [](const char*) { return false; }};
    EXPECT_EQ(ClassifyArgument("http://h/a.exe", probe), ArgKind::Ignored);
}
