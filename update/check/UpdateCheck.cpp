#include "update/check/UpdateCheck.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "CVantorHttp.h"
#include "common/Log.h"
#include "common/Text.h"
#include "common/TextConv.h"
#include "update/UpdateView.h"
#include "update/check/Decision.h"
#include "update/check/MachineIdentity.h"
#include "update/check/Rollout.h"
#include "update/check/Target.h"
#include "update/check/Version.h"
#include "update/download/HandOver.h"
#include "update/fs/FolderSecurity.h"
#include "update/fs/WorkDir.h"
#include "update/manifest/Manifest.h"
#include "update/manifest/Trust.h"

char g_szManifestDir[520];

namespace {
// Status texts, GBK: "downloading the new version, please wait" and
// "downloading version %s, please wait".
const char kStatusTarget[] = "\xD5\xFD\xD4\xDA\xCF\xC2\xD4\xD8\xB0\xE6\xB1\xBE\xA3\xAC\xC7\xEB\xC9\xD4\xBA\xF3....";
const char kStatusVersion[] = "\xD5\xFD\xD4\xDA\xCF\xC2\xD4\xD8%s\xB0\xE6\xB1\xBE\xA3\xAC\xC7\xEB\xC9\xD4\xBA\xF3....";

// A manifest fetch gives up after this long, however the bytes trickle in:
// the hidden window and the single-instance guard wait for it.
const ULONGLONG kManifestDeadlineMs = 60000;

// Why the manifest cannot be stored: the folders are fine, unusable (not
// there, not formable: the manifest simply is not read), or a link or
// someone else's (a failure: nothing is written through them).
enum class ManifestDir { Ready, Unusable, Foreign };

// g_szManifestDir as the file operations name it (see GetWorkDirW).
std::wstring g_manifestDirW;

// "<work>\xml_new\", created when missing.
ManifestDir EnsureManifestDir() {
    if (!g_szManifestDir[0]) {
        const char* pszWork = GetWorkDir();
        if (!pszWork[0]) return WorkDirIsForeign() ? ManifestDir::Foreign : ManifestDir::Unusable;
        if (!FormatText(g_szManifestDir, sizeof(g_szManifestDir), "%s\\xml_new\\", pszWork))
            return ManifestDir::Unusable;
        g_manifestDirW = GetWorkDirW() + L"\\xml_new\\";
    }
    switch (MakeOwnFolder(g_manifestDirW.c_str())) {
    case FolderCheck::Own: return ManifestDir::Ready;
    case FolderCheck::Foreign: return ManifestDir::Foreign;
    default: return ManifestDir::Unusable;
    }
}

// A target given with "-test_update": a URL to download, or a local
// installer to hand to the shell at once.
void RunTestTarget(CUpdateView* pView) {
    if (IsUrlTarget(pView->m_szTarget)) {
        LogEvent("decision", {{"action", pView->m_bPrompt ? "offer" : "forced"}, {"target", "url"}});
        CopyText(pView->m_szStatus, sizeof(pView->m_szStatus), kStatusTarget);
        if (pView->m_bPrompt)
            pView->ShowState(STATE_NEW_VERSION);
        else
            pView->EnterDownloadingState();
    } else {
        // Converted once: the file tested is the file started.
        const std::wstring path = NarrowToWide(pView->m_szTarget);
        OpenLogIfFolderIsOwn();  // nothing else here makes the folders
        if (!::PathFileExistsW(path.c_str())) {
            LogEvent("decision", {{"action", "none"}, {"target", "missing"}});
            return;
        }
        LogEvent("decision", {{"action", "run"}, {"target", "path"}});
        pView->Hide();
        HandToShell(path);
        pView->Close();
    }
}

// The manifest request, started as early as the window exists so that it
// travels while the skin is being decoded.
std::unique_ptr<CVantorHttp> g_pManifestFetch;
ULONGLONG g_nManifestFetchStart = 0;

bool TakesManifestBranch(const CUpdateView* pView) { return !(pView->m_szTarget[0] && pView->m_bTestUpdate); }

// One line for the manifest request: where it went, how, and how it ended.
void LogManifestFetch(const CVantorHttp& http, ULONGLONG nMs) {
    LogFields f = {{"url", LogUrl(NarrowToWide(kManifestUrl))}};
    const LogFields route = http.GetRouteFields();
    f.insert(f.end(), route.begin(), route.end());
    const int nState = http.GetState();
    f.emplace_back("result", CVantorHttp::StateName(nState));
    f.emplace_back("status", std::to_string(http.GetHttpStatus()));
    f.emplace_back("bytes", std::to_string(http.GetReceivedBytes()));
    f.emplace_back("ms", std::to_string(nMs));
    if (nState != CVantorHttp::kStateDone && http.GetErrorCode()) AddErrorFields(f, http.GetErrorCode());
    LogEvent("manifest", f);
}

const char* TrustRuleName(ManifestTrust trust) {
    switch (trust) {
    case ManifestTrust::Trusted: return "none";
    case ManifestTrust::NotSigned: return "not-signed";
    case ManifestTrust::BadSignature: return "bad-signature";
    case ManifestTrust::NoIntegrity: return "no-size-or-sha256";
    case ManifestTrust::BadExpiry: return "bad-expires";
    case ManifestTrust::Expired: return "expired";
    case ManifestTrust::NulInValue: return "nul-in-value";
    case ManifestTrust::BadControls: return "bad-mirror-or-rollout";
    }
    return "?";
}

const char* ActionName(UpdateAction action) {
    switch (action) {
    case UpdateAction::StartDownload: return "forced";
    case UpdateAction::ShowNewVersion: return "offer";
    case UpdateAction::ShowNoUpdate:
    case UpdateAction::CloseWindow: return "no-update";
    }
    return "?";
}

// Whether this machine and user are among those the manifest's rollout
// reaches (everyone when it names none). Read afresh: nothing is stored.
bool InRollout(const ManifestValues& values, LogFields& log) {
    if (!values.bHasRollout) return true;
    const int nRollout = ParseRollout(values.szRollout);
    const int nCohort = RolloutCohort(ReadMachineGuid(), ReadUserSid(), values.szVersion);
    log.emplace_back("rollout", std::to_string(nRollout));
    log.emplace_back("cohort", std::to_string(nCohort));
    return nRollout >= 100 || nCohort < nRollout;
}

void FetchFailed(CUpdateView* pView) {
    if (pView->m_bPrompt)
        pView->ShowState(STATE_FAILED);
    else
        pView->Close();
}
}  // namespace

