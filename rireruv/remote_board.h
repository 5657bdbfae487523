// The one interface every board offers the three exported entries, and the choice of board.
//
// Who supplies what: choose.cpp (every build) picks the board the settings ask for; the
// simulated board is rireruv/sim/; makeReceiverBoard comes from rireruv/rccore/ on Linux and
// from rireruv/windows/no_receivers.cpp on Windows, whichever the build links.
//
// What the entries rely on: init returns 0 when the board is ready and ZELK_INIT_FAILED on
// failure, with the reason on standard error (lines beginning "rireruv: ") and in the trace; a
// successful init names the board in one "rireruv: board: ..." line. getRemoteData never
// blocks for a real board, writes *pbyData only when it has a byte, and returns 0 when it
// wrote, 1 otherwise.
#pragma once

#include "rireruv/settings.h"

#include <memory>
#include <string>
#include <vector>

namespace rireruv {

class RemoteBoard {
  public:
    virtual ~RemoteBoard() = default;
    virtual int init() = 0;
    virtual int getRemoteData(unsigned char* pbyData) = 0;
    virtual int free() = 0;
};

// The receiver RIRERUV_DEVICE names; the simulated board when a setting asked for it; with
// nothing asked, a card's receiver (auto) where the build reads receivers, since a verifier that
// passed on a simulation nobody asked for would pass every empty card slot.
std::unique_ptr<RemoteBoard> chooseBoard(const Settings& settings);

// Whether this build reads real receivers: true on Linux (rireruv/rccore/), false on Windows,
// where a card comes with its vendor's library.
bool receiversReadHere();

// The real receiver that settings.device names (settings without errors: chooseBoard gives a
// refused board for those).
std::unique_ptr<RemoteBoard> makeReceiverBoard(const Settings& settings);

// A board whose init fails with reasons (said and traced); polls and free as any board's.
std::unique_ptr<RemoteBoard> makeRefusedBoard(const Settings& settings,
                                              std::vector<std::string> reasons);

} // namespace rireruv
