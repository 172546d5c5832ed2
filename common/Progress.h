// The progress a user is shown never moves backwards: a transfer that starts
// over, or the next source starting from zero, holds the bar where it was
// until it passes that point. The transfer and the download worker both
// show progress through this one rule.
#pragma once

#include <algorithm>

// What to show now, given what was shown and the fraction measured.
inline double ShownProgress(double shown, double measured) { return std::max(shown, measured); }
