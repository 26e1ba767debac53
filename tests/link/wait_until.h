// Bounded polling for a condition another thread brings about.
#pragma once
#include <chrono>
#include <thread>

template <typename Predicate>
bool WaitUntil(Predicate done, int limitMs = 3000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
