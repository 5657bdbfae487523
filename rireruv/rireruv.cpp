// The exported entries of the stand-in rireruv.dll (librireruv.so on Linux): one simulated
// board, set up from the environment when it is first used.
#define RIRERUV_BUILDING
#include "zelk.h"

#include "board.h"

#include <cstdlib>

namespace {
rireruv::Board& board() {
    static rireruv::Board b(rireruv::readSettings([](const char* name) { return std::getenv(name); }));
    return b;
}
} // namespace

extern "C" {

int ZELK_HWInit(void) { return board().init(); }

int ZELK_GetRemoteData(unsigned char* pbyData) { return board().getRemoteData(pbyData); }

int ZELK_Free(void) { return board().free(); }
}