void StartManifestFetch(CUpdateView* pView) {
    if (g_pManifestFetch || !TakesManifestBranch(pView)) return;
    // The answer arrives in the manifest folder, beside where it is kept,
    // and leftovers of a crashed run are swept from there first; nothing is
    // fetched that could not be stored.
    if (EnsureManifestDir() != ManifestDir::Ready) return;
    CVantorHttp::DeleteLeftoverParts(g_manifestDirW);
    char szRequest[1024] = {};
    CopyText(szRequest, sizeof(szRequest), kManifestUrl);
    g_pManifestFetch = std::make_unique<CVantorHttp>();
    g_pManifestFetch->SetTempDir(g_manifestDirW.c_str());
    // A manifest is a few hundred bytes; a huge answer is refused unread.
    g_pManifestFetch->SetMaxBodySize(kMaxManifestBytes);
    g_nManifestFetchStart = ::GetTickCount64();
    g_pManifestFetch->SendData("GET", szRequest, nullptr, nullptr, nullptr, nullptr, nullptr);
}

void CheckForUpdate(CUpdateView* pView) {
    if (!TakesManifestBranch(pView)) {
        RunTestTarget(pView);
        return;
    }
    const ManifestDir dir = EnsureManifestDir();
    if (dir == ManifestDir::Foreign) {
        LogEvent("manifest", {{"result", "folder-not-ours"}});
        return FetchFailed(pView);
    }
    // An older version.xml must never be read as if it had just arrived, so
    // a manifest that cannot be stored is not read at all.
    if (dir != ManifestDir::Ready) return;

    StartManifestFetch(pView);  // unless the window already did
    // The transfer belongs to this check from here on and ends with it.
    std::unique_ptr<CVantorHttp> pHttp(std::move(g_pManifestFetch));
    if (!pHttp) return;
    CVantorHttp& http = *pHttp;
    const ULONGLONG nStart = ::GetTickCount64();
    while (http.GetState() > 0) {
        if (::GetTickCount64() - nStart >= kManifestDeadlineMs) http.Cancel();
        ::Sleep(10);
    }
    LogManifestFetch(http, ::GetTickCount64() - g_nManifestFetchStart);
    int nState = http.GetState();
    if (nState == CVantorHttp::kErrTooLarge) return;  // unreadable: no change
    if (nState != CVantorHttp::kStateDone) return FetchFailed(pView);
    const std::wstring manifestPath = g_manifestDirW + L"/version.xml";
    if (http.SaveData(manifestPath.c_str()) != 0) return;

    ManifestValues values;
    FILE* fp = _wfopen(manifestPath.c_str(), L"rb");
    const bool bRead = fp && ReadManifestFile(fp, values);
    if (fp) std::fclose(fp);
    if (!bRead) {
        LogEvent("manifest-read", {{"result", "unreadable"}});
        return;
    }
    // With the publisher's key built in, only a manifest signed with it, with
    // its installer's size and digest, and not expired, is acted on; any
    // other is no better than no answer at all.
    if (kHasUpdatePublicKey) {
        const ManifestTrust trust = CheckManifestTrust(values);
        LogEvent("trust", {{"result", trust == ManifestTrust::Trusted ? "trusted" : "untrusted"},
                           {"rule", TrustRuleName(trust)}});
        if (trust != ManifestTrust::Trusted) return FetchFailed(pView);
    } else if (!PublisherControlsValid(values)) {
        LogEvent("trust", {{"result", "unreadable"}, {"rule", "bad-mirror-or-rollout"}});
        return;  // unreadable: no change
    } else {
        LogEvent("trust", {{"result", "unchecked"}, {"rule", "no-key-in-build"}});
    }
    char szStatus[sizeof(pView->m_szStatus)];
    if (!FormatText(szStatus, sizeof(szStatus), kStatusVersion, values.szVersion)) return;
    std::memcpy(pView->m_szStatus, szStatus, sizeof(szStatus));
    FormatText(pView->m_szTarget, sizeof(pView->m_szTarget), "%s", values.szUrl);
    pView->m_bIntegrityValid = ParseIntegrity(values.szSize, values.szSha256, pView->m_integrity);
    pView->m_mirrors.assign(values.szMirrors, values.szMirrors + std::min<size_t>(values.nMirrors, kMaxMirrors));

    // Outside the rollout a newer version counts as none, forced or not;
    // the test switch takes part in every rollout.
    LogFields decision = {{"version", values.szVersion}, {"force", values.szForce}};
    int nCompare = CompareVersion(values.szVersion);
    if (nCompare > 0 && !pView->m_bTestUpdate && !InRollout(values, decision)) nCompare = 0;
    const bool bTestCounts = TestSwitchCounts(pView->m_bTestUpdate, nCompare, kHasUpdatePublicKey);
    const UpdateAction action = DecideUpdate(nCompare, bTestCounts, ParseForce(values.szForce), pView->m_bPrompt);
    decision.insert(decision.begin(), {"action", ActionName(action)});
    LogEvent("decision", decision);
    switch (action) {
    case UpdateAction::StartDownload: pView->EnterDownloadingState(); break;
    case UpdateAction::ShowNewVersion: pView->ShowState(STATE_NEW_VERSION); break;
    case UpdateAction::ShowNoUpdate: pView->ShowState(STATE_NO_UPDATE); break;
    case UpdateAction::CloseWindow: pView->Close(); break;
    }
}
