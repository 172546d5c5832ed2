// The portable rules of TransferRules.h, reached by the native tests.
#include "TransferRules.h"

#include <algorithm>
#include <cstring>

#include "common/Text.h"

namespace {
const char* SkipBlanks(const char* p) {
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

// Decimal digits into out, refusing overflow; advances p past them.
bool ReadNumber(const char*& p, uint64_t& out) {
    const char* end = p;
    while (*end >= '0' && *end <= '9') ++end;
    if (!ParseDecimal(std::string_view(p, static_cast<size_t>(end - p)), UINT64_MAX, out)) return false;
    p = end;
    return true;
}

// A header that holds one number and blanks around it; -1 for anything
// else, or a number above nMax.
int64_t ParsePlainNumber(const char* pszValue, uint64_t nMax) {
    if (!pszValue) return -1;
    const char* p = SkipBlanks(pszValue);
    uint64_t v = 0;
    if (!ReadNumber(p, v) || *SkipBlanks(p) || v > nMax) return -1;
    return static_cast<int64_t>(v);
}
}  // namespace

double RetryBackoffSeconds(int nRetry, double random01) {
    if (nRetry < 1) nRetry = 1;
    if (nRetry > 8) nRetry = 8;
    if (random01 < 0 || random01 >= 1) random01 = 0.5;
    return 0.5 * static_cast<double>(1 << (nRetry - 1)) * (0.8 + 0.4 * random01);
}

bool IsRetryableStatus(int nStatus) {
    switch (nStatus) {
    case 408:
    case 429:
    case 500:
    case 502:
    case 503:
    case 504: return true;
    default: return false;
    }
}

int64_t ParseRetryAfterSeconds(const char* pszValue) { return ParsePlainNumber(pszValue, INT32_MAX); }

int64_t ParseContentLength(const char* pszValue) { return ParsePlainNumber(pszValue, INT64_MAX); }

bool IsStrongEtag(const char* pszValue) {
    if (!pszValue) return false;
    const size_t n = std::strlen(pszValue);
    return n >= 2 && pszValue[0] == '"' && pszValue[n - 1] == '"' && !std::memchr(pszValue + 1, '"', n - 2);
}

bool ParseContentRange(const char* pszValue, ContentRange& out) {
    if (!pszValue) return false;
    const char* p = SkipBlanks(pszValue);
    if (std::strncmp(p, "bytes", 5) != 0) return false;
    p += 5;
    if (*p != ' ' && *p != '\t') return false;
    p = SkipBlanks(p);
    ContentRange r;
    if (!ReadNumber(p, r.nFirst) || *p++ != '-' || !ReadNumber(p, r.nLast) || *p++ != '/' || !ReadNumber(p, r.nTotal) ||
        *SkipBlanks(p))
        return false;
    if (r.nFirst > r.nLast || r.nLast >= r.nTotal) return false;
    out = r;
    return true;
}

RangeAnswer JudgeRangeAnswer(int nStatus, const char* pszContentRange, int64_t nContentLength, uint64_t nOffset,
                             uint64_t nTotal) {
    if (nStatus == 200) return RangeAnswer::Restart;
    if (nStatus == 416) return RangeAnswer::Refused;
    if (nStatus != 206) return RangeAnswer::Other;
    ContentRange r;
    if (!ParseContentRange(pszContentRange, r) || r.nFirst != nOffset || r.nTotal != nTotal || r.nLast != nTotal - 1)
        return RangeAnswer::Refused;
    if (nContentLength >= 0 && static_cast<uint64_t>(nContentLength) != nTotal - nOffset) return RangeAnswer::Refused;
    return RangeAnswer::Append;
}

void CReadPacer::Record(size_t nAsked, size_t nGot, double readSeconds) {
    const double got = static_cast<double>(nGot);
    // Taking bytes that wait goes far faster than a tenth of the pause; a
    // read that took longer waited for the link (for a bursty sender, a
    // whole burst), and that is what costs CPU under Wine.
    const bool waited = nGot < nAsked || m_pause == 0 || readSeconds > std::max(0.002, m_pause / 10);
    if (!m_first) {
        m_windowBytes += got;
        m_windowSeconds += m_pause + readSeconds;
        m_windowWaited = m_windowWaited || waited;
    }
    m_first = false;
    if (m_windowSeconds >= kPeriodSeconds) {
        const double measured = m_windowBytes / m_windowSeconds;
        if (m_windowWaited) {
            // Between pauses, a little less than the link brings: the bytes
            // left over let the next reads find all they ask for, and a
            // waiting read costs a whole burst of a bursty sender.
            m_rate = (m_pause > 0 ? 0.9 : 1.0) * measured;
            m_rise = 0.03;
        } else {
            m_rate = std::max(m_rate, measured) * (1 + m_rise);
            m_rise = std::min(1.0, 2 * m_rise);
            // Reads without pauses are for a link measured near that fast:
            // an estimate that only rose would make them long waits.
            if (m_rate >= kPauseBelow && measured < 0.8 * kPauseBelow) m_rate = 0.99 * kPauseBelow;
        }
        m_windowBytes = m_windowSeconds = 0;
        m_windowWaited = false;
    }
    const double maxRead = static_cast<double>(m_nMaxRead);
    const double gathered = m_rate * kPeriodSeconds;
    m_pause = m_rate >= kTrickleBelow && m_rate < kPauseBelow && gathered <= maxRead ? kPeriodSeconds : 0;
    const double want = m_pause > 0 ? gathered : std::min(m_rate > 0 ? gathered : maxRead, 2 * got);
    m_size = static_cast<size_t>(std::min(std::max(want, static_cast<double>(kMinRead)), maxRead));
}

bool CRateFloor::Stalled(double seconds, uint64_t nBytes) {
    if (nBytes == 0 && m_samples.empty()) return false;  // the first byte starts the clock
    m_samples.emplace_back(seconds, nBytes);
    // Keep the newest sample that is a whole window old, as the base.
    while (m_samples.size() > 1 && m_samples[1].first <= seconds - kWindowSeconds) m_samples.pop_front();
    const auto& base = m_samples.front();
    return seconds - base.first >= kWindowSeconds && nBytes - base.second < kMinBytes;
}
