// Presses from the event device's stream, as rc-core writes it (rc-main.c): MSC_SCAN for every
// press and repeat, EV_KEY only for keys the keymap knows, SYN_REPORT closing each frame.
#include "receivers/read.h"

#include <gtest/gtest.h>
#include <linux/input.h>

namespace {

struct Ev {
    uint16_t type, code;
    int32_t value;
};

const Ev kSync{EV_SYN, SYN_REPORT, 0};
Ev scan(int32_t v) {
    return {EV_MSC, MSC_SCAN, v};
}
Ev key(int32_t v) {
    return {EV_KEY, KEY_1, v};
}

// "0x811 d" for a key going down (a new press for certain), "0x811 r" for a repeat of the key
// held, "0x811" for a scan that says neither (an unmapped key), "0x811 up" for a key up.
std::vector<std::string> decode(const std::vector<Ev>& events) {
    rireruv::ScanDecoder decoder;
    std::vector<rireruv::Press> presses;
    for (const Ev& e : events) {
        input_event ev{};
        ev.type = e.type;
        ev.code = e.code;
        ev.value = e.value;
        decoder.feed(ev, presses);
    }
    std::vector<std::string> out;
    for (const auto& p : presses) {
        char text[32];
        std::snprintf(text, sizeof text, "0x%llx%s", static_cast<unsigned long long>(p.scancode),
                      p.keyUp       ? " up"
                      : p.hold == 1 ? " r"
                      : p.hold == 0 ? " d"
                                    : "");
        EXPECT_EQ(p.repeat, p.hold == 1);
        out.push_back(text);
        EXPECT_EQ(p.protocol, rireruv::kProtocolUnknown);
    }
    return out;
}

using Presses = std::vector<std::string>;

TEST(EventStream, WhatMakesAPress) {
    // a mapped key: scan, key down, sync; released later
    EXPECT_EQ(decode({scan(0x811), key(1), kSync, key(0), kSync}),
              (Presses{"0x811 d", "0x811 up"}));
    // a key the keymap does not know: no EV_KEY at all, still a press
    EXPECT_EQ(decode({scan(0x00), kSync, scan(0x00), kSync}), (Presses{"0x0", "0x0"}));
    // the input core's auto-repeat: EV_KEY 2 without a scancode is not a press
    EXPECT_EQ(decode({scan(0x5), key(1), kSync, key(2), kSync, key(2), kSync}), Presses{"0x5 d"});
    // a scancode read as unsigned: a 32-bit NEC code keeps its top bit
    EXPECT_EQ(decode({scan(static_cast<int32_t>(0x80ff00ffu)), kSync}), Presses{"0x80ff00ff"});
    // a frame cut short by SYN_DROPPED gives nothing
    EXPECT_EQ(decode({scan(0x7), {EV_SYN, SYN_DROPPED, 0}, kSync}), Presses{});
}

TEST(EventStream, RepeatsAreScansOfTheHeldKey) {
    // rc_repeat and ir-kbd-i2c's polls: the held key's scancode again, with no EV_KEY
    EXPECT_EQ(decode({scan(0x811), key(1), kSync, scan(0x811), kSync, scan(0x811), kSync}),
              (Presses{"0x811 d", "0x811 r", "0x811 r"}));
    // after the release, the same key is a new press
    EXPECT_EQ(decode({scan(0x811), key(1), kSync, key(0), kSync, scan(0x811), key(1), kSync}),
              (Presses{"0x811 d", "0x811 up", "0x811 d"}));
    // another key while one is held: rc-core releases the old one in the same frame
    EXPECT_EQ(decode({scan(0x811), key(1), kSync, key(0), scan(0x812), key(1), kSync}),
              (Presses{"0x811 d", "0x811 up", "0x812 d"}));
    // a key up of a key not held (its down came before we read) is nobody's release
    EXPECT_EQ(decode({key(0), kSync, scan(0x9), kSync}), Presses{"0x9"});
}

} // namespace
