// Which board the library drives: the settings say, once; the board gets them and reads nothing
// else.
#include "rireruv/remote_board.h"
#include "rireruv/sim/simulated_board.h"

namespace rireruv {

std::unique_ptr<RemoteBoard> chooseBoard(const Settings& settings) {
    if (!settings.errors.empty()) // whichever board they were for: none is set up
        return makeRefusedBoard(settings, settings.errors);
    if (settings.receiver)
        return makeReceiverBoard(settings);
    if (settings.simulatedBecause.empty() && receiversReadHere()) {
        Settings card = settings;
        card.receiver = card.deviceDefaulted = true;
        card.device = "auto";
        return makeReceiverBoard(card);
    }
    return std::make_unique<SimulatedBoard>(settings);
}

} // namespace rireruv
