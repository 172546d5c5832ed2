// One attempt of a transfer (Attempt.h): the request with its time-outs,
// redirect policy and range, the judgement of the answer, and the body read
// in pieces the pacer (TransferRules.h) sizes to the link, hashed and
// written as it arrives.
#include "Attempt.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "KeptFile.h"
#include "ResponseHeaders.h"
#include "TempFile.h"
#include "Tls.h"
#include "TransferRules.h"

namespace {

// The manifest must never come from a cache, and neither may an installer.
const wchar_t kNoCacheHeaders[] = L"Cache-Control: no-cache\r\nPragma: no-cache";

// Received bytes collect here and go to the disk (and the hash) in one
// piece; it is also the largest read. At 1 MiB a link of up to about 5 MiB/s
// is read in ten pieces a second.
constexpr size_t kWriteChunk = 1u << 20;
// A kept download's bytes are flushed and reported after this many, so that
// what the owner was told never lags 4 MiB behind what arrived (a chunk may
// be waiting in memory); on a slower link after every chunk once this long
// has passed, since there a lost MiB costs seconds, and a flush nothing.
constexpr uint64_t kKeptSaveEvery = (4u << 20) - kWriteChunk;
constexpr std::chrono::milliseconds kKeptSaveAfter(250);
constexpr DWORD kMaxRedirects = 5;

Outcome Final(int state) { return {state, false, -1}; }
Outcome Retry(int state, int64_t retryAfter = -1) { return {state, true, retryAfter}; }

bool SetDword(HINTERNET h, DWORD option, DWORD value) {
    return WinHttpSetOption(h, option, &value, sizeof value) != FALSE;
}

bool AdoptKeptFile(Shared& s, HANDLE* out) {
    const HANDLE h = OpenKeptFile(s.keptPath);
    if (h == INVALID_HANDLE_VALUE) return false;
    std::lock_guard<std::mutex> lk(s.mtx);
    if (s.stop.IsRaised()) {
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

// Empties the body's file (creating it on first use) and the digest.
int StartOver(Shared& s, Body& body) {
    if (body.file == INVALID_HANDLE_VALUE &&
        !(s.keptPath.empty() ? CreateTemp(s, &body.file) : AdoptKeptFile(s, &body.file)))
        return s.stop.IsRaised() ? CVantorHttp::kErrCancelled : CVantorHttp::kErrFile;
    LARGE_INTEGER zero = {};
    if (!SetFilePointerEx(body.file, zero, nullptr, FILE_BEGIN) || !SetEndOfFile(body.file))
        return CVantorHttp::kErrFile;
    body.size = 0;
    s.received.store(0);
    if (s.hash && !body.hasher.Start()) return CVantorHttp::kErrFailed;
    return CVantorHttp::kStateDone;
}

// Reads the answer's body onto the end of the file, in reads the pacer
// sizes to the link. A body that breaks off keeps what did arrive, for the
// next attempt to resume from.
Outcome ReadBody(Shared& s, HINTERNET req, Body& body) {
    const int kCancelled = CVantorHttp::kErrCancelled;
    const int64_t total = body.total;
    std::vector<uint8_t> buf(kWriteChunk);
    CReadPacer pacer(buf.size());
    // An installer (the transfer that retries) must also keep its rate: a
    // trickle that keeps each read inside the idle time-out is a stall too.
    CRateFloor floor;
    const uint64_t nBefore = body.size;  // held when this answer began
    const auto answerBegan = std::chrono::steady_clock::now();
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
        const double pause = pacer.PauseSeconds();
        if (pause > 0 && !s.stop.PauseUnlessRaised(std::chrono::duration<double>(pause))) return Final(kCancelled);
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
        // Where the rate floor applies, a read never waits for more than has
        // arrived, so that the floor is looked at within every idle time-out.
        DWORD available = 0;
        BOOL ok = TRUE;
        if (s.retries && pacer.LinkMayTrickle()) ok = WinHttpQueryDataAvailable(req, &available);
        if (ok) ok = WinHttpReadData(req, buf.data() + fill, available > 0 && available < ask ? available : ask, &got);
        if (!ok) s.error = GetLastError();
        if (!LeaveCall(s)) return Final(kCancelled);
        if (!ok) return broken();
        if (got == 0) break;
        const auto ended = std::chrono::steady_clock::now();
        pacer.Record(ask, got, std::chrono::duration<double>(ended - began).count());
        fill += got;
        const uint64_t held = body.size + fill;
        s.received.store(held);
        // Never trust more than the server announced.
        if (total >= 0 && held > static_cast<uint64_t>(total)) return Final(CVantorHttp::kErrFailed);
        if (held > s.maxBody) return Final(CVantorHttp::kErrTooLarge);
        if (s.retries && floor.Stalled(std::chrono::duration<double>(ended - answerBegan).count(), held - nBefore)) {
            s.error = ERROR_WINHTTP_TIMEOUT;
            return broken();
        }
    }
    const int r = flush();
    if (r != CVantorHttp::kStateDone) return Final(r);
    // A server that closes early looks like a normal end of the body.
    if (total >= 0 && body.size < static_cast<uint64_t>(total)) return Retry(CVantorHttp::kErrShortBody);
    return Final(CVantorHttp::kStateDone);
}

}  // namespace

int OpenKeptDownload(Shared& s, Body& body) {
    if (!AdoptKeptFile(s, &body.file)) return s.stop.IsRaised() ? CVantorHttp::kErrCancelled : CVantorHttp::kErrFile;
    // What cannot be taken back the first answer starts over.
    const CVantorHttp::KeptDownload& from = s.keptFrom;
    if (from.nHeld == 0 || from.nTotal < 0 || from.validator.empty()) return CVantorHttp::kStateDone;
    if (s.hash && !body.hasher.Start()) return CVantorHttp::kStateDone;
    if (!TakeBackHeldBytes(body.file, from.nHeld, s.hash ? &body.hasher : nullptr)) return CVantorHttp::kStateDone;
    body.size = body.saved = from.nHeld;
    body.total = from.nTotal;
    body.validator.assign(from.validator.begin(), from.validator.end());
    return CVantorHttp::kStateDone;
}

// Any answer but exactly the rest of the file the validator names starts
// the file over.
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

// The lock keeps the owner from closing the file meanwhile; once it has (to
// end a stuck call), nothing more is known.
void SaveKept(Shared& s, Body& body) {
    if (!s.onKept) return;
    std::lock_guard<std::mutex> lk(s.mtx);
    if (s.file == INVALID_HANDLE_VALUE || s.file != body.file || !FlushFileBuffers(s.file)) return;
    body.saved = body.size;
    body.savedAt = std::chrono::steady_clock::now();
    // The validator is printable ASCII (Validator() takes nothing else).
    s.onKept({body.size, body.total, std::string(body.validator.begin(), body.validator.end())});
}
