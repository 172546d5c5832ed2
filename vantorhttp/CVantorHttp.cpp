// The public face of a transfer (CVantorHttp.h) and its run loop. One GET
// over synchronous WinHTTP on a worker thread; the owner only polls atomics
// and shares the rest through SharedState.h. The loop opens the session
// through the user's proxy (ProxySession.h) and runs Attempt() (Attempt.h)
// until one succeeds, one fails for good, or the retries are used up,
// telling the owner of each attempt.
#include "CVantorHttp.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <random>
#include <string>

#include "Attempt.h"
#include "ProxySession.h"
#include "ResponseHeaders.h"
#include "SharedState.h"
#include "TempFile.h"
#include "Timeouts.h"
#include "Tls.h"
#include "TransferRules.h"
#include "common/Progress.h"
#include "common/TextConv.h"

namespace {

// How long the destructor waits, in two halves: before it closes the handles
// of a worker stuck in WinHTTP, and after.
constexpr std::chrono::milliseconds kJoinHalf(150);

// The transfer itself; returns the final state it wants to publish.
int Transfer(Shared& s) {
    HINTERNET session = OpenSession(s);
    if (!Adopt(s, &Shared::session, session)) return CVantorHttp::kErrFailed;
    SetSecureProtocols(session);
    if (!WinHttpSetTimeouts(session, s.connectMs, s.connectMs, s.idleMs, s.idleMs)) return CVantorHttp::kErrFailed;
    HINTERNET connect = WinHttpConnect(session, s.host.c_str(), s.port, 0);
    if (!Adopt(s, &Shared::connect, connect)) return CVantorHttp::kErrFailed;

    Body body;
    if (!s.keptPath.empty()) {
        const int r = OpenKeptDownload(s, body);
        if (r != CVantorHttp::kStateDone) return r;
    }
    LARGE_INTEGER seed;
    QueryPerformanceCounter(&seed);
    std::minstd_rand random(static_cast<unsigned>(seed.QuadPart) ^ GetCurrentThreadId());
    std::uniform_real_distribution<double> spread(0.0, 1.0);
    for (int attempt = 1;; ++attempt) {
        CVantorHttp::AttemptReport report;
        report.n = attempt;
        report.from = s.retries && body.CanResume() ? body.size : 0;
        s.attemptStatus = 0;
        s.error = 0;
        const ULONGLONG began = GetTickCount64();
        const Outcome o = Attempt(s, connect, body);
        Drop(s, &Shared::request);
        SaveKept(s, body);
        auto tell = [&](CVantorHttp::AttemptResult result, double pauseSeconds) {
            if (!s.onAttempt) return;
            report.status = s.attemptStatus;
            report.bytes = body.size >= report.from ? body.size - report.from : body.size;
            report.ms = GetTickCount64() - began;
            report.result = result;
            report.state = o.state;
            report.error = s.error;
            report.pauseMs = pauseSeconds >= 0 ? static_cast<long long>(pauseSeconds * 1000) : -1;
            s.onAttempt(report);
        };
        if (o.state == CVantorHttp::kStateDone) {
            tell(CVantorHttp::AttemptResult::Done, -1);
            break;
        }
        // A server that wants a longer pause than a user would wait for
        // ends the transfer now rather than later.
        if (!o.retry || !s.retries || attempt > kMaxRetries || o.retryAfter > kMaxRetryAfterSeconds) {
            tell(CVantorHttp::AttemptResult::Final, -1);
            return o.state;
        }
        const double pause =
            o.retryAfter >= 0 ? static_cast<double>(o.retryAfter) : RetryBackoffSeconds(attempt, spread(random));
        tell(CVantorHttp::AttemptResult::Retry, pause);
        if (!s.stop.PauseUnlessRaised(std::chrono::duration<double>(pause))) return CVantorHttp::kErrCancelled;
    }
    if (s.hash) s.digestOk = body.hasher.Finish(s.digest);
    return s.hash && !s.digestOk ? CVantorHttp::kErrFailed : CVantorHttp::kStateDone;
}

void Run(std::shared_ptr<Shared> sp) {
    Shared& s = *sp;
    int result = CVantorHttp::kErrFailed;
    try {
        result = Transfer(s);
    } catch (...) {
        result = CVantorHttp::kErrFailed;
    }
    try {
        std::lock_guard<std::mutex> lk(s.mtx);
        // Handles the owner closed are already null here.
        CloseHandlesLocked(s);
        if (result != CVantorHttp::kStateDone) DeleteTempLocked(s);
        Finalize(s, result);
        s.exited = true;
        s.exitedCv.notify_all();
    } catch (...) {
        Finalize(s, CVantorHttp::kErrFailed);
    }
}

bool CrackUrl(const char* url, Shared& s) {
    const std::wstring wide = NarrowToWide(url);
    if (wide.empty()) return false;

    URL_COMPONENTS uc;
    std::memset(&uc, 0, sizeof uc);
    uc.dwStructSize = sizeof uc;
    uc.dwSchemeLength = uc.dwHostNameLength = uc.dwUrlPathLength = uc.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &uc)) return false;
    s.url = wide.substr(0, wide.find(L'#'));
    if (uc.nScheme != INTERNET_SCHEME_HTTP && uc.nScheme != INTERNET_SCHEME_HTTPS) return false;
    if (!uc.lpszHostName || uc.dwHostNameLength == 0) return false;
    s.host.assign(uc.lpszHostName, uc.dwHostNameLength);
    s.port = uc.nPort;
    s.secure = uc.nScheme == INTERNET_SCHEME_HTTPS;
    s.path.clear();
    if (uc.lpszUrlPath) s.path.assign(uc.lpszUrlPath, uc.dwUrlPathLength);
    if (uc.lpszExtraInfo) s.path.append(uc.lpszExtraInfo, uc.dwExtraInfoLength);
    // The fragment belongs to the client, not to the request.
    s.path = s.path.substr(0, s.path.find(L'#'));
    if (s.path.empty() || s.path[0] != L'/') s.path.insert(0, 1, L'/');
    return true;
}

}  // namespace

