// Start/Stop polling of the remote data: the hex shown, the 200 ms rhythm, one timer only.
#include "res/resource.h"
#include "tests/support/verifier.h"

namespace {

using Polling = VerifierTest;

int polls(const std::vector<std::string>& record) {
    return static_cast<int>(only(record, {"ZELK_GetRemoteData"}).size());
}

TEST_F(Polling, EachByteInUpperCaseHexWithoutPadding) {
    // -1: the library writes nothing, and the pre-set 0 shows.
    const std::vector<std::pair<int, const char*>> cases = {
        {0x00, "0"},  {0x05, "5"},  {0x0A, "A"},  {0x0F, "F"}, {0x10, "10"},
        {0x1F, "1F"}, {0xAB, "AB"}, {0xFF, "FF"}, {-1, "0"}};
    for (const auto& c : cases)
        fake_zelk::data.push_back(c.first);
    auto app = startVerifier();
    app->click(IDC_START_STOP);
    for (const auto& [value, shown] : cases) {
        app->advance(200);
        EXPECT_EQ(app->text(IDC_REMOTE_DATA), shown) << "byte " << value;
    }
    EXPECT_EQ(fake_zelk::uncleared, 0);
}

TEST_F(Polling, StartPollsFiveTimesASecondAndStopKeepsTheValue) {
    fake_zelk::data = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    auto app = startVerifier();
    app->takeRecord();
    app->click(IDC_START_STOP);
    EXPECT_EQ(app->text(IDC_START_STOP), "Stop");
    EXPECT_EQ(app->text(IDC_REMOTE_DATA), "") << "empty until the first tick";
    app->advance(199);
    EXPECT_EQ(polls(app->takeRecord()), 0);
    app->advance(801);
    EXPECT_EQ(polls(app->takeRecord()), 5);
    EXPECT_EQ(app->text(IDC_REMOTE_DATA), "55");

    app->click(IDC_START_STOP);
    EXPECT_EQ(app->text(IDC_START_STOP), "Start");
    app->advance(5000);
    EXPECT_EQ(polls(app->takeRecord()), 0);
    EXPECT_EQ(app->text(IDC_REMOTE_DATA), "55");

    app->click(IDC_START_STOP); // the old value stays until the next tick
    EXPECT_EQ(app->text(IDC_REMOTE_DATA), "55");
    app->advance(200);
    EXPECT_EQ(app->text(IDC_REMOTE_DATA), "66");
    EXPECT_EQ(fake_zelk::uncleared, 0);
}

TEST_F(Polling, QuickStartStopStartLeavesOneTimer) {
    fake_zelk::data = {0x01};
    auto app = startVerifier();
    app->click(IDC_START_STOP);
    app->advance(50);
    app->click(IDC_START_STOP);
    app->click(IDC_START_STOP);
    EXPECT_EQ(app->text(IDC_START_STOP), "Stop");
    EXPECT_EQ(app->timers().size(), 1u);
    app->takeRecord();
    app->advance(1000);
    EXPECT_EQ(polls(app->takeRecord()), 5);
}

TEST_F(Polling, KeyboardTogglesToo) {
    auto app = startVerifier();
    app->key(VK_SPACE);
    EXPECT_EQ(app->text(IDC_START_STOP), "Stop");
    app->key(VK_RETURN);
    EXPECT_EQ(app->text(IDC_START_STOP), "Start");
}

TEST_F(Polling, ForeignTimerIsIgnored) {
    fake_zelk::data = {0xAB};
    auto app = startVerifier();
    app->click(IDC_START_STOP);
    app->advance(200);
    app->click(IDC_START_STOP);
    app->takeRecord();
    for (WPARAM id : {0u, 2u, 0x10001u}) {
        app->post(WM_TIMER, id, 0);
        EXPECT_EQ(polls(app->takeRecord()), 0);
        EXPECT_EQ(app->text(IDC_REMOTE_DATA), "AB");
    }
}

TEST_F(Polling, ClosingWhilePollingEndsThePolls) {
    fake_zelk::data = {0x01};
    auto app = startVerifier();
    app->click(IDC_START_STOP);
    app->advance(400);
    app->takeRecord();
    app->key(VK_ESCAPE);
    EXPECT_FALSE(app->running());
    const auto record = app->takeRecord();
    EXPECT_EQ(polls(record), 0);
    ASSERT_FALSE(record.empty());
    EXPECT_EQ(record.back(), "CoUninitialize");
    EXPECT_TRUE(app->timers().empty());
}

TEST_F(Polling, PollsWithoutHardwareInitialisation) {
    fake_zelk::data = {0x42};
    model::ProgramOptions options;
    options.com = model::ProgramOptions::Com::Apartment;
    auto app = startVerifier(options);
    app->click(IDC_START_STOP);
    app->advance(200);
    EXPECT_EQ(app->text(IDC_REMOTE_DATA), "42");
    EXPECT_TRUE(only(app->takeRecord(), {"ZELK_HWInit"}).empty());
}

} // namespace
