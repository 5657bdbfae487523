// The library's account of a session, kept for the person at the card: each press a board took
// (told to the listener of notes.h as it comes), the runs of polling, the hint when a run stays
// silent, and the summary said when the library is freed.
//
// Who supplies what: tally.cpp on Linux, where a front end listens; tally_none.cpp in the
// Windows library, where nobody can, so that it stays as small as a vendor's.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace rireruv {

// A press as a board took it.
struct PressNote {
    uint64_t scancode = 0;
    std::string protocol = "-";
    int repeat = -1;
    int toggle = -1;
    std::string key; // the keymap's name for it, or empty
};

// A key of the receiver's keymap, by its name.
struct MappedKey {
    uint64_t scancode = 0;
    std::string key;
};

class Tally {
  public:
    // A board was set up: counting starts again. keymap names the receiver's keymap ("" when it
    // has none: the simulated board).
    void begin(const std::string& board, const std::string& keymap);
    // The keys the keymap maps, or why they could not be read.
    void setKeymap(std::vector<MappedKey> keys, const std::string& unreadable);
    // At the start of each poll, before the board reads anything: a poll that follows the end
    // of the last one by more than a second starts a run (Start pressed again).
    void poll(uint64_t nowMs);
    // At the end of each poll, even an empty one: the presses it took, oldest first; the last
    // one's byte is what the poll wrote.
    void presses(const std::vector<PressNote>& taken, uint64_t nowMs);
    // True once per run when it has given no press for seconds: time to say why.
    bool silentFor(int seconds, uint64_t nowMs);
    void hint(const std::string& text);
    // Also tells the listener; say() calls it.
    void message(const std::string& text);
    // "5 presses read, 4 distinct keys; 1 of 13 keys of rc-x seen: KEY_POWER; not seen: ..."
    std::string summary() const;

  private:
    void withdrawHint();

    std::string m_board, m_keymap, m_keymapUnreadable;
    std::vector<MappedKey> m_keys;
    std::set<uint64_t> m_scancodes; // distinct, up to kDistinctKept
    std::set<std::string> m_seenKeys;
    unsigned m_count = 0;
    bool m_polled = false;
    uint64_t m_lastPollEnd = 0, m_runStart = 0, m_pollStart = 0;
    unsigned m_runCount = 0;
    bool m_hintSaid = false, m_hintStanding = false;
    std::string m_hint;
};

// The one account of this library.
Tally& tally();

// Milliseconds of a clock that only goes forward.
uint64_t monotonicMs();

} // namespace rireruv
