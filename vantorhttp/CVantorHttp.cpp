// One GET over synchronous WinHTTP on a worker thread. The owner only polls
// atomics; everything the worker and the owner both touch lives in Shared,
// which the worker co-owns so that it may outlive a destroyed object.
#include "CVantorHttp.h"

#include <windows.h>
#include <winhttp.h>
#include <bcrypt.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifndef WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY
#define WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY 4
#endif

namespace {

const wchar_t kUserAgent[] = L"LumoraUpdate/1.1.1.2";
// The manifest must never come from a cache, and neither may an installer.
const wchar_t kNoCacheHeaders[] = L"Cache-Control: no-cache\r\nPragma: no-cache";

// Received bytes collect here and go to the disk (and the hash) in one piece.
// Reads themselves take whatever has arrived, so progress and Cancel stay
// responsive on slow links. 64 KiB to 4 MiB all run at the same speed under
// Wine; 256 KiB keeps two parallel transfers small.
constexpr size_t kWriteChunk = 256u << 10;
constexpr int kDefaultConnectMs = 10000;
constexpr int kDefaultIdleMs = 30000;
constexpr DWORD kMaxRedirects = 5;
// On a slow link every segment that arrives on its own costs a full trip
// through Wine's socket layer (half a core at 1 MiB/s). While the measured
// rate stays below kSlowRate, a small read is followed by a short pause so
// that the next read finds more waiting; a fast link never pauses.
constexpr double kRateWindowSeconds = 0.2;
constexpr double kSlowRate = 8.0 * (1 << 20);
constexpr DWORD kSmallRead = 64u << 10;
constexpr DWORD kGatherMs = 15;

// How long the destructor waits, in two halves: before it closes the handles
// of a worker stuck in WinHTTP, and after.
constexpr std::chrono::milliseconds kJoinHalf(150);

std::atomic<unsigned> g_tempSerial{0};

class Sha256 {
public:
    ~Sha256() {
        if (m_hash) BCryptDestroyHash(m_hash);
        if (m_alg) BCryptCloseAlgorithmProvider(m_alg, 0);
    }
    bool Start() {
        DWORD objLen = 0, got = 0;
        if (BCryptOpenAlgorithmProvider(&m_alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) {
            m_alg = nullptr;
            return false;
        }
        if (BCryptGetProperty(m_alg, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objLen),
                              sizeof objLen, &got, 0) < 0)
            return false;
        m_object.resize(objLen);
        if (BCryptCreateHash(m_alg, &m_hash, m_object.data(), objLen, nullptr, 0, 0) < 0) {
            m_hash = nullptr;
            return false;
        }
        return true;
    }
    bool Add(const uint8_t* p, size_t n) {
        return BCryptHashData(m_hash, const_cast<PUCHAR>(p), static_cast<ULONG>(n), 0) >= 0;
    }
    bool Finish(uint8_t out[32]) { return BCryptFinishHash(m_hash, out, 32, 0) >= 0; }

private:
    BCRYPT_ALG_HANDLE m_alg = nullptr;
    BCRYPT_HASH_HANDLE m_hash = nullptr;
    std::vector<UCHAR> m_object;
};

}  // namespace

struct CVantorHttp::Shared {
    // Settings and the parsed URL: written by the owner before the worker
    // starts, read-only afterwards.
    uint64_t maxBody = UINT64_MAX;  // no limit
    int connectMs = kDefaultConnectMs;
    int idleMs = kDefaultIdleMs;
    std::string tempDir;
    bool hash = false;
    std::wstring host;
    std::wstring path;
    INTERNET_PORT port = 0;
    bool secure = false;

    std::atomic<int> state{kStateIdle};
    std::atomic<int> status{0};
    std::atomic<uint64_t> received{0};
    std::atomic<int64_t> length{-1};
    std::atomic<bool> stop{false};  // set under mtx, read anywhere

    // Written by the worker before it publishes kStateDone.
    uint8_t digest[32] = {};
    bool digestOk = false;

