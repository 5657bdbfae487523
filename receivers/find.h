// Finding remote receivers through rc-core: every /sys/class/rc/rcN with its driver, board
// name, the chip of the card it sits on, and the lirc and event nodes it reads through; and
// picking the one that RIRERUV_DEVICE names, or the reason none fits.
//
// The list comes from libudev, so that a umockdev testbed stands in for /sys in the tests.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace rireruv {

// The names only ever go into messages, so discovery keeps them as messages show them
// (report.h's shown: escaped, bounded); the paths are kept as the kernel gives them, to open.
struct Receiver {
    std::string name;      // "rc0"
    std::string driver;    // DRV_NAME: saa7134, bttv, ir_kbd_i2c, ...
    std::string card;      // DEV_NAME: "saa7134 IR (<board>)", "bttv IR (card=N)", ...
    std::string keymap;    // NAME: the kernel's keymap, "rc-pinnacle-color"; empty if none
    std::string sysPath;   // "/sys/devices/.../rc/rc0": its protocols file is read again later
    std::string protocols; // the protocols file; empty for saa7134 and bttv GPIO receivers
    std::string chip;      // "SAA7134", "Bt878", ...: empty when not on one of our cards
    std::string host;      // where it sits: "PCI 8086:1e31", "USB 0471:0815", "PCI, ids ..."
    std::string lircNode;  // "/dev/lirc0", or empty (a kernel without lirc)
    std::string eventNode; // "/dev/input/event5", or empty

    // The driver and the board, or what a message says in place of an empty one.
    std::string driverName() const; // "unknown driver"
    std::string cardName() const;   // "unnamed board"
    // "rc0 (saa7134, saa7134 IR (Pinnacle PCTV 110i))"
    std::string describe() const;
};

// The N of a receiver's name "rcN" (N of one to six digits), or -1 for any other name.
long rcNumber(const std::string& name);

// Every receiver the system has, in rcN order.
std::vector<Receiver> listReceivers();

// Where the link at path points, as readlink gives it (a relative target stays relative); ""
// when path is no link or cannot be read. Read into kLinkMax bytes, so a target of that length
// may have been cut: each caller decides whether that matters to it.
const size_t kLinkMax = 4096;
std::string readLink(const std::string& path);

} // namespace rireruv
