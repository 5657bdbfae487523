// The account of a session, and the listener of notes.h it is told to.
#include "rireruv/tally.h"

#include "rireruv/notes.h"
#include "rireruv/shown.h"
#include "rireruv/version.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>

namespace rireruv {

namespace {

RireruvListener g_listener = nullptr;
void* g_context = nullptr;

// Polls come every 200 ms while Start holds, and nothing in a poll waits for long any more (the
// look at other processes runs beside it, and a drain is bounded): a pause of three seconds is
// a Stop, not a poll that a busy machine held back.
const uint64_t kRunPauseMs = 3000;
// rc-core lets a key go up when no frame came for its timeout plus the protocol's repeat period
// (about 125 + 110 ms for NEC): a frame of the same code sooner is the key still held.
const uint64_t kHoldGapUs = 250000;
// A press whose frames stopped is released when a poll ends this long after the last frame.
const uint64_t kSilenceMs = 300;

// The summary as of the last poll, for rireruv_summary_so_far: replaced whole, one buffer while
// the other is read, so that a signal handler may write it out while the library is stuck in a
// slow call. -1: none (before a board, and once ZELK_Free has said it).
char g_published[2][kMessageMax + 64]; // bounded() cuts at kMessageMax, with a note
std::atomic<int> g_current{-1};

// Every text a listener gets is bounded (shown.h): it shows them on a terminal as they are.
void tell(int kind, const RireruvPress* press, const std::string& text) {
    if (g_listener != nullptr)
        g_listener(g_context, kind, press, bounded(text).c_str());
}

} // namespace

uint64_t monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u +
           static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

Tally& tally() {
    static Tally t;
    return t;
}

void Tally::begin(const std::string& label, const std::string& keymap, const BoardFacts& facts) {
    withdrawHint();
    *this = Tally();
    m_board = bounded(label);
    m_keymap = bounded(keymap);
    m_facts = facts;
    for (std::string* field :
         {&m_facts.board, &m_facts.asked, &m_facts.driver, &m_facts.card, &m_facts.node,
          &m_facts.keymap, &m_facts.protocols, &m_facts.decoder, &m_facts.available})
        *field = bounded(*field);
    m_began = true;
    publish();
}

void Tally::setKeymap(std::vector<MappedKey> keys, const std::string& unreadable) {
    m_keys = std::move(keys);
    for (MappedKey& k : m_keys)
        k.key = bounded(k.key);
    m_keymapUnreadable = unreadable;
    publish();
}

void Tally::poll(uint64_t nowMs) {
    if (!m_polled || nowMs > m_lastPollEnd + kRunPauseMs) {
        withdrawHint();
        m_runStart = nowMs;
        m_runCount = 0;
        m_hintSaid = false;
    }
    const bool first = !m_polled;
    m_polled = true;
    m_pollStart = nowMs;
    if (first) // polled now, even if this first poll never ends
        publish();
}

// A frame continues the press held when the node says so, or, where it does not, when it is the
// same code (and toggle bit, which RC-5 and RC-6 remotes flip at each new press) within rc-core's
// own key-up window of the last frame: as the kernel itself tells a repeat from a new press.
Tally::Frame Tally::classify(const PressNote& f, const Held& held) {
    const bool same = held.down && f.scancode == held.scancode;
    if (f.keyUp)
        return same ? Frame::Ends : Frame::Stray;
    if (!same || f.hold == 0)
        return Frame::Starts;
    if (f.hold == 1)
        return Frame::Continues;
    const bool close = f.timed && held.timed && f.kernelUs >= held.lastUs &&
                       f.kernelUs - held.lastUs <= kHoldGapUs;
    return close && f.toggle == held.toggle && f.protocol == held.protocol ? Frame::Continues
                                                                           : Frame::Starts;
}

void Tally::presses(const std::vector<PressNote>& taken, uint64_t nowMs) {
    // Which new press the poll showed: the last one it took.
    size_t lastStart = taken.size();
    Held ahead = m_held;
    for (size_t i = 0; i < taken.size(); ++i) {
        const Frame kind = classify(taken[i], ahead);
        if (kind == Frame::Starts || kind == Frame::Ends) {
            ahead.down = kind == Frame::Starts;
            ahead.scancode = taken[i].scancode;
            lastStart = kind == Frame::Starts ? i : lastStart;
        }
        ahead.lastUs = taken[i].kernelUs;
        ahead.timed = taken[i].timed;
        ahead.toggle = taken[i].toggle;
        ahead.protocol = bounded(taken[i].protocol);
    }
    bool continued = false; // the press down at the end of the poll got more frames in it
    for (size_t i = 0; i < taken.size(); ++i) {
        const PressNote& f = taken[i];
        switch (classify(f, m_held)) {
        case Frame::Stray:
            continue;
        case Frame::Ends:
            release("key_up", f.kernelUs);
            continued = false;
            continue;
        case Frame::Starts:
            release("next_press", m_held.lastUs);
            start(f, i == lastStart, nowMs);
            continued = false;
            break;
        case Frame::Continues:
            ++m_held.frames;
            m_held.lastUs = f.kernelUs;
            continued = true;
            break;
        }
        ++m_frames;
        m_held.lastPollMs = nowMs;
    }
    if (continued && m_held.down)
        tellHeld(RIRERUV_NOTE_HELD, "");
    // Frames that stopped without a key up: the key is up once a whole poll passes without one.
    if (m_held.down && !m_held.upWillCome && nowMs > m_held.lastPollMs + kSilenceMs)
        release("silence", m_held.lastUs);
    m_lastPollEnd = nowMs;
    publish();
}

void Tally::publish() const {
    const std::string text = bounded(summary()); // as say() would write it
    const int next = g_current.load() == 0 ? 1 : 0;
    const size_t n = std::min(text.size(), sizeof g_published[next] - 1);
    text.copy(g_published[next], n);
    g_published[next][n] = 0;
    g_current.store(next);
}

std::string Tally::finalSummary() {
    g_current.store(-1);
    return summary();
}

void Tally::start(const PressNote& f, bool shown, uint64_t nowMs) {
    Held h;
    h.down = true;
    h.number = ++m_count;
    h.frames = 1;
    h.scancode = f.scancode;
    h.msSinceRun = m_pollStart - m_runStart;
    h.firstUs = h.lastUs = f.kernelUs;
    h.lastPollMs = nowMs;
    h.toggle = f.toggle;
    h.repeat = f.repeat;
    h.timed = f.timed;
    h.upWillCome = f.hold == 0; // a key that went down on the event device comes up there too
    h.shown = shown;
    h.protocol = bounded(f.protocol);
    h.key = bounded(f.key);
    m_held = h;
    ++m_runCount;
    if (m_scancodes.size() < kDistinctKept)
        m_scancodes.insert(f.scancode);
    if (!h.key.empty())
        m_seenKeys.insert(h.key);
    else if (m_unmapped.size() < kDistinctKept)
        m_unmapped.emplace(f.scancode, h.protocol);
    withdrawHint();
    tellHeld(RIRERUV_NOTE_PRESS, "");
}

void Tally::release(const char* by, uint64_t atUs) {
    if (!m_held.down)
        return;
    m_held.down = false;
    m_held.lastUs = std::max(atUs, m_held.firstUs);
    if (m_held.timed) // a board without times (the simulated one) cannot tell a release
        tellHeld(RIRERUV_NOTE_RELEASED, by);
}

void Tally::tellHeld(int kind, const char* releasedBy) {
    const Held& h = m_held;
    const RireruvPress press{h.number,
                             h.msSinceRun,
                             h.scancode,
                             h.protocol.c_str(),
                             h.repeat,
                             h.toggle,
                             h.key.empty() ? nullptr : h.key.c_str(),
                             m_keymap.c_str(),
                             static_cast<int>(h.scancode & 0xFF),
                             h.shown ? 1 : 0,
                             h.frames,
                             h.timed ? 1 : 0,
                             h.firstUs,
                             h.timed ? h.lastUs - h.firstUs : 0,
                             releasedBy,
                             "",
                             1};
    tell(kind, &press, "");
}

bool Tally::silentFor(int seconds, uint64_t nowMs) {
    return m_polled && m_runCount == 0 && !m_hintSaid &&
           nowMs >= m_runStart + static_cast<uint64_t>(seconds) * 1000u;
}

void Tally::hint(const std::string& text) {
    m_hintSaid = m_hintStanding = true;
    m_hint = bounded(text);
    tell(RIRERUV_NOTE_HINT, nullptr, m_hint);
}

void Tally::lost(const std::string& layer, const std::string& text, bool coded, uint64_t scancode,
                 const std::string& protocol) {
    ++m_lost;
    const std::string shownProtocol = bounded(protocol);
    const RireruvPress press{0,
                             m_pollStart - m_runStart,
                             scancode,
                             shownProtocol.c_str(),
                             -1,
                             -1,
                             nullptr,
                             m_keymap.c_str(),
                             static_cast<int>(scancode & 0xFF),
                             0,
                             0,
                             0,
                             0,
                             0,
                             "",
                             layer.c_str(),
                             coded ? 1 : 0};
    tell(RIRERUV_NOTE_LOST, &press, text);
}

void Tally::gone(const std::string& text) {
    tell(RIRERUV_NOTE_GONE, nullptr, text);
}

void Tally::withdrawHint() {
    if (!m_hintStanding)
        return;
    m_hintStanding = false;
    tell(RIRERUV_NOTE_HINT_WITHDRAWN, nullptr, "");
}

void Tally::message(const std::string& text) {
    tell(RIRERUV_NOTE_MESSAGE, nullptr, text);
}

} // namespace rireruv

extern "C" void rireruv_listen(RireruvListener listener, void* context) {
    rireruv::g_listener = listener;
    rireruv::g_context = context;
}

extern "C" const RireruvBoard* rireruv_board(void) {
    static RireruvBoard board;
    const rireruv::BoardFacts* f = rireruv::tally().board();
    if (f == nullptr)
        return nullptr;
    board = RireruvBoard{f->board.c_str(),     f->asked.c_str(),   f->driver.c_str(),
                         f->card.c_str(),      f->node.c_str(),    f->keymap.c_str(),
                         f->protocols.c_str(), f->decoder.c_str(), f->available.c_str(),
                         f->repeatDelayMs,     f->repeatPeriodMs};
    return &board;
}

extern "C" const char* rireruv_summary_so_far(void) {
    const int current = rireruv::g_current.load();
    return current < 0 ? "" : rireruv::g_published[current];
}

extern "C" const char* rireruv_version(void) {
    return RIRERUV_VERSION;
}
