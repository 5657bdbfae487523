// The account of a session, and the listener of notes.h it is told to.
#include "rireruv/tally.h"

#include "rireruv/notes.h"
#include "rireruv/version.h"
#include "rireruv/report.h"

#include <ctime>

namespace rireruv {

namespace {

RireruvListener g_listener = nullptr;
void* g_context = nullptr;

const uint64_t kRunPauseMs = 1000;
// A remote has a few dozen keys; a stream of noise could have any number of codes, and the
// count of distinct ones is not worth unbounded memory.
const size_t kDistinctKept = 4096;

// Every text a listener gets is bounded (report.h): it shows them on a terminal as they are.
void tell(int kind, const RireruvPress* press, const std::string& text) {
    if (g_listener != nullptr)
        g_listener(g_context, kind, press, bounded(text).c_str());
}

std::string plural(unsigned n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
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

void Tally::begin(const std::string& board, const std::string& keymap) {
    withdrawHint();
    *this = Tally();
    m_board = bounded(board);
    m_keymap = bounded(keymap);
}

void Tally::setKeymap(std::vector<MappedKey> keys, const std::string& unreadable) {
    m_keys = std::move(keys);
    for (MappedKey& k : m_keys)
        k.key = bounded(k.key);
    m_keymapUnreadable = unreadable;
}

void Tally::poll(uint64_t nowMs) {
    if (!m_polled || nowMs > m_lastPollEnd + kRunPauseMs) {
        withdrawHint();
        m_runStart = nowMs;
        m_runCount = 0;
        m_hintSaid = false;
    }
    m_polled = true;
    m_pollStart = nowMs;
}

void Tally::presses(const std::vector<PressNote>& taken, uint64_t nowMs) {
    for (size_t i = 0; i < taken.size(); ++i) {
        const PressNote& p = taken[i];
        const std::string protocol = bounded(p.protocol), key = bounded(p.key);
        const RireruvPress press{++m_count,
                                 m_pollStart - m_runStart,
                                 p.scancode,
                                 protocol.c_str(),
                                 p.repeat,
                                 p.toggle,
                                 key.empty() ? nullptr : key.c_str(),
                                 m_keymap.c_str(),
                                 static_cast<int>(p.scancode & 0xFF),
                                 i + 1 == taken.size() ? 1 : 0};
        ++m_runCount;
        if (m_scancodes.size() < kDistinctKept)
            m_scancodes.insert(p.scancode);
        if (!key.empty())
            m_seenKeys.insert(key);
        withdrawHint();
        tell(RIRERUV_NOTE_PRESS, &press, "");
    }
    m_lastPollEnd = nowMs;
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

void Tally::withdrawHint() {
    if (!m_hintStanding)
        return;
    m_hintStanding = false;
    tell(RIRERUV_NOTE_HINT_WITHDRAWN, nullptr, "");
}

void Tally::message(const std::string& text) {
    tell(RIRERUV_NOTE_MESSAGE, nullptr, text);
}

std::string Tally::summary() const {
    if (!m_polled)
        return "summary: " + m_board + " was never polled (Start was not pressed)";
    if (m_count == 0)
        return "summary: no press read from " + m_board +
               (m_hintStanding ? "; " + m_hint : std::string());
    const bool keyed = !m_keymap.empty();
    std::string s =
        "summary: " + plural(m_count, "press", "presses") + " read from " + m_board + ", " +
        plural(static_cast<unsigned>(m_scancodes.size()), keyed ? "distinct key" : "distinct byte",
               keyed ? "distinct keys" : "distinct bytes");
    if (m_scancodes.size() >= kDistinctKept)
        s += " or more";
    if (!keyed)
        return s;
    if (!m_keymapUnreadable.empty())
        return s + "; the keys of " + m_keymap + " could not be read (" + m_keymapUnreadable + ")";
    std::set<std::string> mapped;
    std::string seen, unseen;
    unsigned seenCount = 0;
    for (const MappedKey& k : m_keys) {
        if (!mapped.insert(k.key).second)
            continue;
        const bool was = m_seenKeys.count(k.key) != 0;
        seenCount += was ? 1 : 0;
        std::string& list = was ? seen : unseen;
        list += (list.empty() ? "" : " ") + k.key;
    }
    s += "; " + std::to_string(seenCount) + " of " + std::to_string(mapped.size()) + " keys of " +
         m_keymap + " seen";
    if (!seen.empty())
        s += ": " + seen;
    if (!unseen.empty())
        s += "; not seen: " + unseen;
    return s;
}

} // namespace rireruv

extern "C" void rireruv_listen(RireruvListener listener, void* context) {
    rireruv::g_listener = listener;
    rireruv::g_context = context;
}

extern "C" const char* rireruv_version(void) {
    return RIRERUV_VERSION;
}
