#include "give_back_clock.h"

#include <thread>

GiveBackClock GiveBackClock::real()
{
    return { [] { return Clock::now(); },
        [](Clock::duration duration) { std::this_thread::sleep_for(duration); } };
}

GiveBackClock &giveBackClock()
{
    static GiveBackClock clock = GiveBackClock::real();
    return clock;
}
