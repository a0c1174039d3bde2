// Polls a condition until it holds: the tests wait so for what another
// thread brings about. The bound (20 s) is far above any working wait; a
// test that may wait in vain arms a watchdog (Watchdog.h).
#ifndef EVENTUALLY_H
#define EVENTUALLY_H

#include <chrono>
#include <thread>

// True once the condition holds; false when it still does not after 20 s.
template <typename TCondition>
bool Eventually(TCondition condition)
{
    for (int i = 0; i < 4000 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return condition();
}

#endif
