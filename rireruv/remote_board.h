// The one interface every board offers the three exported entries, and the choice of board
// from the environment.
//
// Who supplies what: choose.cpp (every build) reads RIRERUV_DEVICE and picks the board; the
// simulated board is board.cpp; makeReceiverBoard comes from the rc-core files on Linux and
// from rccore_unavailable.cpp on Windows, whichever the build links.
//
// What the entries rely on: init returns 0 when the board is ready and 8 on failure, with the
// reason on standard error (lines beginning "rireruv: ") and in the trace; a successful init
// names the board in one "rireruv: board: ..." line. getRemoteData never blocks for a real
// board, writes *pbyData only when it has a byte, and returns 0 when it wrote, 1 otherwise.
#pragma once

#include "rireruv/sim/simulated_board.h"

#include <functional>
#include <memory>
#include <string>

namespace rireruv {

class RemoteBoard {
  public:
    virtual ~RemoteBoard() = default;
    virtual int init() = 0;
    virtual int getRemoteData(unsigned char* pbyData) = 0;
    virtual int free() = 0;
};

using Lookup = std::function<const char*(const char*)>;

// The simulated board unless RIRERUV_DEVICE is set; then the receiver it names.
std::unique_ptr<RemoteBoard> chooseBoard(const Lookup& lookup);

// The real receiver that RIRERUV_DEVICE names. settings.errors, when any, make init fail.
std::unique_ptr<RemoteBoard> makeReceiverBoard(const std::string& device, const Settings& settings);

} // namespace rireruv
