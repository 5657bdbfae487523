// The library's account of a session, kept for the person at the card: each press a board took
// (told to the listener of notes.h as it comes), the runs of polling, the hint when a run stays
// silent, and the summary said when the library is freed.
//
// Who supplies what: tally.cpp on Linux, where a front end listens; rireruv/windows/tally_none.cpp
// in the Windows library, where nobody can, so that it stays as small as a vendor's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace rireruv {

// A remote has a few dozen keys; a stream of noise could have any number of codes, and the
// count of distinct ones is not worth unbounded memory.
const size_t kDistinctKept = 4096;

// A frame as a board took it: a press, a repeat of a key held, or (keyUp) the held key's
// release.
struct PressNote {
    uint64_t scancode = 0;
    std::string protocol = "-";
    int repeat = -1; // the receiver's repeat flag, as it gave it
    int toggle = -1;
    std::string key; // the keymap's name for it, or empty
    // 1: it continues the key held (the node says so); 0: a key went down, a new press for
    // certain; -1: the node does not say, and its time decides.
    int hold = -1;
    bool keyUp = false; // the node says the held key went up (key up on the event device)
    bool timed = false; // kernelUs is the kernel's timestamp
    uint64_t kernelUs = 0;
};

// What a board is, for a front end to name (notes.h's RireruvBoard).
struct BoardFacts {
    std::string board, asked, driver, card, node, keymap, protocols;
    std::string decoder;    // "raw" (decodes in software), "hardware", or ""
    std::string available;  // the protocols it could decode, space-separated
    int repeatDelayMs = -1; // the event device's autorepeat; -1 not known
    int repeatPeriodMs = -1;
};

// A key of the receiver's keymap, by its name.
struct MappedKey {
    uint64_t scancode = 0;
    std::string key;
};

class Tally {
  public:
    // A board was set up: counting starts again. label names it in the summary ("rc0"); keymap
    // names the receiver's keymap ("" when it has none: the simulated board).
    void begin(const std::string& label, const std::string& keymap, const BoardFacts& facts = {});
    // The keys the keymap maps, or why they could not be read.
    void setKeymap(std::vector<MappedKey> keys, const std::string& unreadable);
    // At the start of each poll, before the board reads anything: a poll that follows the end
    // of the last one by more than three seconds starts a run (Start pressed again).
    void poll(uint64_t nowMs);
    // At the end of each poll, even an empty one: the frames it took, oldest first; the last
    // one's byte is what the poll wrote. Frames of a key held are one press; a press whose
    // frames stopped without a key up is released once the next poll finds none either.
    void presses(const std::vector<PressNote>& taken, uint64_t nowMs);
    // True once per run when it has given no press for seconds: time to say why.
    bool silentFor(int seconds, uint64_t nowMs);
    void hint(const std::string& text);
    // An attempt that became no key, and the layer it died in: layer "no_decoder" and the
    // others of rccore/layers.h. coded: scancode and protocol are known.
    void lost(const std::string& layer, const std::string& text, bool coded, uint64_t scancode,
              const std::string& protocol);
    // The receiver went away (its reason already said): a listener waiting for presses stops.
    void gone(const std::string& text);
    // How many attempts were lost since begin(), for the summary and the hint.
    unsigned lostCount() const { return m_lost; }
    // Also tells the listener; say() calls it.
    void message(const std::string& text);
    // "5 presses (9 frames) read from rc0, 4 distinct keys; 1 of 13 keys of rc-x seen:
    // KEY_POWER; not seen: ...; not in rc-x: 0x40c (nec) ..."
    std::string summary() const;
    // The summary ZELK_Free says, after which none is published (rireruv_summary_so_far).
    std::string finalSummary();
    // The board of the last begin(), or null before one.
    const BoardFacts* board() const { return m_began ? &m_facts : nullptr; }

  private:
    // The press whose key is down, as far as the frames tell.
    struct Held {
        bool down = false;
        unsigned number = 0, frames = 0;
        uint64_t scancode = 0, msSinceRun = 0, firstUs = 0, lastUs = 0, lastPollMs = 0;
        int toggle = -1, repeat = -1;
        bool timed = false, upWillCome = false, shown = false;
        std::string protocol, key;
    };
    enum class Frame { Starts, Continues, Ends, Stray };
    static Frame classify(const PressNote& f, const Held& held);
    void start(const PressNote& f, bool shown, uint64_t nowMs);
    void release(const char* by, uint64_t atUs);
    void tellHeld(int kind, const char* releasedBy);
    void withdrawHint();
    void publish() const;
    std::string keysSeen(std::string& unseen) const;
    std::string unmappedCodes() const;

    bool m_began = false;
    BoardFacts m_facts;
    std::string m_board, m_keymap, m_keymapUnreadable;
    std::vector<MappedKey> m_keys;
    std::set<uint64_t> m_scancodes;             // distinct, up to kDistinctKept
    std::map<uint64_t, std::string> m_unmapped; // with their protocol, up to kDistinctKept
    std::set<std::string> m_seenKeys;
    Held m_held;
    unsigned m_count = 0, m_frames = 0, m_lost = 0;
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
