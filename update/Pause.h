// A pause timed by a clock, so that it lasts as long as asked whatever the
// system's sleep granularity (one 10 ms sleep is a whole 15.6 ms timer tick
// on a default Windows), and that ends early when asked to stop.
#pragma once

#include <cstdint>

// Waits until nMs have passed on now(), sleeping at most nStepMs at a time
// with sleep(ms). Returns true when stop() asked to end it early.
template <class Now, class Sleep, class Stop>
bool PauseUnlessStopped(uint64_t nMs, uint64_t nStepMs, Now now, Sleep sleep, Stop stop) {
    const uint64_t nEnd = now() + nMs;
    for (;;) {
        if (stop()) return true;
        const uint64_t nNow = now();
        if (nNow >= nEnd) return false;
        sleep(nEnd - nNow < nStepMs ? nEnd - nNow : nStepMs);
    }
}
