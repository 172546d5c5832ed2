// One GET over synchronous WinHTTP on a worker thread. The owner only polls
// atomics; everything the worker and the owner both touch lives in Shared,
// which the worker co-owns so that it may outlive a destroyed object.
// Transfer() opens the session through the user's proxy and runs Attempt()
// until one succeeds, one fails for good, or the retries are used up.
#include "CVantorHttp.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "KeptFile.h"
#include "Proxy.h"
#include "Tls.h"
#include "TransferRules.h"
#include "common/BCrypt.h"
#include "common/Log.h"

namespace {

const wchar_t kUserAgent[] = L"LumoraUpdate/1.1.1.2";
// The manifest must never come from a cache, and neither may an installer.
const wchar_t kNoCacheHeaders[] = L"Cache-Control: no-cache\r\nPragma: no-cache";

// Received bytes collect here and go to the disk (and the hash) in one
// piece; it is also the largest read. At 1 MiB a link of up to about 5 MiB/s
// is read in ten pieces a second.
constexpr size_t kWriteChunk = 1u << 20;
// A kept body's bytes are flushed and reported after this many, so that
// what the owner was told never lags 4 MiB behind what arrived (a chunk may
// be waiting in memory); on a slower link after every chunk once this long
// has passed, since there a lost MiB costs seconds, and a flush nothing.
constexpr uint64_t kKeptSaveEvery = (4u << 20) - kWriteChunk;
constexpr std::chrono::milliseconds kKeptSaveAfter(250);
constexpr int kDefaultConnectMs = 10000;
constexpr int kDefaultIdleMs = 30000;
constexpr DWORD kMaxRedirects = 5;

// How long the destructor waits, in two halves: before it closes the handles
// of a worker stuck in WinHTTP, and after.
constexpr std::chrono::milliseconds kJoinHalf(150);

std::atomic<unsigned> g_tempSerial{0};

}  // namespace

struct CVantorHttp::Shared {
    // Settings and the parsed URL: written by the owner before the worker
    // starts, read-only afterwards.
    uint64_t maxBody = UINT64_MAX;  // no limit
    int connectMs = kDefaultConnectMs;
    int idleMs = kDefaultIdleMs;
    std::wstring tempDir;
    bool hash = false;
    bool retries = false;
    std::wstring keptPath;  // KeepDownload: the body's own file, never deleted here
    CVantorHttp::KeptDownload keptFrom;
    std::function<void(const CVantorHttp::KeptDownload&)> onKept;
    std::wstring url;  // as given, for the proxy look-up
    std::wstring host;
    std::wstring path;
    INTERNET_PORT port = 0;
    bool secure = false;

    std::atomic<int> state{kStateIdle};
    std::atomic<int> status{0};
    std::atomic<uint64_t> received{0};
    std::atomic<int64_t> length{-1};
    std::atomic<bool> stop{false};  // set under mtx, read anywhere
    // Written by the worker, read by the owner only once the state is final.
    ProxyRoute route;
    DWORD error = 0;           // of the last failed call, 0 when none failed
    int attemptStatus = 0;     // of the current attempt's answer, 0 before one
    double shownProgress = 0;  // the owner's alone

    // Written by the worker before it publishes kStateDone.
    uint8_t digest[32] = {};
    bool digestOk = false;

    std::mutex mtx;  // guards everything below
    std::condition_variable exitedCv;
    std::condition_variable stopCv;  // wakes a worker pausing between attempts
    bool exited = false;
    bool inCall = false;   // worker is inside a WinHTTP call that may block
    unsigned callSeq = 0;  // counts those calls
    // Raw slots, not owners: either thread closes them under the lock (the
    // owner ends a call stuck in WinHTTP that way), and whoever does leaves
    // null behind for the other.
    HINTERNET session = nullptr;
    HINTERNET connect = nullptr;
    HINTERNET request = nullptr;
    HANDLE file = INVALID_HANDLE_VALUE;
    std::wstring tempPath;  // empty once moved away or deleted
    bool saveTried = false;

