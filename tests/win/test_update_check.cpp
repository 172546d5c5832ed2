// The update check against the local update service, on a view that
// records what the engine asks of the window.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <ostream>
#include <string>
#include <vector>

#include "update/download/Download.h"
#include "common/TextConv.h"
#include "update/check/UpdateCheck.h"
#include "tests/win/engine_fixture.h"
#include "update/UpdateView.h"
#include "update/check/Version.h"
#include "update/fs/WorkDir.h"

namespace {
// One row of the decision: what is served and given on the command line,
// what the check asks of the window, and the target it leaves.
struct CheckCase {
    const char* pszName;
    std::string manifest;
    bool bPrompt;
    bool bTestUpdate;
    const char* pszTarget;
    const char* pszCalls;
    const char* pszTargetAfter;
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.pszName; }

// Rows whose target is used serve an equal version: a check that fetched it
// anyway would ask for the no-update state or close.
const CheckCase kCases[] = {
    {"EqualClosesSilently", Manifest("1.1.1.2", "1"), false, false, "", "Close", kUrl},
    {"EqualIsToldWithPrompt", Manifest("1.1.1.2", "1"), true, false, "", "ShowState(1)", kUrl},
    {"OlderIsToldWithPrompt", Manifest("1.1.0.9", "0"), true, false, "", "ShowState(1)", kUrl},
    {"NewerAsks", Manifest("1.1.1.3", "0"), false, false, "", "ShowState(2)", kUrl},
    {"ForcedWithBlankAndZeroDownloads", Manifest("1.1.1.3", " 01"), false, false, "", "EnterDownloadingState", kUrl},
    {"ForceTrueAsks", Manifest("1.1.1.3", "true"), true, false, "", "ShowState(2)", kUrl},
    {"TargetWithoutTestSwitchIsReplaced", Manifest("1.1.1.3", "0"), true, false, kOtherUrl, "ShowState(2)", kUrl},
    {"TestSwitchMakesOlderNewer", Manifest("0.1", "0"), false, true, "", "ShowState(2)", kUrl},
    {"TestSwitchForcedDownloads", Manifest("0.1", "1"), false, true, "", "EnterDownloadingState", kUrl},
    {"UrlTargetAsksWithPrompt", Manifest("1.1.1.2", "0"), true, true, kOtherUrl, "ShowState(2)", kOtherUrl},
    {"UrlTargetDownloadsWithoutPrompt", Manifest("1.1.1.2", "0"), false, true, kOtherUrl, "EnterDownloadingState",
     kOtherUrl},
    {"NeitherUrlNorPathDoesNothing", Manifest("1.1.1.2", "0"), true, true, "C:\\no\\such\\file.exe", "",
     "C:\\no\\such\\file.exe"},
    {"NotXmlChangesNothing", "this is not xml", true, false, "", "", ""},
    {"OverlongUrlChangesNothing", "<u><url>http://h/" + std::string(2000, 'a') + "</url><version>9</version></u>", true,
     false, "", "", ""},
    // Publisher controls that do not hold make the manifest unreadable.
    {"FiveMirrorsChangeNothing",
     "<u><version>9</version><mirror>http://m/s.exe</mirror><mirror>http://m/s.exe</mirror>"
     "<mirror>http://m/s.exe</mirror><mirror>http://m/s.exe</mirror><mirror>http://m/s.exe</mirror></u>",
     true, false, "", "", ""},
    {"RolloutZeroChangesNothing", "<u><version>9</version><rollout>0</rollout></u>", true, false, "", "", ""},
};

class CheckForUpdateCase : public ::testing::TestWithParam<CheckCase> {};

}  // namespace

TEST_P(CheckForUpdateCase, AsksTheWindowForTheDecidedStep) {
    const CheckCase& c = GetParam();
    ServeManifest(c.manifest);
    CRecordingView view;
    view.m_bPrompt = c.bPrompt;
    view.m_bTestUpdate = c.bTestUpdate;
    std::strcpy(view.m_szTarget, c.pszTarget);
    CheckForUpdate(&view);
    EXPECT_EQ(view.m_calls, c.pszCalls);
    EXPECT_STREQ(view.m_szTarget, c.pszTargetAfter);
}

INSTANTIATE_TEST_SUITE_P(Decision, CheckForUpdateCase, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<CheckCase>& info) {
                             return std::string(info.param.pszName);
                         });

TEST(CheckForUpdate, ManifestIsStoredInTheManifestFolder) {
    ServeManifest(Manifest("1.1.1.2", "0"));
    CRecordingView view;
    CheckForUpdate(&view);
    std::string path = std::string(GetWorkDir()) + "\\xml_new\\/version.xml";
    EXPECT_STREQ(g_szManifestDir, (std::string(GetWorkDir()) + "\\xml_new\\").c_str());
    EXPECT_TRUE(::PathFileExistsA(path.c_str()));
}
