// Threads beside the polls (beside.h).
#include "rireruv/rccore/beside.h"

#include <csignal>
#include <pthread.h>
#include <sys/resource.h>

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
// It runs at the lowest priority: on a busy machine, the polls and the keys come first.
std::thread quietThread(std::function<void()> body) {
    sigset_t all, was;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &was);
    try {
        std::thread t([body = std::move(body)] {
            setpriority(PRIO_PROCESS, 0, 19); // on Linux, this thread alone
            body();
        });
        pthread_sigmask(SIG_SETMASK, &was, nullptr);
        return t;
    } catch (...) {
        pthread_sigmask(SIG_SETMASK, &was, nullptr);
        throw;
    }
}

} // namespace rireruv
