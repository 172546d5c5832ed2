#include "common/Text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

bool CopyText(char* pszDest, size_t nDestSize, const char* pszSrc) {
    if (!pszDest || nDestSize == 0) return false;
    size_t nLen = pszSrc ? std::strlen(pszSrc) : 0;
    if (nLen >= nDestSize) {
        pszDest[0] = '\0';
        return false;
    }
    std::memcpy(pszDest, pszSrc ? pszSrc : "", nLen + 1);
    return true;
}

bool FormatText(char* pszDest, size_t nDestSize, const char* pszFormat, ...) {
    if (!pszDest || nDestSize == 0) return false;
    va_list args;
    va_start(args, pszFormat);
    int n = std::vsnprintf(pszDest, nDestSize, pszFormat, args);
    va_end(args);
    if (n < 0 || static_cast<size_t>(n) >= nDestSize) {
        pszDest[0] = '\0';
        return false;
    }
    return true;
}

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool ParseDecimal(std::string_view digits, uint64_t nMax, uint64_t& nOut) {
    if (digits.empty()) return false;
    uint64_t v = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        const unsigned d = static_cast<unsigned>(c - '0');
        if (v > (nMax - d) / 10) return false;
        v = v * 10 + d;
    }
    nOut = v;
    return true;
}
