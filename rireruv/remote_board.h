// The one interface every board offers the three exported entries, and the choice of board.
//
// Who supplies what: choose.cpp (every build) picks the board the settings ask for; the
// simulated board is rireruv/sim/; makeReceiverBoard comes from rireruv/rccore/ on Linux and
// from rireruv/rccore/unavailable.cpp on Windows, whichever the build links.
//
// What the entries rely on: init returns 0 when the board is ready and ZELK_INIT_FAILED on
// failure, with the reason on standard error (lines beginning "rireruv: ") and in the trace; a
// successful init names the board in one "rireruv: board: ..." line. getRemoteData never
// blocks for a real board, writes *pbyData only when it has a byte, and returns 0 when it
// wrote, 1 otherwise.
#pragma once

#include "rireruv/settings.h"

#include <memory>

namespace rireruv {

class RemoteBoard {
  public:
    virtual ~RemoteBoard() = default;
    virtual int init() = 0;
    virtual int getRemoteData(unsigned char* pbyData) = 0;
    virtual int free() = 0;
};

// The simulated board unless RIRERUV_DEVICE was given; then the receiver it names.
std::unique_ptr<RemoteBoard> chooseBoard(const Settings& settings);

// The real receiver that settings.device names. settings.errors, when any, make init fail.
std::unique_ptr<RemoteBoard> makeReceiverBoard(const Settings& settings);

} // namespace rireruv
