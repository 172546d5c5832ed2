#include "update/BoundedText.h"

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