    std::mutex mtx;  // guards everything below
    std::condition_variable exitedCv;
    bool exited = false;
    bool inCall = false;    // worker is inside a WinHTTP call that may block
    unsigned callSeq = 0;   // counts those calls
    HINTERNET session = nullptr;
    HINTERNET connect = nullptr;
    HINTERNET request = nullptr;
    HANDLE file = INVALID_HANDLE_VALUE;
    std::string tempPath;   // empty once moved away or deleted
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
    if (!s.tempPath.empty()) DeleteFileA(s.tempPath.c_str());
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
    if (!WinHttpQueryHeaders(req, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                             text, &size, WINHTTP_NO_HEADER_INDEX))
        return GetLastError() == ERROR_WINHTTP_HEADER_NOT_FOUND ? -1 : -2;
    const wchar_t* p = text;
    while (*p == L' ' || *p == L'\t') ++p;
    if (*p < L'0' || *p > L'9') return -2;
    uint64_t v = 0;
    for (; *p >= L'0' && *p <= L'9'; ++p) {
        if (v > (static_cast<uint64_t>(INT64_MAX) - 9) / 10) return -2;
        v = v * 10 + static_cast<unsigned>(*p - L'0');
    }
    while (*p == L' ' || *p == L'\t') ++p;
    return *p ? -2 : static_cast<int64_t>(v);
}

std::string TempFolder(const Shared& s) {
    std::string dir = s.tempDir;
    if (dir.empty()) {
        char buf[MAX_PATH + 1];
        DWORD n = GetTempPathA(sizeof buf, buf);
        if (n == 0 || n > MAX_PATH) return std::string();
        dir.assign(buf, n);
    }
    if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
    return dir;
}

