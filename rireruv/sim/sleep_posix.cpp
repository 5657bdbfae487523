// Waiting on POSIX systems.
#include "rireruv/sim/simulated_board.h"

#include <cerrno>
#include <ctime>

void rireruv::sleepMs(unsigned ms) {
    timespec t{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}
