// Waiting on Windows.
#include "rireruv/sim/simulated_board.h"

#include <windows.h>

void rireruv::sleepMs(unsigned ms) {
    Sleep(ms);
}
