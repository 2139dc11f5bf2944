#pragma once
// Waits for something another thread or process does: polls condition until
// it holds or timeoutMs of real time have passed. The time-out only bounds a
// failing test. A test asserts how long something took only where that time
// is the behaviour, and then with a bound far from both the fault and the
// fix, so a busy machine neither hides the one nor fails the other.

#include <chrono>
#include <thread>

namespace qv::test {

template <typename Condition>
bool eventually(Condition condition, int timeoutMs = 20000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return condition();
}

}  // namespace qv::test
