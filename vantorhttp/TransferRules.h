// The transfer's rules that need no Windows header: which answers deserve
// another attempt, how long to wait first, what the headers it reads say,
// what an answer to a range request means for the bytes already on disk,
// and how large each read of the body is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>

// Attempts after the first, for a transfer with retries enabled.
constexpr int kMaxRetries = 3;
// A server asking for a longer pause than this is not waited for.
constexpr int64_t kMaxRetryAfterSeconds = 10;

// The pause before retry nRetry (1-based): about 0.5 s, 1 s, 2 s, spread by
// up to 20 % either way with random01 in [0, 1) so that many clients cut
// off together do not come back together.
double RetryBackoffSeconds(int nRetry, double random01);

// 408, 429, 500, 502, 503 and 504: answers that say "not now".
bool IsRetryableStatus(int nStatus);

// Retry-After in seconds; -1 when absent or not plain seconds (an HTTP date).
int64_t ParseRetryAfterSeconds(const char* pszValue);

// Content-Length: a plain decimal number between blanks that fits in 63
// bits; -1 for anything else.
int64_t ParseContentLength(const char* pszValue);

// A strong entity tag ("...", not W/"..."): only those may go into If-Range.
bool IsStrongEtag(const char* pszValue);

struct ContentRange {
    uint64_t nFirst = 0, nLast = 0, nTotal = 0;
};
// "bytes FIRST-LAST/TOTAL" with a known total; false for anything else.
bool ParseContentRange(const char* pszValue, ContentRange& out);

enum class RangeAnswer {
    Append,   // 206 with exactly the rest of the same file
    Restart,  // 200: the whole file again (range ignored, or the file changed)
    Refused,  // 206 elsewhere, another total, or 416: start over next time
    Other,    // any other status, judged as an answer to a plain request
};
// The answer to "Range: bytes=nOffset-" for a file of nTotal bytes.
// nContentLength is -1 when the answer has none.
RangeAnswer JudgeRangeAnswer(int nStatus, const char* pszContentRange, int64_t nContentLength, uint64_t nOffset,
                             uint64_t nTotal);

// Plans the reads of a body. A read waits until its buffer is full (or the
// body ends), and under Wine every moment spent waiting inside it costs CPU
// (a tenth of a core at 1 MiB/s). So on a link below kPauseBelow the reader
// lets bytes gather in the socket for a tenth of a second and then asks for
// a little less than the link brings: the read takes what is there, and the
// bytes left over keep the next reads from waiting.
// The rate is measured over a tenth of a second at least. Where a read had
// to wait for the link (or returned early), the link set the pace and the
// measure is its rate; where every read found its bytes waiting, the reader
// set it, and the estimate rises past the measure, faster each time in a
// row, so a low estimate cannot cap the rate. The first read waits for the
// server, not the link, and is not measured. A faster link is read without
// pauses, in reads of about a tenth of a second that grow at most twofold
// from one to the next, so progress and Cancel stay responsive.
class CReadPacer {
public:
    static constexpr size_t kMinRead = 4u << 10;
    static constexpr double kPeriodSeconds = 0.1;
    // What gathers in a pause below this rate (300 KB at most) is taken in
    // far less than a tenth of the pause (tens of MB/s under Wine), so a
    // read that took longer waited for the link.
    static constexpr double kPauseBelow = 3.0 * (1 << 20);

    explicit CReadPacer(size_t nMaxRead) : m_nMaxRead(nMaxRead < kMinRead ? kMinRead : nMaxRead) {}
    double PauseSeconds() const { return m_pause; }
    size_t ReadSize() const { return m_size; }
    // Below this a pause gathers less than kMinRead: the reader does not
    // pause there, and a read that must not wait long (see CRateFloor)
    // takes what has arrived instead of ReadSize, or a trickle (each byte
    // inside the idle time-out) could hold one read for hours.
    static constexpr double kTrickleBelow = kMinRead / kPeriodSeconds;
    bool LinkMayTrickle() const { return m_rate < kTrickleBelow; }  // also while not yet measured
    // After each read: bytes asked for and received, and the seconds it took
    // (the pause before it not included).
    void Record(size_t nAsked, size_t nGot, double readSeconds);

private:
    size_t m_nMaxRead;
    size_t m_size = kMinRead;
    double m_pause = 0;
    double m_rate = 0;  // bytes a second, 0 while unknown
    double m_rise = 0.03;
    double m_windowBytes = 0, m_windowSeconds = 0;
    bool m_windowWaited = false;
    bool m_first = true;
};

// The floor under a body's rate. Each read ends within the idle time-out as
// long as some byte comes, so a server that sends one byte every 29 s would
// hold a download for ever (and keep its mirrors from being tried). Once the
// first byte of an answer has arrived, fewer than kMinBytes in any
// kWindowSeconds is a stall, retried as one.
class CRateFloor {
public:
    static constexpr double kWindowSeconds = 60;
    static constexpr uint64_t kMinBytes = 60u << 10;  // 1 KiB/s

    // After each read: the seconds on a steady clock, and the bytes of this
    // answer so far. True once they have fallen below the floor.
    bool Stalled(double seconds, uint64_t nBytes);

private:
    std::deque<std::pair<double, uint64_t>> m_samples;  // the last window, and one before it
};