CVantorHttp::CVantorHttp() : m_pShared(std::make_shared<Shared>()) {}

CVantorHttp::~CVantorHttp() {
    try {
        Shared& s = *m_pShared;
        std::unique_lock<std::mutex> lk(s.mtx);
        s.stop.Raise();
        Finalize(s, kErrCancelled);
        if (s.worker.joinable()) {
            const unsigned seq = s.callSeq;
            auto exited = [&s] { return s.exited; };
            bool done = s.exitedCv.wait_for(lk, kJoinHalf, exited);
            // Still inside the very same call after a while: it is waiting on
            // the network. Closing its handles ends that wait on Windows (under
            // Wine only the time-out does); the worker makes no call after
            // stop, so it never uses them again.
            if (!done && s.inCall && s.callSeq == seq) CloseHandlesLocked(s);
            if (!done) done = s.exitedCv.wait_for(lk, kJoinHalf, exited);
            lk.unlock();
            if (done)
                s.worker.join();
            else
                s.worker.detach();  // it owns its share of s and cleans up after itself
            lk.lock();
        }
        // With share-delete this works even while a detached worker still
        // holds the file; it then disappears when that handle closes.
        DeleteTempLocked(s);
    } catch (...) {
    }
}

int CVantorHttp::SendData(const char* pszMethod, const char* pszUrl, const char*, const char*, const char*, const char*,
                          const char*) {
    Shared& s = *m_pShared;
    int idle = kStateIdle;
    if (s.state.load() != kStateIdle) return kErrFailed;  // one transfer per object
    int result = kStateRunning;
    if (!pszMethod || std::strcmp(pszMethod, "GET") != 0)
        result = kErrFailed;
    else if (!pszUrl || !*pszUrl)
        result = kErrBadUrl;
    else {
        try {
            if (!CrackUrl(pszUrl, s)) result = kErrBadUrl;
        } catch (...) {
            result = kErrFailed;
        }
    }
    const TransferTimeouts timeouts = GetTransferTimeouts();
    s.connectMs = timeouts.connectMs;
    s.idleMs = timeouts.idleMs;
    if (!s.state.compare_exchange_strong(idle, result)) return kErrFailed;
    if (result != kStateRunning) return result;
    try {
        s.worker = std::thread(Run, m_pShared);
    } catch (...) {
        Finalize(s, kErrFailed);
        return kErrFailed;
    }
    return 0;
}

int CVantorHttp::GetState() const { return m_pShared->state.load(std::memory_order_acquire); }

double CVantorHttp::GetDownProgress() const {
    Shared& s = *m_pShared;
    const int64_t length = s.length.load();
    double p = 0.0;
    if (length == 0)
        p = 1.0;
    else if (length > 0)
        p = std::min(1.0, static_cast<double>(s.received.load()) / static_cast<double>(length));
    s.shownProgress = ShownProgress(s.shownProgress, p);
    return s.shownProgress;
}

