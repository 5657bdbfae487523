// The summary said when the library is freed: the counts, the keys of the keymap seen, the
// scancodes it lacks, the keys not seen.
#include "rireruv/tally.h"

#include <cstdio>

namespace rireruv {

namespace {

const size_t kUnmappedListed = 32; // a keymap is written from these: more would be noise

std::string plural(unsigned n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

// The counts first, then what a keymap needs (the codes it lacks), then the keys not pressed:
// a long summary is cut at its end.
std::string Tally::summary() const {
    if (!m_polled)
        return "summary: " + m_board + " was never polled (Start was not pressed)";
    if (m_count == 0)
        return "summary: no press read from " + m_board +
               (m_hintStanding ? "; " + m_hint : std::string());
    const bool keyed = !m_keymap.empty();
    std::string s = "summary: " + plural(m_count, "press", "presses");
    if (m_frames != m_count)
        s += " (" + plural(m_frames, "frame", "frames") + ")";
    s += " read from " + m_board + ", " +
         plural(static_cast<unsigned>(m_scancodes.size()),
                keyed ? "distinct scancode" : "distinct byte",
                keyed ? "distinct scancodes" : "distinct bytes");
    if (m_scancodes.size() >= kDistinctKept)
        s += " or more";
    if (!keyed)
        return s;
    if (!m_keymapUnreadable.empty())
        return s + "; the keys of " + m_keymap + " could not be read (" + m_keymapUnreadable + ")";
    std::string unseen;
    s += keysSeen(unseen) + unmappedCodes();
    return unseen.empty() ? s : s + "; not seen: " + unseen;
}

// "; 1 of 16 keys of rc-x seen: KEY_POWER"; the keys not seen go to unseen.
std::string Tally::keysSeen(std::string& unseen) const {
    std::set<std::string> mapped;
    std::string seen;
    unsigned seenCount = 0;
    for (const MappedKey& k : m_keys) {
        if (!mapped.insert(k.key).second)
            continue;
        if (m_seenKeys.count(k.key) == 0) {
            unseen += (unseen.empty() ? "" : " ") + k.key;
            continue;
        }
        ++seenCount;
        seen += (seen.empty() ? "" : " ") + k.key;
    }
    std::string s = "; " + std::to_string(seenCount) + " of " + std::to_string(mapped.size()) +
                    " keys of " + m_keymap + " seen";
    return seen.empty() ? s : s + ": " + seen;
}

// "; 2 scancodes not in rc-x: 0x0 (unknown) 0x40c (nec)": what a keymap for this remote needs.
std::string Tally::unmappedCodes() const {
    if (m_unmapped.empty())
        return "";
    std::string list;
    size_t listed = 0;
    for (const auto& [scancode, protocol] : m_unmapped) {
        if (listed++ == kUnmappedListed)
            break;
        char code[24];
        std::snprintf(code, sizeof code, "0x%llx", static_cast<unsigned long long>(scancode));
        list += (list.empty() ? "" : " ") + std::string(code) + " (" + protocol + ")";
    }
    if (m_unmapped.size() > kUnmappedListed)
        list += " and " + std::to_string(m_unmapped.size() - kUnmappedListed) + " more";
    return "; " + plural(static_cast<unsigned>(m_unmapped.size()), "scancode", "scancodes") +
           " not in " + m_keymap + ": " + list;
}

} // namespace rireruv
