// Waiting for what a test checks rather than for a fixed time: the condition is asked, then
// asked again after each step, until it holds or the limit has passed. The limit only turns
// what never comes into a failure instead of a hang.
#pragma once

#include <chrono>
#include <thread>

// True as soon as done() holds; false when it still does not once limit has passed. done() may
// act as well as look (poll a board, drain a reader): it is called once a step.
template <class Condition>
bool waitUntil(Condition&& done, std::chrono::milliseconds limit, std::chrono::milliseconds every) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(every);
    }
    return true;
}
