// The proxy look-up's questions to WinHTTP, on a stand-in that answers as a
// PAC server or an auto-detected host would.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <ostream>
#include <string>
#include <vector>

#include "Proxy.h"

namespace {
wchar_t* GlobalText(const wchar_t* psz) {
    const size_t nBytes = (wcslen(psz) + 1) * sizeof(wchar_t);
    auto* p = static_cast<wchar_t*>(::GlobalAlloc(GMEM_FIXED, nBytes));
    std::memcpy(p, psz, nBytes);
    return p;
}

struct Case {
    const char* pszName;
    DWORD flags;
    std::vector<DWORD> answers;  // per question: 0 names a proxy, else the error
    std::vector<BOOL> autoLogon;  // what each question asked for
    bool bFound;
};

const DWORD kPac = WINHTTP_AUTOPROXY_CONFIG_URL;
const DWORD kDetect = WINHTTP_AUTOPROXY_AUTO_DETECT;
const DWORD kLogin = ERROR_WINHTTP_LOGIN_FAILURE;
const DWORD kNoScript = ERROR_WINHTTP_UNABLE_TO_DOWNLOAD_SCRIPT;

void PrintTo(const Case& c, std::ostream* os) { *os << c.pszName; }

class ProxyLookup : public ::testing::TestWithParam<Case> {};
}  // namespace

TEST_P(ProxyLookup, LogsOnOnlyWhenTheUsersOwnPacServerAsks) {
    const Case& c = GetParam();
    std::vector<BOOL> asked;
    const ProxyQuestion ask = [&](const WINHTTP_AUTOPROXY_OPTIONS& o, WINHTTP_PROXY_INFO& info, DWORD& error) {
        EXPECT_EQ(o.dwFlags, c.flags);
        if (c.flags & kPac) {
            EXPECT_STREQ(o.lpszAutoConfigUrl, L"http://pac/p.pac");
        }
        const DWORD answer = c.answers.at(asked.size());
        asked.push_back(o.fAutoLogonIfChallenged);
        error = answer;
        if (answer) return false;
        info.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
        info.lpszProxy = GlobalText(L"proxy:8080");
        return true;
    };
    ProxySetting found;
    EXPECT_EQ(FindAutoProxy(ask, c.flags, L"http://pac/p.pac", found), c.bFound);
    EXPECT_EQ(asked, c.autoLogon);
    EXPECT_EQ(found.proxy, c.bFound ? L"proxy:8080" : L"");
}

INSTANTIATE_TEST_SUITE_P(
    Questions, ProxyLookup,
    ::testing::Values(Case{"PacAnswers", kPac, {0}, {FALSE}, true},
                      Case{"PacAsksForLogOn", kPac, {kLogin, 0}, {FALSE, TRUE}, true},
                      Case{"PacRefusesTheLogOnToo", kPac, {kLogin, kLogin}, {FALSE, TRUE}, false},
                      Case{"PacFailsOtherwise", kPac, {kNoScript}, {FALSE}, false},
                      Case{"DetectedHostAsksForLogOn", kDetect, {kLogin}, {FALSE}, false},
                      Case{"DetectedHostAnswers", kDetect, {0}, {FALSE}, true}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.pszName); });
