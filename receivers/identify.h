// Which remote is this: the keymap files a remote's presses match (those ir-keytable loads,
// rc_keymap(5)), ranked best first, and whether the presses came from more than one remote.
// Used by --identify, and by --learn to offer a shipped keymap before learning one.
//
// What a press matches: a keymap table of the press's protocol family (nec, nec-x and nec-32
// are one family, so are the rc-5s, the rc-6s, the sonys) that maps its scancode; a table
// whose protocol is unknown or other (a receiver that decodes in hardware) or a decoder the
// kernel lacks (a BPF one) matches by scancode alone, and so does a press whose node named no
// protocol. The kernel writes one NEC frame three ways (ir_nec_bytes_to_scancode): address and
// command when both bytes are sent with their inverses (nec), the 16-bit address and the
// command when the address is not (nec-x), all four bytes when the command is not (nec-32).
// Keymaps have each remote in the form of the kernel of their day (it913x_v1's nec remote as
// nec-x, lme2510's nec-x one as nec-32), so a NEC press also matches an entry that spells the
// same four bytes on the wire, read from the entry's width.
//
// Callers rely on: the index is built once and read only after (rank is const and fast: a few
// hash lookups a press); rank is deterministic, ties broken by the smaller keymap (the fewer
// keys a keymap has, the more a match with it says), then by the order the files were loaded.
#pragma once

#include "receivers/keymap_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace rireruv {

struct HeardPress {
    uint64_t scancode = 0;
    // The kernel's name of the decoder ("nec-x", "rc-5", "rc-6-mce"); "", "-", "unknown" or
    // "other" where the receiver decodes in hardware or the node did not say.
    std::string protocol;
    // The key the person was asked to press, "KEY_POWER" or "POWER"; "" for a free press.
    std::string named;
};

struct KeymapMatch {
    std::string file;     // "/lib/udev/rc_keymaps/avermedia_m135a.toml"
    std::string name;     // its first table's name; the file's name without .toml when none
    std::string protocol; // its first table's protocol as written: "nec", "rc5", "unknown"
    unsigned matched = 0; // presses whose scancode it maps
    unsigned of = 0;      // presses ranked
    unsigned named = 0;   // named presses it maps to the very key named
    unsigned namedOf = 0; // presses that named a key
    size_t keys = 0;      // scancodes it maps in all
};

class KeymapIndex {
  public:
    // Where ir-keytable looks for a keymap, in its order: /etc/rc_keymaps, then
    // /lib/udev/rc_keymaps. A file in an earlier root hides one of the same name in a later.
    static std::vector<std::string> systemRoots();

    // Every *.toml file in the roots (a root that does not exist is no error; folders such as
    // the BPF decoders' protocols/ are passed over). A file that does not read is listed in
    // unread(), not fatal. Empty, with why, when no keymap at all was read.
    static KeymapIndex load(const std::vector<std::string>& roots, std::string& why);

    // One keymap more, under the name file (a learnt one, or a test's).
    void add(const std::string& file, const KeymapFile& keymap);

    // The keymaps that map at least one of presses, best first: most presses matched, then
    // most named presses on their key, then fewest keys, then load order.
    std::vector<KeymapMatch> rank(const std::vector<HeardPress>& presses) const;

    size_t size() const { return m_keymaps.size(); }
    // The files that did not read, each "path: why".
    const std::vector<std::string>& unread() const { return m_unread; }

  private:
    struct Keymap {
        std::string file, name, protocol;
        size_t keys = 0;
    };
    struct Entry {
        uint32_t keymap;
        uint32_t key; // a key's name, interned in m_keyIds
        uint8_t family;
    };
    void mark(const HeardPress& press, uint32_t number, std::vector<uint32_t>* marks) const;

    std::vector<Keymap> m_keymaps;
    std::unordered_map<std::string, uint32_t> m_keyIds;
    std::unordered_map<uint64_t, std::vector<Entry>> m_byScancode;
    std::unordered_map<uint32_t, std::vector<Entry>> m_byNecFrame; // the four bytes on the wire
    std::vector<std::string> m_unread;
};

// The keymap the presses point to: the first ranked when it maps every press, or more presses
// than the next one does (or as many, more of them on the keys named); null when none maps
// any, or the first two are level short of every press.
const KeymapMatch* bestMatch(const std::vector<KeymapMatch>& ranked);

// The remotes the presses came from, told apart by protocol family and address where the
// protocol's scancode has an address (nec's one or two bytes, rc-5's system, rc-6's and
// sony's); most presses first. Presses of a hardware decoder or of no protocol said are left
// out: their scancodes have no layout to read an address from.
struct RemoteHeard {
    std::string protocol;        // the family: "nec", "rc-5", "rc-6", "sony", ...
    uint64_t address = 0;        // nec: the address byte, or both bytes when not inverses
    std::vector<size_t> presses; // indices into the presses, in order
};
std::vector<RemoteHeard> remotesHeard(const std::vector<HeardPress>& presses);

// "" when every press with an address came from one remote; otherwise a sentence:
// "presses 4 and 5 have nec address 0x03, the others nec address 0x02: a second remote".
std::string secondRemote(const std::vector<HeardPress>& presses);

} // namespace rireruv
