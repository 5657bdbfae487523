// The real board on Linux: the receiver RIRERUV_DEVICE names, found through rc-core and read
// through its lirc node in scancode mode where there is one, otherwise its event device.
#include "receivers/find.h"
#include "receivers/keymap.h"
#include "receivers/pick.h"
#include "rireruv/rccore/poll.h"
#include "rireruv/rccore/silence.h"
#include "rireruv/remote_board.h"
#include "rireruv/report.h"
#include "rireruv/tally.h"

namespace rireruv {

namespace {

class ReceiverBoard : public RemoteBoard {
  public:
    explicit ReceiverBoard(const Settings& settings)
        : m_device(settings.device), m_defaulted(settings.deviceDefaulted),
          m_trace(settings.tracePath) {}
    int init() override;
    int getRemoteData(unsigned char* pbyData) override;
    int free() override;

  private:
    BoardFacts factsOf(const Receiver& r, const std::string& node) const;

    std::string m_device;
    bool m_defaulted; // nothing asked for a board: auto was taken
    Trace m_trace;
    std::unique_ptr<Poller> m_poller;
};

// The keymap's keys, read from the event device even when the lirc node is the one read: only
// the input layer lists a keymap.
void readKeys(const Receiver& r) {
    std::string why = r.eventNode.empty() ? "the receiver has no event device" : "";
    std::vector<MappedKey> keys;
    if (why.empty())
        for (const KeymapEntry& e : readKeymap(r.eventNode, &why))
            keys.push_back(MappedKey{e.scancode, keyName(e.keycode)});
    const std::string unreadable = keys.empty() ? why : "";
    tally().setKeymap(std::move(keys), unreadable);
}

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words)
        out += (out.empty() ? "" : " ") + w;
    return out;
}

// What the receiver will take before any press: a receiver whose driver hands rc-core raw
// light lists "lirc" among its protocols, and decodes only the protocols enabled; one that
// decodes in hardware (a GPIO or I2C receiver) has nothing to choose.
BoardFacts ReceiverBoard::factsOf(const Receiver& r, const std::string& node) const {
    const ProtocolList p = parseProtocols(r.protocols);
    BoardFacts f;
    f.board = r.name;
    f.asked = m_defaulted ? "RIRERUV_DEVICE unset: auto" : "RIRERUV_DEVICE=" + m_device;
    f.driver = r.driver;
    f.card = r.card;
    f.node = node;
    f.keymap = r.keymap;
    f.protocols = joined(p.enabled);
    f.decoder = p.lirc ? "raw" : "hardware";
    f.available = joined(p.available);
    if (r.eventNode.empty() || !readAutorepeat(r.eventNode, f.repeatDelayMs, f.repeatPeriodMs))
        f.repeatDelayMs = f.repeatPeriodMs = -1;
    return f;
}

// "; decodes raw light in software: enabled nec; available rc-5 nec; autorepeat 500/125 ms"
std::string takes(const BoardFacts& f) {
    std::string s = f.decoder == "raw" ? "; decodes raw light in software: enabled " +
                                             (f.protocols.empty() ? "none" : f.protocols) +
                                             "; available " + f.available
                                       : "; decodes in hardware (no protocols to choose)";
    if (f.repeatDelayMs >= 0)
        s += "; autorepeat " + std::to_string(f.repeatDelayMs) + "/" +
             std::to_string(f.repeatPeriodMs) + " ms";
    return s;
}

// Why no receiver was taken, and how to try the verifier without a card. When nothing asked for
// a board, the reason says that the verifier looked for one by itself.
std::string noReceiver(const std::string& why, bool defaulted) {
    const std::string autoPrefix = "RIRERUV_DEVICE=auto: ";
    std::string reason = why;
    if (defaulted && reason.rfind(autoPrefix, 0) == 0)
        reason = "no card's receiver (RIRERUV_DEVICE unset, so the verifier looked for one): " +
                 reason.substr(autoPrefix.size());
    return reason +
           ". To try the verifier without a card, ask for the simulated board: "
           "RIRERUV_DEVICE=" +
           kSimulatedDevice;
}

int ReceiverBoard::init() {
    m_poller.reset();
    const std::vector<Receiver> found = listReceivers();
    const Target target = pickReceiver(m_device, found);
    if (target.receiver == nullptr)
        return failInit(m_trace, noReceiver(target.error, m_defaulted));
    const Receiver& r = *target.receiver;
    std::string node;
    Opened opened = openPresses(r, target.node, node);
    if (!opened.reader)
        return failInit(m_trace, r.name + ": " + opened.error);
    const BoardFacts facts = factsOf(r, node);
    say("board: " + r.name + ", " + r.driverName() + ", " + r.cardName() + ", reading " +
        shown(node) + (r.keymap.empty() ? "" : ", keymap " + r.keymap) + takes(facts));
    m_trace.hwInit(0);
    tally().begin(r.name, r.keymap.empty() ? "its keymap" : r.keymap, facts);
    readKeys(r);
    m_poller = std::make_unique<Poller>(std::move(opened.reader), r.name + " (" + shown(node) + ")",
                                        m_trace);
    m_poller->whenSilent([r, node](const ScanBounds& bounds) {
        return whyNothingArrives(r, node, kSilentSeconds, "/proc", bounds);
    });
    if (!r.lircNode.empty()) {
        OpenedRaw raw = openRaw(r.lircNode);
        if (raw.reader)
            m_poller->watchLight(std::move(raw.reader),
                                 std::make_unique<Layers>(r, r.keymap, node));
    }
    return 0;
}

int ReceiverBoard::getRemoteData(unsigned char* pbyData) {
    if (m_poller)
        return m_poller->poll(pbyData);
    m_trace.remoteData(nullptr);
    return 1;
}

int ReceiverBoard::free() {
    if (m_poller)
        say(tally().finalSummary());
    m_poller.reset();
    m_trace.free();
    return 0;
}

} // namespace

bool receiversReadHere() {
    return true;
}

std::unique_ptr<RemoteBoard> makeReceiverBoard(const Settings& settings) {
    return std::make_unique<ReceiverBoard>(settings);
}

} // namespace rireruv
