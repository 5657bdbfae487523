// Keymap files as rc_keymap(5) has them, the TOML that ir-keytable -w loads and Debian ships in
// /lib/udev/rc_keymaps: one [[protocols]] table or more, each with a name, a protocol (the
// kernel's decoder, or "unknown" where the receiver decodes in hardware), an optional variant,
// the protocol's own timings for the generic decoders, and a [protocols.scancodes] table of
// 0x... = "KEY_..." pairs.
//
// Read for the keymaps a remote may match (--identify) and written for one learnt (--learn);
// the reader takes the subset of TOML those files use (comments, both quotes, bare keys), and
// says which line it could not take rather than guess.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace rireruv {

struct KeymapProtocol {
    std::string name;     // "pinnacle_color"; may be empty
    std::string protocol; // "nec", "rc-5", "unknown"
    std::string variant;  // "nec32", or empty
    // Any other key of the table (a generic decoder's timings), as written, in order.
    std::vector<std::pair<std::string, std::string>> params;
    std::vector<std::pair<uint64_t, std::string>> scancodes; // in the file's order
};

struct KeymapFile {
    std::vector<KeymapProtocol> protocols;
};

// The file's tables, or false with why ("line 7: ...").
bool parseKeymapFile(const std::string& text, KeymapFile& out, std::string& why);
bool readKeymapFile(const std::string& path, KeymapFile& out, std::string& why);

// How a keymap file names the protocol the kernel calls kernelName ("nec-x": protocol "nec",
// variant "necx"), as the shipped keymaps do; "unknown" and no variant for a press no decoder
// named (a receiver that decodes in hardware).
void keymapProtocolOf(const std::string& kernelName, std::string& protocol, std::string& variant);

// The file as rc_keymap(5) writes it; its scancodes in ascending order, in lower-case hex.
std::string writeKeymapFile(const KeymapFile& file, const std::string& comment = "");

} // namespace rireruv
