// The simulated board: its bytes, its trace, the demo remote and its delay.
#include "tests/support/stand_in.h"

#include <chrono>
#include <gtest/gtest.h>

namespace {

using stand_in::poll;
using stand_in::settings;
using stand_in::TempFile;

TEST(StandIn, TokensCycleAndDashWritesNothing) {
    rireruv::SimulatedBoard board(settings({{"RIRERUV_DATA", "01 - FF"}}));
    EXPECT_EQ(poll(board, 7), (std::vector<int>{0x01, -1, 0xFF, 0x01, -1, 0xFF, 0x01}));
}

TEST(StandIn, TraceHasOneLinePerCall) {
    TempFile trace;
    rireruv::SimulatedBoard board(settings(
        {{"RIRERUV_DATA", "0A -"}, {"RIRERUV_INIT_STATUS", "7"}, {"RIRERUV_TRACE", trace.path}}));
    EXPECT_EQ(board.init(), 7);
    poll(board, 3);
    board.free();
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{"ZELK_HWInit 7", "ZELK_GetRemoteData 0A",
                                                       "ZELK_GetRemoteData -",
                                                       "ZELK_GetRemoteData 0A", "ZELK_Free"}));
}

TEST(StandIn, DemoRemotePressesKeysNowAndThen) {
    rireruv::SimulatedBoard a(settings({})), b(settings({}));
    const auto first = poll(a, 500);
    EXPECT_EQ(first, poll(b, 500)) << "the same every run";
    int presses = 0;
    for (size_t i = 1; i < first.size(); ++i) {
        EXPECT_NE(first[i], -1);
        presses += first[i] != 0 && first[i - 1] == 0;
    }
    EXPECT_GT(presses, 20);
    EXPECT_LT(presses, 100);
}

TEST(StandIn, DelayIsHonoured) {
    rireruv::SimulatedBoard board(settings({{"RIRERUV_DATA", "01"}, {"RIRERUV_DELAY_MS", "30"}}));
    const auto start = std::chrono::steady_clock::now();
    poll(board, 2);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
}

} // namespace
