// The exported entries of the stand-in rireruv.dll (librireruv.so on Linux): the board the
// environment chooses, set up when it is first used.
#include "rireruv/exports.h"
#include "rireruv/remote_board.h"

#include <cstdlib>

namespace {
// Chosen when first used, from the environment read then and only then: RIRERUV_DEVICE picks a
// real receiver, otherwise the simulated board.
rireruv::RemoteBoard& board() {
    static const std::unique_ptr<rireruv::RemoteBoard> b = rireruv::chooseBoard(
        rireruv::readSettings([](const char* name) { return std::getenv(name); }));
    return *b;
}
} // namespace

extern "C" {

int ZELK_HWInit(void) {
    return board().init();
}

int ZELK_GetRemoteData(unsigned char* pbyData) {
    return board().getRemoteData(pbyData);
}

int ZELK_Free(void) {
    return board().free();
}
}
