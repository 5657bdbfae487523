// Which board the library drives: RIRERUV_DEVICE unset gives the simulated board, set gives
// a real receiver. The simulated board's settings make no sense for a real one, so giving
// both is a malformed setting rather than one silently ignored.
#include "rireruv/remote_board.h"

#include "rireruv/report.h"
#include "rireruv/tally.h"

namespace rireruv {

namespace {

// The simulated board behind the common interface; it adds the line that names it.
class SimulatedBoard : public RemoteBoard {
  public:
    explicit SimulatedBoard(const Settings& settings) : m_board(settings), m_settings(settings) {}
    int init() override;
    int getRemoteData(unsigned char* pbyData) override;
    int free() override;

  private:
    Board m_board;
    Settings m_settings;
    bool m_ready = false;
    int m_previous = -1; // the byte the last poll wrote, or -1
};

int SimulatedBoard::init() {
    const int status = m_board.init();
    if (status == 8)
        return status;
    if (m_settings.demo)
        say("board: simulated (demo remote)");
    else
        say("board: simulated (RIRERUV_DATA, " + std::to_string(m_settings.data.size()) +
            (m_settings.data.size() == 1 ? " token)" : " tokens)"));
    tally().begin("the simulated board", "");
    m_ready = true;
    return status;
}

// A press of the demo remote is a key going down (between presses it reports 0); each byte of
// RIRERUV_DATA is one, as the person who wrote them meant.
int SimulatedBoard::getRemoteData(unsigned char* pbyData) {
    tally().poll(monotonicMs());
    const int status = m_board.getRemoteData(pbyData);
    const int written = status == 0 && pbyData != nullptr ? *pbyData : -1;
    std::vector<PressNote> taken;
    if (written >= 0 && (!m_settings.demo || (written != 0 && written != m_previous))) {
        taken.emplace_back();
        taken.back().scancode = static_cast<uint64_t>(written);
    }
    m_previous = written;
    tally().presses(taken, monotonicMs());
    return status;
}

int SimulatedBoard::free() {
    if (m_ready)
        say(tally().summary());
    m_ready = false;
    return m_board.free();
}

// The first simulated-board setting given together with RIRERUV_DEVICE, or an empty string.
std::string conflictWithDevice(const Lookup& lookup) {
    for (const char* name : {"RIRERUV_DATA", "RIRERUV_DELAY_MS", "RIRERUV_INIT_STATUS"}) {
        if (lookup(name) != nullptr)
            return std::string(name) +
                   " is a setting of the simulated board and cannot go with RIRERUV_DEVICE; "
                   "unset one of them";
    }
    return "";
}

} // namespace

std::unique_ptr<RemoteBoard> chooseBoard(const Lookup& lookup) {
    Settings settings = readSettings(lookup);
    const char* device = lookup("RIRERUV_DEVICE");
    if (device == nullptr)
        return std::make_unique<SimulatedBoard>(settings);
    const std::string conflict = conflictWithDevice(lookup);
    if (!conflict.empty())
        settings.errors.insert(settings.errors.begin(), conflict);
    return makeReceiverBoard(device, settings);
}

} // namespace rireruv
