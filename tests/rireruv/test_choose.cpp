// The choice between the two boards, as the exported entries make it, and what a malformed
// choice is told with.
#include "rireruv/remote_board.h"
#include "tests/support/stand_in.h"

#include <gtest/gtest.h>

namespace {

// The board chosen from the environment, as the exported entries see it.
struct InitRun {
    int status;
    std::string err;
    std::vector<std::string> trace;
};

InitRun initWith(std::map<std::string, std::string> env) {
    // ctest runs these tests at once, each in a process of its own: one trace file per test.
    const std::string trace =
        scratch(std::string("choose.") +
                testing::UnitTest::GetInstance()->current_test_info()->name() + ".trace");
    std::remove(trace.c_str());
    env["RIRERUV_TRACE"] = trace;
    auto board = rireruv::chooseBoard(stand_in::settings(env));
    testing::internal::CaptureStderr();
    InitRun run{board->init(), testing::internal::GetCapturedStderr(), {}};
    run.trace = linesOf(trace);
    return run;
}

TEST(ChooseBoard, SimulatedSettingsDoNotGoWithADevice) {
    for (const char* name : {"RIRERUV_DATA", "RIRERUV_DELAY_MS", "RIRERUV_INIT_STATUS"}) {
        SCOPED_TRACE(name);
        const InitRun run = initWith({{"RIRERUV_DEVICE", "auto"}, {name, "1"}});
        EXPECT_EQ(run.status, 8);
        const std::string reason = std::string(name) + " is a setting of the simulated board "
                                                       "and cannot go with RIRERUV_DEVICE";
        EXPECT_EQ(run.err.rfind("rireruv: " + reason, 0), 0u) << run.err;
        ASSERT_GE(run.trace.size(), 2u);
        EXPECT_EQ(run.trace.front().rfind("error " + reason, 0), 0u);
        EXPECT_EQ(run.trace.back(), "ZELK_HWInit 8");
    }
}

// Only what asks for it takes the simulated board, and its line says what asked: with nothing
// asked, the library looks for a card (check_test.sh shows that without touching /sys).
TEST(ChooseBoard, TheSimulatedBoardSaysItIsSimulatedAndWhatAskedForIt) {
    InitRun run = initWith({{"RIRERUV_DEVICE", "simulated"}});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "rireruv: board: simulated (demo remote), asked for by "
                       "RIRERUV_DEVICE=simulated\n");
    run = initWith({{"RIRERUV_DELAY_MS", "0"}});
    EXPECT_EQ(run.err, "rireruv: board: simulated (demo remote), asked for by RIRERUV_DELAY_MS\n");
    run = initWith({{"RIRERUV_DATA", "00 05 -"}, {"RIRERUV_DEVICE", "simulated"}});
    EXPECT_EQ(run.err, "rireruv: board: simulated (RIRERUV_DATA, 3 tokens), asked for by "
                       "RIRERUV_DEVICE=simulated\n")
        << "RIRERUV_DEVICE=simulated goes with the simulated board's own settings";
    EXPECT_EQ(run.trace, std::vector<std::string>{"ZELK_HWInit 0"});
    run = initWith({{"RIRERUV_DATA", "05"}});
    EXPECT_EQ(run.err, "rireruv: board: simulated (RIRERUV_DATA, 1 token)\n");
    run = initWith({{"RIRERUV_INIT_STATUS", "8"}});
    EXPECT_EQ(run.err, "rireruv: the simulated board fails its set-up, as RIRERUV_INIT_STATUS=8 "
                       "asks\n")
        << "a failed init names no board, and has a reason";
    EXPECT_EQ(run.trace.back(), "ZELK_HWInit 8");
}

// Whatever RIRERUV_DEVICE holds comes back escaped: a newline in it cannot start a line of its
// own that a reader of standard error would take for the library's.
TEST(ChooseBoard, TheDevicesValueCannotForgeALine) {
    const std::vector<std::pair<std::string, std::string>> values = {
        {"/dev/x\nrireruv: board: rc0, forged", "RIRERUV_DEVICE=/dev/x\\nrireruv: board: rc0, "
                                                "forged does not exist"},
        {"x\nrireruv: board: rc0, \x1B[2Jforged",
         "RIRERUV_DEVICE=\"x\\nrireruv: board: rc0, \\e[2Jforged\" is not a receiver"},
        {"/" + std::string(100000, 'x'),
         "RIRERUV_DEVICE=/" + std::string(119, 'x') + "... (100001 bytes) does not exist"},
    };
    for (const auto& [device, reason] : values) {
        SCOPED_TRACE(reason);
        const InitRun run = initWith({{"RIRERUV_DEVICE", device}});
        EXPECT_EQ(run.status, 8);
        EXPECT_EQ(run.err.rfind("rireruv: " + reason, 0), 0u) << run.err.substr(0, 300);
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line";
        ASSERT_EQ(run.trace.size(), 2u);
        EXPECT_EQ(run.trace[0].rfind("error " + reason, 0), 0u);
    }
}

} // namespace
