#include "common/UtcTime.h"

#include <windows.h>

int64_t UtcSecondsNow() {
    FILETIME ft;
    ::GetSystemTimeAsFileTime(&ft);
    const uint64_t n100ns = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    const int64_t kEpochDelta = 11644473600LL;  // 1601-01-01 to 1970-01-01 in seconds
    return static_cast<int64_t>(n100ns / 10000000ull) - kEpochDelta;
}
