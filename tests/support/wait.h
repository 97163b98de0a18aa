#pragma once
// The one way a test waits for something another thread or process does: poll a condition
// with a deadline, never a fixed sleep before an assertion. (The Qt tests wait with QTest's
// own helpers, which also run the event loop.)
#include <chrono>
#include <thread>

namespace kestrom::testing {

using namespace std::chrono_literals;

// True as soon as `condition()` holds; false when it still does not after `timeout`. The
// condition is checked once more at the deadline, so a slow last step is not missed.
template <class Condition>
bool WaitUntil(Condition&& condition, std::chrono::milliseconds timeout = 5s,
               std::chrono::milliseconds interval = 10ms) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        std::this_thread::sleep_for(interval);
    }
    return true;
}

}  // namespace kestrom::testing
