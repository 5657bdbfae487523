// Polling a receiver: drain, trace every press before the call's own line, keep the last byte.
#include "rireruv/rccore/poll.h"

#include "receivers/keymap.h"
#include "rireruv/tally.h"

namespace rireruv {

Poller::Poller(std::unique_ptr<Reader> reader, std::string label, Trace trace)
    : m_reader(std::move(reader)), m_label(std::move(label)), m_trace(trace) {}

void Poller::take(const std::vector<Press>& presses) {
    std::vector<PressNote> notes;
    for (const Press& press : presses) {
        m_trace.line(pressLine(press));
        if (!press.keyUp)
            m_last = static_cast<int>(press.scancode & 0xFF);
        PressNote note;
        note.scancode = press.scancode;
        note.protocol = protocolName(press.protocol);
        note.repeat = press.repeat ? 1 : 0;
        note.toggle = press.toggle;
        note.key = keyName(press.keycode);
        note.hold = press.hold;
        note.keyUp = press.keyUp;
        note.timed = press.timed;
        note.kernelUs = press.kernelUs;
        notes.push_back(std::move(note));
    }
    tally().presses(notes, monotonicMs());
}

int Poller::poll(unsigned char* pbyData) {
    tally().poll(monotonicMs());
    std::vector<Press> presses;
    const bool lost = m_reader && m_reader->drain(presses) == Drained::Gone;
    take(presses);
    if (lost)
        gone();
    else if (m_reader && m_whySilent && tally().silentFor(kSilentSeconds, monotonicMs())) {
        const std::string why = m_whySilent();
        m_trace.line("hint " + why);
        tally().hint(why);
    }
    // A receiver that is gone has no present byte: showing an old one would pretend it is there.
    if (m_last < 0 || !m_reader || pbyData == nullptr) {
        m_trace.remoteData(nullptr);
        return 1;
    }
    *pbyData = static_cast<unsigned char>(m_last);
    m_trace.remoteData(pbyData);
    return 0;
}

void Poller::gone() {
    const std::string reason = m_label + " " + m_reader->why() +
                               ": no more presses will be read. The verifier keeps running; "
                               "start it again once the card is back";
    m_reader.reset();
    say(reason);
    m_trace.line("error " + reason);
}

} // namespace rireruv
