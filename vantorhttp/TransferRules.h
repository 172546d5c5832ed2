// The transfer's rules that need no Windows header: which answers deserve
// another attempt, how long to wait first, and what an answer to a range
// request means for the bytes already on disk.
#pragma once

#include <cstdint>

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
RangeAnswer JudgeRangeAnswer(int nStatus, const char* pszContentRange, int64_t nContentLength,
                             uint64_t nOffset, uint64_t nTotal);
