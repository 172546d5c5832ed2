// The system clock as UTC seconds since 1970-01-01: what expiry times and
// the kept download's age are compared with.
#pragma once

#include <cstdint>

int64_t UtcSecondsNow();
