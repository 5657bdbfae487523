// Waiting on Windows.
#include "board.h"

#include <windows.h>

void rireruv::sleepMs(unsigned ms) {
    Sleep(ms);
}
