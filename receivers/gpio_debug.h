// A saa7134 GPIO receiver's own debug lines, read to tell a deaf receiver from a wrong card
// type. With its ir_debug parameter on, saa7134's build_key logs every change of the GPIO
// word it polls: "saa7134: input: build_key gpio=0x... mask=0x... data=N" (KERN_DEBUG, in
// /dev/kmsg whatever the console's level). The data is the keycode bits the board's mask picks
// out of the word: a word that changes while they stay 0 is a mask for another board.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rireruv {

struct GpioChange {
    uint32_t gpio = 0, mask = 0;
    uint32_t data = 0;
};

// The change a log record tells ("7,1234,5678,-;saa7134: input: build_key gpio=0x8c00 ..."),
// or false for any other record.
bool parseBuildKey(const std::string& record, GpioChange& change);

// What the changes seen in seconds say, as a person reads it, and whether the receiver works.
struct GpioVerdict {
    std::string word; // "silent", "wrong_card", "data"
    std::string text;
};
GpioVerdict judgeGpio(const std::vector<GpioChange>& changes, unsigned seconds);

} // namespace rireruv
