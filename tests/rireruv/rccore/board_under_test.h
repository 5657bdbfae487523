// The real board as RIRERUV_DEVICE names a receiver on the described card (mock_card.h), as
// the tests on that card drive it: built from a device name, traced to a file the test names,
// and polled until its trace shows what the test waits for.
//
// Why the test names the trace: ctest runs the programs on the card at once, and a file two of
// them wrote would mix their lines.
#pragma once

#include "rireruv/remote_board.h"
#include "tests/support/files.h"
#include "tests/support/wait.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <utility>

namespace rccore_test {

struct BoardUnderTest {
    std::string trace;
    std::unique_ptr<rireruv::RemoteBoard> board;

    BoardUnderTest(const std::string& device, std::string tracePath) : trace(std::move(tracePath)) {
        std::remove(trace.c_str());
        rireruv::Settings settings;
        settings.tracePath = trace;
        settings.receiver = true;
        settings.device = device;
        board = rireruv::makeReceiverBoard(settings);
    }
    // init's status, and what it said on standard error.
    std::pair<int, std::string> init() {
        testing::internal::CaptureStderr();
        const int status = board->init();
        return {status, testing::internal::GetCapturedStderr()};
    }
    // The byte one poll writes, or -1 when it says it wrote none.
    int poll() {
        unsigned char b = 0x5A; // a byte no press of these tests gives
        return board->getRemoteData(&b) == 0 ? b : -1;
    }
    // Polls until done(), 10 s at most: a press reaches the node's stream a moment after the
    // test writes it, and the deadline turns a lost one into a failure rather than a hang. What
    // the last poll gave, as poll() says it.
    int pollUntil(const std::function<bool()>& done) {
        int shown = -1;
        waitUntil(
            [&] {
                if (done())
                    return true;
                shown = poll();
                return false;
            },
            std::chrono::seconds(10), std::chrono::milliseconds(5));
        return shown;
    }
    // Polls until the trace has a line that begins with start.
    void pollUntilTraced(const std::string& start) {
        pollUntil([&] { return traced(start); });
        EXPECT_TRUE(traced(start)) << start;
    }
    bool traced(const std::string& start) const {
        for (const std::string& line : linesOf(trace))
            if (line.rfind(start, 0) == 0)
                return true;
        return false;
    }
};

} // namespace rccore_test
