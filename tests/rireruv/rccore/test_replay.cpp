// The whole path on a described card: run under umockdev-run with card.umockdev, the event
// device's ioctl answers and the presses of card.events replayed on it, the library finds the
// receiver, opens /dev/input/event5 through libevdev and polls it as the dialog does.
//
// Why through the exported entries: this is what the verifier calls, so the test covers the
// choice of board, discovery, libevdev's set-up against the ioctls it really asks and the
// decoding of the replayed stream together. The expected presses are read from the same
// events file umockdev replays, and the trace this writes is what keytable_agrees.sh compares
// with ir-keytable's reading of the same presses.
#include "platform/zelk.h"
#include "tests/rireruv/rccore/card_events.h"
#include "tests/support/files.h"
#include "tests/support/wait.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

using rccore_test::scancodesIn;

size_t pressesTraced(const std::string& path) {
    size_t n = 0;
    for (const auto& line : linesOf(path))
        n += line.rfind("press ", 0) == 0;
    return n;
}

std::string hexByte(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

TEST(ReplayedCard, EveryPressOfTheEventDeviceIsTracedAndItsByteShown) {
    const std::string trace = scratch("replay.trace");
    std::remove(trace.c_str());
    setenv("RIRERUV_DEVICE", "/dev/input/event5", 1);
    setenv("RIRERUV_TRACE", trace.c_str(), 1);
    const std::vector<uint32_t> expected = scancodesIn(CARD_EVENTS);
    ASSERT_GE(expected.size(), 2u) << CARD_EVENTS;

    ASSERT_EQ(ZELK_HWInit(), 0) << "the library's reason is on standard error";
    // Polled faster than the presses come, until every replayed press has been drained; the
    // deadline only turns a lost press into a failure instead of a hang.
    std::vector<std::string> shown; // what each poll wrote, as the trace writes it
    waitUntil(
        [&] {
            if (pressesTraced(trace) >= expected.size())
                return true;
            unsigned char byte = 0;
            shown.push_back(ZELK_GetRemoteData(&byte) == 0 ? hexByte(byte) : "-");
            return false;
        },
        std::chrono::seconds(20), std::chrono::milliseconds(50));
    ZELK_Free();

    // The trace: every press in the order replayed, each before the poll that drained it, and
    // each poll's byte the low byte of the latest press before it, as the poll returned it.
    std::vector<std::string> presses;
    std::string latest = "-";
    size_t poll = 0;
    for (const auto& line : linesOf(trace)) {
        if (line.rfind("press ", 0) == 0) {
            const unsigned long scancode = std::strtoul(line.c_str() + 15, nullptr, 16);
            presses.push_back(line.substr(0, line.find(' ', 6)));
            latest = hexByte(static_cast<unsigned>(scancode));
            EXPECT_NE(line.find(" protocol=- repeat=0"), std::string::npos) << line;
        } else if (line.rfind("ZELK_GetRemoteData ", 0) == 0) {
            EXPECT_EQ(line, "ZELK_GetRemoteData " + latest) << "poll " << poll;
            ASSERT_LT(poll, shown.size());
            EXPECT_EQ(shown[poll], latest) << "poll " << poll;
            ++poll;
        }
    }
    std::vector<std::string> wanted;
    for (unsigned long scancode : expected) {
        char text[40];
        std::snprintf(text, sizeof text, "press scancode=0x%lx", scancode);
        wanted.push_back(text);
    }
    EXPECT_EQ(presses, wanted);
    EXPECT_EQ(poll, shown.size());
    EXPECT_EQ(linesOf(trace).front(), "ZELK_HWInit 0");
    EXPECT_EQ(linesOf(trace).back(), "ZELK_Free");
}

} // namespace