    std::thread worker;  // touched by the owner only
};

namespace {

using Shared = CVantorHttp::Shared;

bool Finalize(Shared& s, int result) {
    int running = CVantorHttp::kStateRunning;
    return s.state.compare_exchange_strong(running, result, std::memory_order_acq_rel);
}

void CloseHandlesLocked(Shared& s) {
    // Children first, as WinHTTP expects.
    for (HINTERNET* h : {&s.request, &s.connect, &s.session}) {
        if (*h) WinHttpCloseHandle(*h);
        *h = nullptr;
    }
    if (s.file != INVALID_HANDLE_VALUE) CloseHandle(s.file);
    s.file = INVALID_HANDLE_VALUE;
}

void DeleteTempLocked(Shared& s) {
    if (!s.tempPath.empty() && s.keptPath.empty()) DeleteFileW(s.tempPath.c_str());
    s.tempPath.clear();
}

// Registers a new handle so that the owner can close it; refuses (and closes
// it) when the transfer was stopped meanwhile.
bool Adopt(Shared& s, HINTERNET Shared::*slot, HINTERNET h) {
    if (!h) return false;
    std::lock_guard<std::mutex> lk(s.mtx);
    if (s.stop) {
        WinHttpCloseHandle(h);
        return false;
    }
    s.*slot = h;
    return true;
}

// Brackets every WinHTTP call that can wait on the network. A worker that
// has been told to stop makes no further call, so the owner may close the
// handles of one that is stuck inside a call.
bool EnterCall(Shared& s) {
    std::lock_guard<std::mutex> lk(s.mtx);
    if (s.stop) return false;
    s.inCall = true;
    ++s.callSeq;
    return true;
}

bool LeaveCall(Shared& s) {
    std::lock_guard<std::mutex> lk(s.mtx);
    s.inCall = false;
    return !s.stop;
}

bool SetDword(HINTERNET h, DWORD option, DWORD value) {
    return WinHttpSetOption(h, option, &value, sizeof value) != FALSE;
}

// Content-Length as text: the numeric query flag is only 32 bits wide.
// Returns -1 when absent, -2 when present but not a plain decimal number.
int64_t QueryContentLength(HINTERNET req) {
    wchar_t text[64];
    DWORD size = sizeof text;
    if (!WinHttpQueryHeaders(req, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                             WINHTTP_NO_HEADER_INDEX))
        return GetLastError() == ERROR_WINHTTP_HEADER_NOT_FOUND ? -1 : -2;
    // Blanks stay blanks; anything beyond ASCII can only be refused.
    std::string narrow;
    for (const wchar_t* p = text; *p; ++p) narrow += *p < 0x80 ? static_cast<char>(*p) : '?';
    const int64_t length = ParseContentLength(narrow.c_str());
    return length < 0 ? -2 : length;
}

// Wide throughout: the owner names the same folder and file in the same
// text, whatever code page the thread or the system uses.
std::wstring TempFolder(const Shared& s) {
    std::wstring dir = s.tempDir;
    if (dir.empty()) {
        wchar_t buf[MAX_PATH + 1];
        DWORD n = GetTempPathW(MAX_PATH + 1, buf);
        if (n == 0 || n > MAX_PATH) return std::wstring();
        dir.assign(buf, n);
    }
    if (dir.back() != L'\\' && dir.back() != L'/') dir += L'\\';
    return dir;
}

std::wstring ThreadAcpToWide(const char* psz) {
    int n = MultiByteToWideChar(CP_THREAD_ACP, 0, psz, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    if (MultiByteToWideChar(CP_THREAD_ACP, 0, psz, -1, &wide[0], n) != n) return std::wstring();
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

// Creates the temporary file; false means kErrFile (or stop, which the
// caller tells apart by the stop flag).
bool CreateTemp(Shared& s, HANDLE* out) {
    std::wstring dir = TempFolder(s);
    if (dir.empty()) return false;
    const unsigned long pid = GetCurrentProcessId();
    std::lock_guard<std::mutex> lk(s.mtx);
    if (s.stop) return false;
    // A crashed run of a process with the same id may have left names behind.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring path =
            dir + L"~vantor-" + std::to_wstring(pid) + L"-" + std::to_wstring(g_tempSerial.fetch_add(1)) + L".part";
        // Share-delete lets the owner remove the file while this thread holds it.
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            s.file = h;
            s.tempPath = path;
            *out = h;
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

bool AdoptKeptFile(Shared& s, HANDLE* out) {
    const HANDLE h = OpenKeptFile(s.keptPath);
    if (h == INVALID_HANDLE_VALUE) return false;
    std::lock_guard<std::mutex> lk(s.mtx);
    if (s.stop) {
        CloseHandle(h);
        return false;
    }
    s.file = *out = h;
    s.tempPath = s.keptPath;
    return true;
}

bool WriteAll(HANDLE h, const uint8_t* p, size_t n) {
    while (n > 0) {
        DWORD put = 0;
        DWORD want = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
        if (!WriteFile(h, p, want, &put, nullptr) || put == 0) return false;
        p += put;
        n -= put;
    }
    return true;
}

// Failures that another attempt cannot cure: a redirect loop, a URL or a
// certificate that is wrong, not the network. timedOut: the call failed
// only after the time-out.
bool IsRetryableError(DWORD error, bool timedOut) {
    if (IsFinalTlsError(error, timedOut)) return false;
    switch (error) {
    case ERROR_WINHTTP_REDIRECT_FAILED:
    case ERROR_WINHTTP_INVALID_URL:
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return false;
    default: return true;
    }
}

// A response header; empty when absent or longer than any we need.
std::wstring QueryHeader(HINTERNET req, DWORD info) {
    wchar_t text[256];
    DWORD size = sizeof text;
    if (!WinHttpQueryHeaders(req, info, WINHTTP_HEADER_NAME_BY_INDEX, text, &size, WINHTTP_NO_HEADER_INDEX))
        return std::wstring();
    return std::wstring(text, size / sizeof(wchar_t));
}

// A header as the rules read it: printable ASCII only, else empty.
std::string Ascii(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        if (c < 0x20 || c > 0x7E) return std::string();
        out += static_cast<char>(c);
    }
    return out;
}

// What If-Range may name: a strong ETag, else Last-Modified, else nothing.
std::wstring Validator(HINTERNET req) {
    const std::wstring etag = QueryHeader(req, WINHTTP_QUERY_ETAG);
    if (IsStrongEtag(Ascii(etag).c_str())) return etag;
    const std::wstring modified = QueryHeader(req, WINHTTP_QUERY_LAST_MODIFIED);
    return Ascii(modified).empty() ? std::wstring() : modified;
}

// One question to the proxy look-up. It may wait on the network, so its
// session sits where the owner can close it.
bool AskProxy(Shared& s, const WINHTTP_AUTOPROXY_OPTIONS& options, WINHTTP_PROXY_INFO& info, DWORD& error) {
    HINTERNET lookup =
        WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!Adopt(s, &Shared::session, lookup)) return false;
    WinHttpSetTimeouts(lookup, s.connectMs, s.connectMs, s.idleMs, s.idleMs);
    bool found = false;
    if (EnterCall(s)) {
        WINHTTP_AUTOPROXY_OPTIONS asked = options;
        found = WinHttpGetProxyForUrl(lookup, s.url.c_str(), &asked, &info) != FALSE;
        error = found ? 0 : GetLastError();
        found = LeaveCall(s) && found;
    }
    std::lock_guard<std::mutex> lk(s.mtx);
    if (s.session) WinHttpCloseHandle(s.session);  // unless the owner already did
    s.session = nullptr;
    return found;
}

// The session through the user's proxy (Proxy.h).
HINTERNET OpenSession(Shared& s) {
    return OpenProxySession(
        kUserAgent,
        [&s](const WINHTTP_AUTOPROXY_OPTIONS& options, WINHTTP_PROXY_INFO& info, DWORD& error) {
            return AskProxy(s, options, info, error);
        },
        &s.route);
}

// What the temporary file holds, across attempts.
struct Body {
    HANDLE file = INVALID_HANDLE_VALUE;  // also s.file, which Run() closes
    uint64_t size = 0;                   // bytes on disk, every one of them hashed
    int64_t total = -1;                  // the whole file's length; -1 unknown
    std::wstring validator;              // of the answer that began the file
    CSha256 hasher;
    uint64_t saved = 0;  // bytes the owner was last told are on the disk
    std::chrono::steady_clock::time_point savedAt;

    bool CanResume() const {
        return size > 0 && !validator.empty() && total >= 0 && size < static_cast<uint64_t>(total);
    }
};

// How one attempt ended.
struct Outcome {
    int state;
    bool retry;          // another attempt may succeed
    int64_t retryAfter;  // seconds the server asked for; -1 when it did not
};
Outcome Final(int state) { return {state, false, -1}; }
Outcome Retry(int state, int64_t retryAfter = -1) { return {state, true, retryAfter}; }

// Empties the body's file (creating it on first use) and the digest.
int StartOver(Shared& s, Body& body) {
    if (body.file == INVALID_HANDLE_VALUE &&
        !(s.keptPath.empty() ? CreateTemp(s, &body.file) : AdoptKeptFile(s, &body.file)))
        return s.stop ? CVantorHttp::kErrCancelled : CVantorHttp::kErrFile;
    LARGE_INTEGER zero = {};
    if (!SetFilePointerEx(body.file, zero, nullptr, FILE_BEGIN) || !SetEndOfFile(body.file))
        return CVantorHttp::kErrFile;
    body.size = 0;
    s.received.store(0);
    if (s.hash && !body.hasher.Start()) return CVantorHttp::kErrFailed;
    return CVantorHttp::kStateDone;
}

// Tells the owner of a kept body what its file now holds, once that is on
// the disk. The lock keeps the owner from closing the file meanwhile; once
// it has (to end a stuck call), nothing more is known.
void SaveKept(Shared& s, Body& body) {
    if (!s.onKept) return;
    std::lock_guard<std::mutex> lk(s.mtx);
    if (s.file == INVALID_HANDLE_VALUE || s.file != body.file || !FlushFileBuffers(s.file)) return;
    body.saved = body.size;
    body.savedAt = std::chrono::steady_clock::now();
    // The validator is printable ASCII (Validator() takes nothing else).
    s.onKept({body.size, body.total, std::string(body.validator.begin(), body.validator.end())});
}

// Takes back the bytes an earlier run kept, for the first request to ask for
// the rest; what cannot be taken back the first answer starts over.
void ResumeKept(Shared& s, Body& body) {
    const CVantorHttp::KeptDownload& from = s.keptFrom;
    if (from.nHeld == 0 || from.nTotal < 0 || from.validator.empty()) return;
    if (s.hash && !body.hasher.Start()) return;
    if (!TakeBackHeldBytes(body.file, from.nHeld, s.hash ? &body.hasher : nullptr)) return;
    body.size = body.saved = from.nHeld;
    body.total = from.nTotal;
    body.validator.assign(from.validator.begin(), from.validator.end());
}

// Pauses unless the transfer is stopped first; false when it is.
bool PauseUnlessStopped(Shared& s, double seconds) {
    std::unique_lock<std::mutex> lk(s.mtx);
    return !s.stopCv.wait_for(lk, std::chrono::duration<double>(seconds), [&s] { return s.stop.load(); });
}

// Reads the answer's body onto the end of the file, in reads the pacer
// sizes to the link. A body that breaks off keeps what did arrive, for the
// next attempt to resume from.
Outcome ReadBody(Shared& s, HINTERNET req, Body& body) {
    const int kCancelled = CVantorHttp::kErrCancelled;
    const int64_t total = body.total;
    std::vector<uint8_t> buf(kWriteChunk);
    CReadPacer pacer(buf.size());
    size_t fill = 0;
    auto flush = [&]() -> int {
        if (s.hash && !body.hasher.Add(buf.data(), fill)) return CVantorHttp::kErrFailed;
        if (!WriteAll(body.file, buf.data(), fill)) return CVantorHttp::kErrFile;
        body.size += fill;
        fill = 0;
        const uint64_t unsaved = body.size - body.saved;
        if (unsaved >= kKeptSaveEvery ||
            (unsaved > 0 && std::chrono::steady_clock::now() - body.savedAt >= kKeptSaveAfter))
            SaveKept(s, body);
        return CVantorHttp::kStateDone;
    };
    auto broken = [&]() -> Outcome {
        const int r = flush();
        return r == CVantorHttp::kStateDone ? Retry(CVantorHttp::kErrFailed) : Final(r);
    };
    for (;;) {
        if (pacer.PauseSeconds() > 0 && !PauseUnlessStopped(s, pacer.PauseSeconds())) return Final(kCancelled);
        // A read the buffer cannot hold whole goes to the disk first: a read
        // cut short would tell the pacer nothing.
        if (fill + pacer.ReadSize() > buf.size()) {
            const int r = flush();
            if (r != CVantorHttp::kStateDone) return Final(r);
        }
        // One byte past the limit is enough to tell that the body is too large.
        const uint64_t room = s.maxBody - std::min(s.maxBody, body.size + fill);
        const DWORD ask = static_cast<DWORD>(room >= pacer.ReadSize() ? pacer.ReadSize() : room + 1);
        DWORD got = 0;
        const auto began = std::chrono::steady_clock::now();
        if (!EnterCall(s)) return Final(kCancelled);
        const BOOL ok = WinHttpReadData(req, buf.data() + fill, ask, &got);
        if (!ok) s.error = GetLastError();
        if (!LeaveCall(s)) return Final(kCancelled);
        if (!ok) return broken();
        if (got == 0) break;
        pacer.Record(ask, got, std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
        fill += got;
        const uint64_t held = body.size + fill;
        s.received.store(held);
        // Never trust more than the server announced.
        if (total >= 0 && held > static_cast<uint64_t>(total)) return Final(CVantorHttp::kErrFailed);
        if (held > s.maxBody) return Final(CVantorHttp::kErrTooLarge);
    }
    const int r = flush();
    if (r != CVantorHttp::kStateDone) return Final(r);
    // A server that closes early looks like a normal end of the body.
    if (total >= 0 && body.size < static_cast<uint64_t>(total)) return Retry(CVantorHttp::kErrShortBody);
    return Final(CVantorHttp::kStateDone);
}

// One request and its answer. Asks only for the rest of the file when bytes
// have arrived and the server named a validator for them; any answer but
// exactly that rest of that file starts the file over.
Outcome Attempt(Shared& s, HINTERNET connect, Body& body) {
    const int kCancelled = CVantorHttp::kErrCancelled;
    const int kFailed = CVantorHttp::kErrFailed;
    const bool ranged = s.retries && body.CanResume();
    HINTERNET req =
        WinHttpOpenRequest(connect, L"GET", s.path.c_str(), nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                           WINHTTP_FLAG_REFRESH | (s.secure ? WINHTTP_FLAG_SECURE : 0));
    if (!Adopt(s, &Shared::request, req)) return Final(kFailed);
    if (!WinHttpSetTimeouts(req, s.connectMs, s.connectMs, s.idleMs, s.idleMs)) return Final(kFailed);
    // The receive time-out alone does not cover the wait for the headers.
    SetDword(req, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, static_cast<DWORD>(s.idleMs));
    SetRedirectPolicy(req);
    SetDword(req, WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, kMaxRedirects);
    std::wstring headers = kNoCacheHeaders;
    if (ranged) headers += L"\r\nRange: bytes=" + std::to_wstring(body.size) + L"-\r\nIf-Range: " + body.validator;
    if (!WinHttpAddRequestHeaders(req, headers.c_str(), static_cast<DWORD>(-1),
                                  WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE))
        return Final(kFailed);

    if (!EnterCall(s)) return Final(kCancelled);
    const ULONGLONG sendStart = GetTickCount64();
    BOOL ok = WinHttpSendRequest(req, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
    DWORD error = ok ? 0 : GetLastError();
    // Wine reports a handshake that timed out as a failed channel, as it does a
    // refused certificate; only the time it took tells the two apart.
    const bool timedOut = !ok && (GetTickCount64() - sendStart) * 10 >= static_cast<ULONGLONG>(s.idleMs) * 9;
    if (!LeaveCall(s)) return Final(kCancelled);
    if (ok) {
        if (!EnterCall(s)) return Final(kCancelled);
        ok = WinHttpReceiveResponse(req, nullptr);
        error = ok ? 0 : GetLastError();
        if (!LeaveCall(s)) return Final(kCancelled);
    }
    // Refused, reset, timed out, or the proxy would not connect.
    if (!ok) {
        s.error = error;
        return {kFailed, IsRetryableError(error, timedOut), -1};
    }

    DWORD status = 0, size = sizeof status;
    if (!WinHttpQueryHeaders(req, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                             &status, &size, WINHTTP_NO_HEADER_INDEX))
        return Retry(kFailed);
    s.status.store(static_cast<int>(status));
    s.attemptStatus = static_cast<int>(status);
    const int64_t length = QueryContentLength(req);
    if (length == -2) return Final(kFailed);
    bool append = false;
    if (ranged) {
        switch (JudgeRangeAnswer(static_cast<int>(status), Ascii(QueryHeader(req, WINHTTP_QUERY_CONTENT_RANGE)).c_str(),
                                 length, body.size, static_cast<uint64_t>(body.total))) {
        case RangeAnswer::Append: append = true; break;
        case RangeAnswer::Refused:
            body.validator.clear();  // the next attempt starts from zero
            return Retry(CVantorHttp::kErrStatus);
        case RangeAnswer::Restart:
        case RangeAnswer::Other: break;
        }
    }
    // Redirects are already followed here: a 3xx that remains is a failure,
    // and so is a part of the file that was never asked for.
    if (status < 200 || status > 299 || (status == 206 && !append)) {
        if (!IsRetryableStatus(static_cast<int>(status))) return Final(CVantorHttp::kErrStatus);
        return Retry(CVantorHttp::kErrStatus,
                     ParseRetryAfterSeconds(Ascii(QueryHeader(req, WINHTTP_QUERY_RETRY_AFTER)).c_str()));
    }
    if (!append) {
        if (length >= 0 && static_cast<uint64_t>(length) > s.maxBody) return Final(CVantorHttp::kErrTooLarge);
        const int r = StartOver(s, body);
        if (r != CVantorHttp::kStateDone) return Final(r);
        body.total = length;
        body.validator = Validator(req);
        s.length.store(length);
        SaveKept(s, body);  // the old bytes are gone: nothing is held any more
    }
    return ReadBody(s, req, body);
}

void DropRequest(Shared& s) {
    std::lock_guard<std::mutex> lk(s.mtx);
    if (s.request) WinHttpCloseHandle(s.request);
    s.request = nullptr;
}

// One line per attempt of a transfer that retries (an installer; the
// manifest's single attempt is told by its caller), never per read.
class AttemptLog {
public:
    AttemptLog(Shared& s, int attempt, const Body& body)
        : m_s(s), m_attempt(attempt), m_from(s.retries && body.CanResume() ? body.size : 0), m_began(GetTickCount64()) {
        m_s.attemptStatus = 0;
        m_s.error = 0;
    }
    void Write(const Body& body, const Outcome& o, const char* result, double pauseSeconds = -1) const {
        if (!m_s.retries) return;
        LogFields f = {{"n", std::to_string(m_attempt)},
                       {"from", std::to_string(m_from)},
                       {"status", std::to_string(m_s.attemptStatus)},
                       {"bytes", std::to_string(body.size >= m_from ? body.size - m_from : body.size)},
                       {"ms", std::to_string(GetTickCount64() - m_began)},
                       {"result", result}};
        if (o.state != CVantorHttp::kStateDone) f.emplace_back("reason", CVantorHttp::StateName(o.state));
        if (m_s.error) AddErrorFields(f, m_s.error);
        if (pauseSeconds >= 0) f.emplace_back("pause_ms", std::to_string(static_cast<long long>(pauseSeconds * 1000)));
        LogEvent("attempt", f);
    }

private:
    Shared& m_s;
    int m_attempt;
    uint64_t m_from;
    ULONGLONG m_began;
};

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
        if (!AdoptKeptFile(s, &body.file)) return s.stop ? CVantorHttp::kErrCancelled : CVantorHttp::kErrFile;
        ResumeKept(s, body);
    }
    LARGE_INTEGER seed;
    QueryPerformanceCounter(&seed);
    std::minstd_rand random(static_cast<unsigned>(seed.QuadPart) ^ GetCurrentThreadId());
    std::uniform_real_distribution<double> spread(0.0, 1.0);
    for (int attempt = 1;; ++attempt) {
        AttemptLog log(s, attempt, body);
        const Outcome o = Attempt(s, connect, body);
        DropRequest(s);
        SaveKept(s, body);
        if (o.state == CVantorHttp::kStateDone) {
            log.Write(body, o, "done");
            break;
        }
        // A server that wants a longer pause than a user would wait for
        // ends the transfer now rather than later.
        if (!o.retry || !s.retries || attempt > kMaxRetries || o.retryAfter > kMaxRetryAfterSeconds) {
            log.Write(body, o, "final");
            return o.state;
        }
        const double pause =
            o.retryAfter >= 0 ? static_cast<double>(o.retryAfter) : RetryBackoffSeconds(attempt, spread(random));
        log.Write(body, o, "retry", pause);
        if (!PauseUnlessStopped(s, pause)) return CVantorHttp::kErrCancelled;
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
    const std::wstring wide = ThreadAcpToWide(url);
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
        s.stop = true;
        s.stopCv.notify_all();
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
    s.shownProgress = std::max(s.shownProgress, p);
    return s.shownProgress;
}

int CVantorHttp::SaveData(const char* pszPath) {
    if (!pszPath || !*pszPath) return -1;
    try {
        const std::wstring path = ThreadAcpToWide(pszPath);
        return path.empty() ? -1 : SaveData(path.c_str());
    } catch (...) {
        return -1;
    }
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

void CVantorHttp::SetTimeouts(int nConnectMs, int nIdleMs) {
    if (GetState() != kStateIdle) return;
    if (nConnectMs > 0) m_pShared->connectMs = nConnectMs;
    if (nIdleMs > 0) m_pShared->idleMs = nIdleMs;
}

void CVantorHttp::SetTempDir(const char* pszDir) {
    if (GetState() != kStateIdle) return;
    try {
        m_pShared->tempDir = pszDir ? ThreadAcpToWide(pszDir) : std::wstring();
    } catch (...) {
    }
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

int64_t CVantorHttp::GetContentLength() const { return m_pShared->length.load(); }

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
        s.stop = true;
    } catch (...) {
        s.stop = true;  // the worker also reads the flag without the lock
    }
    s.stopCv.notify_all();
    Finalize(s, kErrCancelled);
}
