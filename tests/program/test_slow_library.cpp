// A slow or silent library: the dialog stays usable, and ticks never pile up.
#include "res/resource.h"
#include "tests/support/verifier.h"

namespace {

using SlowLibrary = VerifierTest;

int polls(const std::vector<std::string>& record) {
    return static_cast<int>(only(record, {"ZELK_GetRemoteData"}).size());
}

TEST_F(SlowLibrary, CallsOf150MsLeaveRoomForClicks) {
    fake_zelk::data = {0x10, 0x20};
    fake_zelk::delayMs = 150;
    auto app = startVerifier();
    app->click(IDC_START_STOP);
    app->takeRecord();
    app->advance(1000);
    EXPECT_EQ(polls(app->takeRecord()), 5) << "each call fits in its period";
    app->advance(20); // between two ticks
    app->click(IDC_START_STOP);
    EXPECT_EQ(app->text(IDC_START_STOP), "Start");
    app->advance(1000);
    EXPECT_EQ(polls(app->takeRecord()), 0);
}

TEST_F(SlowLibrary, CallsOf500MsDoNotPileUpAndStopWaitsOnlyForTheCallInProgress) {
    fake_zelk::data = {0x01};
    fake_zelk::delayMs = 500;
    auto app = startVerifier();
    app->click(IDC_START_STOP);
    app->takeRecord();
    app->advance(5000);
    // Each call outlasts the period: one tick after each call, not the ticks it missed.
    const int n = polls(app->takeRecord());
    EXPECT_GE(n, 8);
    EXPECT_LE(n, 10);
    app->click(IDC_START_STOP); // handled as soon as the call in progress returns
    EXPECT_EQ(app->text(IDC_START_STOP), "Start");
    app->advance(2000);
    EXPECT_EQ(polls(app->takeRecord()), 0);
    app->key(VK_ESCAPE);
    EXPECT_FALSE(app->running());
}

TEST_F(SlowLibrary, SilentLibraryShowsZero) {
    fake_zelk::data = {-1};
    auto app = startVerifier();
    app->click(IDC_START_STOP);
    app->advance(600);
    EXPECT_EQ(app->text(IDC_REMOTE_DATA), "0");
}

} // namespace
