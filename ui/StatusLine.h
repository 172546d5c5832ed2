// The status line and bar position shown while downloading.
#pragma once

#include <string>

// The progress fraction as the whole percent shown (truncated toward zero;
// out-of-range values are clamped instead of being undefined).
int ProgressPercent(double dProgress);

// The status text followed by "(N%)" left-justified in 100 characters.
std::wstring FormatStatusLine(const std::wstring& status, int nPercent);
