#pragma once
// Polls a condition that other threads make true. The limit only guards a
// hung test; no result depends on how long anything takes.

#include <atomic>
#include <chrono>
#include <thread>

namespace concurrencytest {

template <typename Condition>
bool waitUntil(Condition condition)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > giveUp)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The highest value a counter reached, kept as the counter rises.
inline void raisePeak(std::atomic<int>& peak, int now)
{
    int seen = peak;
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {}
}

}  // namespace concurrencytest
