// The Windows build has no rc-core: a real card on Windows brings its vendor's rireruv.dll.
// Its receiver board only says so, so that RIRERUV_DEVICE never silently falls back to a
// simulation.
#include "rireruv/remote_board.h"
#include "rireruv/shown.h"

namespace rireruv {

bool receiversReadHere() {
    return false;
}

std::unique_ptr<RemoteBoard> makeReceiverBoard(const Settings& settings) {
    return makeRefusedBoard(
        settings, {"RIRERUV_DEVICE=" + shown(settings.device) +
                   ": real receivers are read only by the Linux library; on Windows a real "
                   "card comes with its vendor's rireruv.dll. Unset RIRERUV_DEVICE for the "
                   "simulated board"});
}

} // namespace rireruv
