// Polling a receiver: drain, trace every press before the call's own line, keep the last byte.
#include "rireruv/rccore/poll.h"

#include "receivers/keymap.h"
#include "rireruv/rccore/silence.h"
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

// The frames of light this poll read, named, beside its presses: each attempt that became no
// key is told with its layer.
void Poller::light(const std::vector<Press>& presses) {
    if (!m_raw)
        return;
    std::vector<EdgeFrame> frames;
    if (m_raw->drain(frames) == Drained::Gone) {
        m_raw.reset(); // the presses' node says so, if the receiver went
        return;
    }
    std::vector<RawFrame> named;
    named.reserve(frames.size());
    for (const EdgeFrame& f : frames)
        named.push_back(nameFrame(f));
    std::vector<Lost> lost;
    m_layers->poll(named, presses, monotonicMs(), lost);
    for (const Lost& l : lost) {
        m_trace.line("lost " + l.layer + " " + l.text);
        tally().lost(l.layer, l.text, l.coded, l.scancode, l.protocol);
    }
    if (!presses.empty())
        m_edgesAtPress = m_raw->edges();
}

void Poller::sayHint(const std::string& why) {
    m_trace.line("hint " + why);
    tally().hint(why);
}

// With the raw light to look at, silence has one cause left when no edge came at all, and
// nothing to look up. Without it, the checklist looks at other processes: beside the polls.
void Poller::silence() {
    std::string why;
    const bool silent = tally().silentFor(kSilentSeconds, monotonicMs());
    if (m_scan.ready(why)) {
        if (silent) // else a press came (or a new run began) while it looked
            sayHint(why);
        return;
    }
    if (!silent || m_scan.running())
        return;
    const std::string none = "no press in " + std::to_string(kSilentSeconds) + " s from " + m_label;
    if (m_raw && m_raw->edges() == m_edgesAtPress)
        sayHint(none + ": no light at all: the receiver heard nothing. The remote's battery and "
                       "aim (a phone camera shows its LED), and the receiver's cable where the "
                       "card has an external eye");
    else if (m_raw)
        sayHint(none + ": light came, and where each attempt died is in the press log");
    else
        m_scan.start(m_whySilent, kScanBudget, kScanMaxLinks);
}

int Poller::poll(unsigned char* pbyData) {
    tally().poll(monotonicMs());
    std::vector<Press> presses;
    const bool lost = m_reader && m_reader->drain(presses) == Drained::Gone;
    const std::string notice = m_reader ? m_reader->notice() : "";
    if (!notice.empty()) {
        say(m_label + " " + notice);
        m_trace.line("notice " + m_label + " " + notice);
    }
    take(presses);
    if (!lost)
        light(presses);
    if (lost)
        gone();
    else if (m_reader && m_whySilent)
        silence();
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
    tally().gone(reason);
}

} // namespace rireruv
