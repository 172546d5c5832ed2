#include "common/StopSignal.h"

#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;

TEST(StopSignal, PauseLastsItsTimeUnlessRaised) {
    using Clock = std::chrono::steady_clock;
    CStopSignal stop;
    auto t0 = Clock::now();
    EXPECT_TRUE(stop.PauseUnlessRaised(300ms));
    EXPECT_GE(Clock::now() - t0, 300ms);
    EXPECT_LT(Clock::now() - t0, 2s);
    // Raised from another thread, it ends a long pause at once.
    std::thread raiser([&] {
        std::this_thread::sleep_for(50ms);
        stop.Raise();
    });
    t0 = Clock::now();
    EXPECT_FALSE(stop.PauseUnlessRaised(30s));
    EXPECT_LT(Clock::now() - t0, 5s);
    raiser.join();
    // Once raised, no pause at all, until it is cleared for the next worker.
    EXPECT_FALSE(stop.PauseUnlessRaised(30s));
    EXPECT_TRUE(stop.IsRaised());
    stop.Clear();
    EXPECT_TRUE(stop.PauseUnlessRaised(1ms));
}
