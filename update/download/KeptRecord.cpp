#include "update/download/KeptRecord.h"

#include <cstring>

#include "common/Text.h"

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
    if (text.size() > kMaxDigits || (text.size() > 1 && text[0] == '0')) return false;
    return ParseDecimal(text, static_cast<uint64_t>(INT64_MAX), out);
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

std::string SerializeKeptRecord(const KeptRecord& r) {
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

bool ParseKeptRecord(const std::string& text, KeptRecord& out) {
    if (text.size() > kKeptRecordMaxBytes || text.compare(0, sizeof kHeader - 1, kHeader) != 0 ||
        text.size() < sizeof kHeader || text[sizeof kHeader - 1] != '\n')
        return false;
    size_t pos = sizeof kHeader;
    KeptRecord r;
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
    // Only what SerializeKeptRecord writes: plain digits, lower-case hex.
    if (size != "-" && !ParseCount(size, r.integrity.nSize)) return false;
    if (digest != "-" && (digest.size() != 64 || digest.find_first_not_of(kHex) != std::string::npos)) return false;
    IntegrityExpectation integrity;
    if (!ParseIntegrity(size == "-" ? "" : size.c_str(), digest == "-" ? "" : digest.c_str(), integrity)) return false;
    r.integrity = integrity;
    if (r.integrity.bHasSize && r.integrity.nSize != r.nTotal) return false;
    out = r;
    return true;
}

KeptMatch CheckKeptRecord(const std::string& text, uint64_t nFileSize, int64_t nNow, KeptRecord& out) {
    KeptRecord r;
    if (!ParseKeptRecord(text, r)) return KeptMatch::Unreadable;
    if (r.nSavedAt > nNow + kFutureSlackSeconds || nNow - r.nSavedAt > kKeptMaxAgeSeconds) return KeptMatch::TooOld;
    if (r.nHeld > nFileSize) return KeptMatch::PastFile;
    out = r;
    return KeptMatch::Match;
}

KeptMatch JudgeKeptRecord(const std::string& text, uint64_t nFileSize, int64_t nNow, const char* pszUrl,
                          const IntegrityExpectation& want, bool bKeyed, KeptRecord& out) {
    KeptRecord r;
    const KeptMatch m = CheckKeptRecord(text, nFileSize, nNow, r);
    if (m != KeptMatch::Match) return m;
    if (!pszUrl || r.url != pszUrl) return KeptMatch::OtherUrl;
    if (!SameIntegrity(r.integrity, want) || (bKeyed && !want.bHasSize && !want.bHasSha256))
        return KeptMatch::OtherIntegrity;
    out = r;
    return KeptMatch::Match;
}