// Creates the temporary file; false means kErrFile (or stop, which the
// caller tells apart by the stop flag).
bool CreateTemp(Shared& s, HANDLE* out) {
    std::string dir = TempFolder(s);
    if (dir.empty()) return false;
    const unsigned long pid = GetCurrentProcessId();
    std::lock_guard<std::mutex> lk(s.mtx);
    if (s.stop) return false;
    // A crashed run of a process with the same id may have left names behind.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = dir + "~vantor-" + std::to_string(pid) + "-" +
                           std::to_string(g_tempSerial.fetch_add(1)) + ".part";
        // Share-delete lets the owner remove the file while this thread holds it.
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                               nullptr, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            s.file = h;
            s.tempPath = path;
            *out = h;
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return false;
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

// The transfer itself; returns the final state it wants to publish.
int Transfer(Shared& s, Sha256& hasher) {
    const int kCancelled = CVantorHttp::kErrCancelled;
    const int kFailed = CVantorHttp::kErrFailed;

    // The automatic proxy type exists from Windows 8.1 on; older systems
    // refuse it, and then the configured proxy is the best there is.
    HINTERNET session = WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session)
        session = WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                              WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!Adopt(s, &Shared::session, session)) return kFailed;
    if (!WinHttpSetTimeouts(session, s.connectMs, s.connectMs, s.idleMs, s.idleMs)) return kFailed;

    HINTERNET connect = WinHttpConnect(session, s.host.c_str(), s.port, 0);
    if (!Adopt(s, &Shared::connect, connect)) return kFailed;

    HINTERNET req = WinHttpOpenRequest(connect, L"GET", s.path.c_str(), nullptr,
                                       WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                       WINHTTP_FLAG_REFRESH | (s.secure ? WINHTTP_FLAG_SECURE : 0));
    if (!Adopt(s, &Shared::request, req)) return kFailed;
    if (!WinHttpSetTimeouts(req, s.connectMs, s.connectMs, s.idleMs, s.idleMs)) return kFailed;
    // The receive time-out alone does not cover the wait for the headers.
    SetDword(req, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, static_cast<DWORD>(s.idleMs));
    SetDword(req, WINHTTP_OPTION_REDIRECT_POLICY, WINHTTP_OPTION_REDIRECT_POLICY_DEFAULT);
    SetDword(req, WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, kMaxRedirects);
    if (!WinHttpAddRequestHeaders(req, kNoCacheHeaders, static_cast<DWORD>(-1),
                                  WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE))
        return kFailed;

    if (!EnterCall(s)) return kCancelled;
    BOOL ok = WinHttpSendRequest(req, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA,
                                 0, 0, 0);
    if (!LeaveCall(s)) return kCancelled;
    if (!ok) return kFailed;
    if (!EnterCall(s)) return kCancelled;
    ok = WinHttpReceiveResponse(req, nullptr);
    if (!LeaveCall(s)) return kCancelled;
    if (!ok) return kFailed;

    DWORD status = 0, size = sizeof status;
    if (!WinHttpQueryHeaders(req, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return kFailed;
    s.status.store(static_cast<int>(status));
    // Redirects are already followed here; a 3xx that remains is a failure too.
    if (status < 200 || status > 299) return CVantorHttp::kErrStatus;

    const int64_t length = QueryContentLength(req);
    if (length == -2) return kFailed;
    s.length.store(length);
    if (length >= 0 && static_cast<uint64_t>(length) > s.maxBody)
        return CVantorHttp::kErrTooLarge;

    HANDLE file = INVALID_HANDLE_VALUE;
    if (!CreateTemp(s, &file)) return s.stop ? kCancelled : CVantorHttp::kErrFile;
    if (s.hash && !hasher.Start()) return kFailed;

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const double ticksPerSecond = static_cast<double>(frequency.QuadPart);
    LARGE_INTEGER windowStart;
    QueryPerformanceCounter(&windowStart);
    uint64_t windowBytes = 0;
    bool slowLink = false;
    std::vector<uint8_t> buf(kWriteChunk);
    size_t fill = 0;
    uint64_t received = 0;
    auto flush = [&]() -> int {
        if (s.hash && !hasher.Add(buf.data(), fill)) return kFailed;
        if (!WriteAll(file, buf.data(), fill)) return CVantorHttp::kErrFile;
        fill = 0;
        return CVantorHttp::kStateDone;
    };
    for (;;) {
        // Asking first makes the read return what has arrived instead of
        // waiting for the whole buffer to fill.
        DWORD avail = 0;
        if (!EnterCall(s)) return kCancelled;
        ok = WinHttpQueryDataAvailable(req, &avail);
        if (!LeaveCall(s)) return kCancelled;
        if (!ok) return kFailed;
        if (avail == 0) break;
        DWORD got = 0;
        if (!EnterCall(s)) return kCancelled;
        ok = WinHttpReadData(req, buf.data() + fill,
                             static_cast<DWORD>(std::min<size_t>(avail, buf.size() - fill)), &got);
        if (!LeaveCall(s)) return kCancelled;
        if (!ok) return kFailed;
        if (got == 0) break;
        fill += got;
        received += got;
        s.received.store(received);
        // Never trust more than the server announced.
        if (length >= 0 && received > static_cast<uint64_t>(length)) return kFailed;
        if (received > s.maxBody) return CVantorHttp::kErrTooLarge;
        if (fill == buf.size()) {
            int r = flush();
            if (r != CVantorHttp::kStateDone) return r;
        }
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        const double windowSeconds = static_cast<double>(now.QuadPart - windowStart.QuadPart) / ticksPerSecond;
        if (windowSeconds >= kRateWindowSeconds) {
            slowLink = static_cast<double>(received - windowBytes) / windowSeconds < kSlowRate;
            windowStart = now;
            windowBytes = received;
        }
        if (slowLink && got < kSmallRead) {
            if (s.stop) return kCancelled;
            Sleep(kGatherMs);
        }
    }
    int r = flush();
    if (r != CVantorHttp::kStateDone) return r;
    // A server that closes early looks like a normal end of the body.
    if (length >= 0 && received < static_cast<uint64_t>(length)) return CVantorHttp::kErrShortBody;
    if (s.hash) s.digestOk = hasher.Finish(s.digest);
    return s.hash && !s.digestOk ? kFailed : CVantorHttp::kStateDone;
}

void Run(std::shared_ptr<Shared> sp) {
    Shared& s = *sp;
    int result = CVantorHttp::kErrFailed;
    try {
        Sha256 hasher;
        result = Transfer(s, hasher);
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
    int n = MultiByteToWideChar(CP_THREAD_ACP, 0, url, -1, nullptr, 0);
    if (n <= 1) return false;
    std::wstring wide(static_cast<size_t>(n), L'\0');
    if (MultiByteToWideChar(CP_THREAD_ACP, 0, url, -1, &wide[0], n) != n) return false;
    wide.resize(static_cast<size_t>(n - 1));

    URL_COMPONENTS uc;
    std::memset(&uc, 0, sizeof uc);
    uc.dwStructSize = sizeof uc;
    uc.dwSchemeLength = uc.dwHostNameLength = uc.dwUrlPathLength = uc.dwExtraInfoLength =
        static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &uc)) return false;
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

int CVantorHttp::SendData(const char* pszMethod, const char* pszUrl, const char*, const char*,
                          const char*, const char*, const char*) {
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
    const int64_t length = m_pShared->length.load();
    if (length < 0) return 0.0;
    if (length == 0) return 1.0;
    const double p = static_cast<double>(m_pShared->received.load()) / static_cast<double>(length);
    return p > 1.0 ? 1.0 : p;
}

int CVantorHttp::SaveData(const char* pszPath) {
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
        if (!MoveFileExA(s.tempPath.c_str(), pszPath, MOVEFILE_REPLACE_EXISTING))
            return -1;
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
        m_pShared->tempDir = pszDir ? pszDir : "";
    } catch (...) {
    }
}

void CVantorHttp::EnableSha256() {
    if (GetState() == kStateIdle) m_pShared->hash = true;
}

int CVantorHttp::GetHttpStatus() const { return m_pShared->status.load(); }

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
    Finalize(s, kErrCancelled);
}