int CVantorHttp::SaveData(const wchar_t* pszPath) {
    Shared& s = *m_pShared;
    if (!pszPath || !*pszPath || GetState() != kStateDone) return -1;
    try {
        std::lock_guard<std::mutex> lk(s.mtx);
        if (s.saveTried || s.tempPath.empty()) return -1;
        s.saveTried = true;
        if (s.file != INVALID_HANDLE_VALUE) {
            CloseHandle(s.file);
            s.file = INVALID_HANDLE_VALUE;
        }
        // On failure the file stays ours and the destructor removes it.
        // A rename only: a copy would be a second, unverified write.
        if (!MoveFileExW(s.tempPath.c_str(), pszPath, MOVEFILE_REPLACE_EXISTING)) return -1;
        s.tempPath.clear();
        return 0;
    } catch (...) {
        return -1;
    }
}

void CVantorHttp::SetMaxBodySize(uint64_t nBytes) {
    if (GetState() == kStateIdle) m_pShared->maxBody = nBytes;
}

void CVantorHttp::SetTempDir(const wchar_t* pszDir) {
    if (GetState() != kStateIdle) return;
    try {
        m_pShared->tempDir = pszDir ? pszDir : L"";
    } catch (...) {
    }
}

void CVantorHttp::EnableSha256() {
    if (GetState() == kStateIdle) m_pShared->hash = true;
}

void CVantorHttp::EnableRetries() {
    if (GetState() == kStateIdle) m_pShared->retries = true;
}

void CVantorHttp::KeepDownload(const wchar_t* pszPath, const KeptDownload& from,
                               std::function<void(const KeptDownload&)> onSaved) {
    Shared& s = *m_pShared;
    if (GetState() != kStateIdle || !pszPath || !*pszPath) return;
    try {
        s.keptFrom = from;
        s.onKept = std::move(onSaved);
        s.keptPath = pszPath;
    } catch (...) {
        s.keptPath.clear();
        return;
    }
    if (from.nHeld > 0 && from.nTotal > 0) {
        s.received.store(from.nHeld);
        s.length.store(from.nTotal);
    }
}

void CVantorHttp::OnAttempt(std::function<void(const AttemptReport&)> onAttempt) {
    if (GetState() == kStateIdle) m_pShared->onAttempt = std::move(onAttempt);
}

int CVantorHttp::GetHttpStatus() const { return m_pShared->status.load(); }

unsigned long CVantorHttp::GetErrorCode() const { return GetState() > 0 ? 0 : m_pShared->error; }

LogFields CVantorHttp::GetRouteFields() const {
    const Shared& s = *m_pShared;
    LogFields f;
    try {
        if (GetState() > 0) return f;
        f.emplace_back("proxy", s.route.kind);
        if (s.route.bUnconfigured) f.emplace_back("configured", "no");
        if (!s.route.proxy.empty()) f.emplace_back("via", RedactProxyList(Ascii(s.route.proxy)));
        const std::string pacHost = UrlHost(Ascii(s.route.pacUrl));
        if (!pacHost.empty()) f.emplace_back("pac_host", pacHost);
    } catch (...) {
    }
    return f;
}

const char* CVantorHttp::StateName(int nState) {
    switch (nState) {
    case kStateIdle: return "idle";
    case kStateRunning: return "running";
    case kStateDone: return "done";
    case kErrFailed: return "failed";
    case kErrStatus: return "status";
    case kErrShortBody: return "short-body";
    case kErrTooLarge: return "too-large";
    case kErrFile: return "file";
    case kErrCancelled: return "cancelled";
    case kErrBadUrl: return "bad-url";
    default: return "?";
    }
}

uint64_t CVantorHttp::GetReceivedBytes() const { return m_pShared->received.load(); }

bool CVantorHttp::GetSha256(uint8_t digest[32]) const {
    const Shared& s = *m_pShared;
    if (!digest || GetState() != kStateDone || !s.hash || !s.digestOk) return false;
    std::memcpy(digest, s.digest, sizeof s.digest);
    return true;
}

void CVantorHttp::Cancel() {
    Shared& s = *m_pShared;
    if (GetState() != kStateRunning) return;
    try {
        std::lock_guard<std::mutex> lk(s.mtx);
        s.stop.Raise();
    } catch (...) {
        try {
            s.stop.Raise();  // without the lock rather than not at all
        } catch (...) {
        }
    }
    Finalize(s, kErrCancelled);
}
