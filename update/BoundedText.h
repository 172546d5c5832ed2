// Bounded writes into fixed-size text buffers: a text that does not fit is
// refused (false, buffer emptied), never cut and never overflowed.
#pragma once

#include <cstddef>

bool CopyText(char* pszDest, size_t nDestSize, const char* pszSrc);
bool FormatText(char* pszDest, size_t nDestSize, const char* pszFormat, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
