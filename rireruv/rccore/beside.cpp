// Threads beside the polls (beside.h).
#include "rireruv/rccore/beside.h"

#include <csignal>
#include <pthread.h>

namespace rireruv {

bool ScanBounds::over(size_t linksRead) const {
    return (stop != nullptr && stop->load()) || linksRead >= maxLinks ||
           std::chrono::steady_clock::now() >= deadline;
}

ScanBounds ScanBounds::none() {
    ScanBounds b;
    b.maxLinks = 0;
    return b;
}

// The new thread inherits the mask in force when it is made: all blocked, then put back here.
std::thread quietThread(std::function<void()> body) {
    sigset_t all, was;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &was);
    try {
        std::thread t(std::move(body));
        pthread_sigmask(SIG_SETMASK, &was, nullptr);
        return t;
    } catch (...) {
        pthread_sigmask(SIG_SETMASK, &was, nullptr);
        throw;
    }
}

} // namespace rireruv
