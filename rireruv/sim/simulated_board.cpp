// The simulated board: the demo remote, the bytes of RIRERUV_DATA, and the three calls.
#include "rireruv/sim/simulated_board.h"

#include "rireruv/system.h"
#include "rireruv/tally.h"

namespace rireruv {

uint32_t DemoRemote::random() {
    // xorshift32: small, and the same sequence on every platform
    m_seed ^= m_seed << 13;
    m_seed ^= m_seed >> 17;
    m_seed ^= m_seed << 5;
    return m_seed;
}

int DemoRemote::next() {
    // Key codes of a typical TV remote: digits, channel and volume, mute, power.
    static const int kKeys[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09,
                                0x0A, 0x10, 0x11, 0x12, 0x13, 0x1A, 0x1F, 0x4C, 0xAB};
    if (m_left == 0) {
        if (m_key == 0) { // a press, held for 2 to 5 polls
            m_key = kKeys[random() % (sizeof kKeys / sizeof kKeys[0])];
            m_left = 2 + static_cast<int>(random() % 4);
        } else { // released, for 5 to 14 polls
            m_key = 0;
            m_left = 5 + static_cast<int>(random() % 10);
        }
    }
    --m_left;
    return m_key;
}

SimulatedBoard::SimulatedBoard(Settings settings)
    : m_settings(std::move(settings)), m_trace(m_settings.tracePath) {}

int SimulatedBoard::init() {
    if (m_settings.initStatus == ZELK_INIT_FAILED)
        return failInit(m_trace, "the simulated board fails its set-up, as RIRERUV_INIT_STATUS=" +
                                     std::to_string(ZELK_INIT_FAILED) + " asks");
    m_trace.hwInit(m_settings.initStatus);
    // Named as simulated, with what asked for it, so that nobody takes it for a card.
    const std::string asked =
        m_settings.simulatedBecause.empty() ? "" : ", asked for by " + m_settings.simulatedBecause;
    if (m_settings.demo)
        say("board: simulated (demo remote)" + asked);
    else
        say("board: simulated (RIRERUV_DATA, " + std::to_string(m_settings.data.size()) +
            (m_settings.data.size() == 1 ? " token)" : " tokens)") +
            (m_settings.simulatedBecause == "RIRERUV_DATA" ? "" : asked));
    BoardFacts facts;
    facts.board = "simulated";
    facts.asked = m_settings.simulatedBecause;
    tally().begin("the simulated board", "", facts);
    m_ready = true;
    return m_settings.initStatus;
}

int SimulatedBoard::next() {
    if (m_settings.demo)
        return m_demo.next();
    if (m_settings.data.empty())
        return kNothing;
    return m_settings.data[m_next++ % m_settings.data.size()];
}

int SimulatedBoard::getRemoteData(unsigned char* pbyData) {
    tally().poll(monotonicMs());
    if (m_settings.delayMs != 0)
        sleepMs(m_settings.delayMs);
    const int value = next();
    const bool written = value != kNothing && pbyData != nullptr;
    if (written)
        *pbyData = static_cast<unsigned char>(value);
    m_trace.remoteData(written ? pbyData : nullptr);
    note(written ? value : -1);
    return written ? 0 : 1;
}

// A press of the demo remote is a key going down (between presses it reports 0); each byte of
// RIRERUV_DATA is one, as the person who wrote them meant.
void SimulatedBoard::note(int written) {
    std::vector<PressNote> taken;
    if (written >= 0 && (!m_settings.demo || (written != 0 && written != m_previous))) {
        taken.emplace_back();
        taken.back().scancode = static_cast<uint64_t>(written);
    }
    m_previous = written;
    tally().presses(taken, monotonicMs());
}

int SimulatedBoard::free() {
    if (m_ready)
        say(tally().finalSummary());
    m_ready = false;
    m_trace.free();
    return 0;
}

} // namespace rireruv
