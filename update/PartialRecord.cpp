#include "update/PartialRecord.h"

#include <cstring>

namespace {
const char kHeader[] = "lumora partial download 1";
// A clock set back a little (a time sync) must not throw a download away.
constexpr int64_t kFutureSlackSeconds = 3600;
enum : size_t { kMaxUrl = 1023, kMaxValidator = 255, kMaxDigits = 19 };

const char kHex[] = "0123456789abcdef";

// Splits "key value\n" off the front of text; false unless the key is
// exactly the one expected and the line ends in LF.
bool TakeLine(const std::string& text, size_t& pos, const char* key, std::string& value) {
    const size_t n = std::strlen(key);
    if (text.compare(pos, n, key) != 0 || pos + n >= text.size() || text[pos + n] != ' ') return false;
    const size_t begin = pos + n + 1, end = text.find('\n', begin);
    if (end == std::string::npos) return false;
    value.assign(text, begin, end - begin);
    pos = end + 1;
    return true;
}

// Decimal without sign, blanks or leading zeros, within int64.
bool ParseCount(const std::string& text, uint64_t& out) {
    if (text.empty() || text.size() > kMaxDigits || (text[0] == '0' && text.size() > 1)) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > static_cast<uint64_t>(INT64_MAX)) return false;
    out = v;
    return true;
}

// What may go into a request header or a URL: no control character (a
// line break would add a header of the writer's choosing).
bool IsPlainText(const std::string& text, size_t nMax, bool bAsciiOnly) {
    if (text.empty() || text.size() > nMax) return false;
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F || (bAsciiOnly && c > 0x7E)) return false;
    return true;
}

bool SameIntegrity(const IntegrityExpectation& a, const IntegrityExpectation& b) {
    return a.bHasSize == b.bHasSize && (!a.bHasSize || a.nSize == b.nSize) && a.bHasSha256 == b.bHasSha256 &&
           (!a.bHasSha256 || std::memcmp(a.sha256, b.sha256, 32) == 0);
}
}  // namespace

std::string SerializePartialRecord(const PartialRecord& r) {
    std::string digest = "-";
    if (r.integrity.bHasSha256) {
        digest.clear();
        for (uint8_t b : r.integrity.sha256) digest += {kHex[b >> 4], kHex[b & 15]};
    }
    return std::string(kHeader) + "\nurl " + r.url + "\nsize " +
           (r.integrity.bHasSize ? std::to_string(r.integrity.nSize) : "-") + "\nsha256 " + digest + "\nvalidator " +
           r.validator + "\ntotal " + std::to_string(r.nTotal) + "\nheld " + std::to_string(r.nHeld) + "\nsaved " +
           std::to_string(r.nSavedAt) + "\n";
}

bool ParsePartialRecord(const std::string& text, PartialRecord& out) {
    if (text.size() > kPartialRecordMaxBytes || text.compare(0, sizeof kHeader - 1, kHeader) != 0 ||
        text.size() < sizeof kHeader || text[sizeof kHeader - 1] != '\n')
        return false;
    size_t pos = sizeof kHeader;
    PartialRecord r;
    std::string size, digest, total, held, saved;
    if (!TakeLine(text, pos, "url", r.url) || !TakeLine(text, pos, "size", size) ||
        !TakeLine(text, pos, "sha256", digest) || !TakeLine(text, pos, "validator", r.validator) ||
        !TakeLine(text, pos, "total", total) || !TakeLine(text, pos, "held", held) ||
        !TakeLine(text, pos, "saved", saved) || pos != text.size())
        return false;
    if (!IsPlainText(r.url, kMaxUrl, false) || !IsPlainText(r.validator, kMaxValidator, true) ||
        r.validator.compare(0, 2, "W/") == 0)
        return false;
    uint64_t nSaved = 0;
    if (!ParseCount(total, r.nTotal) || !ParseCount(held, r.nHeld) || !ParseCount(saved, nSaved) || r.nHeld > r.nTotal)
        return false;
    r.nSavedAt = static_cast<int64_t>(nSaved);
    // Only what SerializePartialRecord writes: plain digits, lower-case hex.
    if (size != "-" && !ParseCount(size, r.integrity.nSize)) return false;
    if (digest != "-" && (digest.size() != 64 || digest.find_first_not_of(kHex) != std::string::npos)) return false;
    IntegrityExpectation integrity;
    if (!ParseIntegrity(size == "-" ? "" : size.c_str(), digest == "-" ? "" : digest.c_str(), integrity)) return false;
    r.integrity = integrity;
    if (r.integrity.bHasSize && r.integrity.nSize != r.nTotal) return false;
    out = r;
    return true;
}

PartialMatch CheckPartialRecord(const std::string& text, uint64_t nFileSize, int64_t nNow, PartialRecord& out) {
    PartialRecord r;
    if (!ParsePartialRecord(text, r)) return PartialMatch::Unreadable;
    if (r.nSavedAt > nNow + kFutureSlackSeconds || nNow - r.nSavedAt > kPartialMaxAgeSeconds)
        return PartialMatch::TooOld;
    if (r.nHeld > nFileSize) return PartialMatch::PastFile;
    out = r;
    return PartialMatch::Match;
}

PartialMatch JudgePartialRecord(const std::string& text, uint64_t nFileSize, int64_t nNow, const char* pszUrl,
                                const IntegrityExpectation& want, bool bKeyed, PartialRecord& out) {
    PartialRecord r;
    const PartialMatch m = CheckPartialRecord(text, nFileSize, nNow, r);
    if (m != PartialMatch::Match) return m;
    if (!pszUrl || r.url != pszUrl) return PartialMatch::OtherUrl;
    if (!SameIntegrity(r.integrity, want) || (bKeyed && !want.bHasSize && !want.bHasSha256))
        return PartialMatch::OtherIntegrity;
    out = r;
    return PartialMatch::Match;
}
