#include "ui/StatusLine.h"

#include <climits>
#include <string>

int ProgressPercent(double dProgress) {
    double d = dProgress * 100.0;
    if (!(d > (double)INT_MIN - 1.0)) return d != d ? 0 : INT_MIN;  // NaN shows 0
    if (!(d < (double)INT_MAX + 1.0)) return INT_MAX;
    return static_cast<int>(d);
}

std::wstring FormatStatusLine(const std::wstring& status, int nPercent) {
    std::wstring percent = L"(" + std::to_wstring(nPercent) + L"%)";
    if (percent.size() < 100) percent.append(100 - percent.size(), L' ');
    return status + percent;
}
