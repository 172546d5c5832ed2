// Text rules that every layer shares, without the platform: bounded writes
// into fixed-size buffers, blanks, and the one strict reader of decimal
// numbers (each caller adds its own syntax around it: signs, leading zeros,
// a length limit).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// A text that does not fit is refused (false, buffer emptied), never cut and
// never overflowed.
bool CopyText(char* pszDest, size_t nDestSize, const char* pszSrc);
bool FormatText(char* pszDest, size_t nDestSize, const char* pszFormat, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Space and \t \n \v \f \r, as the C library counts blanks.
bool IsBlank(char c);
std::string_view TrimBlanks(std::string_view text);

// The whole of digits as a decimal number: at least one digit and nothing
// else, no larger than nMax (so never an overflow). nOut is left alone on
// failure.
bool ParseDecimal(std::string_view digits, uint64_t nMax, uint64_t& nOut);
