#pragma once

#include <chrono>
#include <functional>

// The time by which the lock probe waits to give its hold back. Tests put a clock of their own in
// its place, so that a wait of a minute passes at once.
struct GiveBackClock
{
    using Clock = std::chrono::steady_clock;

    std::function<Clock::time_point()> now;
    std::function<void(Clock::duration)> sleep;

    // The steady clock, and sleeping the thread for real.
    [[nodiscard]] static GiveBackClock real();
};

// The clock that the probe uses: the real one unless a test has put another in its place.
[[nodiscard]] GiveBackClock &giveBackClock();
