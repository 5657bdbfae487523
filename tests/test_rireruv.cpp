// The stand-in library: its settings, its answers and its trace.
#include "board.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <unistd.h>

namespace {

rireruv::Settings settings(const std::map<std::string, std::string>& env) {
    return rireruv::readSettings([&](const char* name) -> const char* {
        auto it = env.find(name);
        return it == env.end() ? nullptr : it->second.c_str();
    });
}

// What n successive calls write: the byte, or -1 when nothing was written.
std::vector<int> poll(rireruv::Board& board, int n) {
    std::vector<int> out;
    for (int i = 0; i < n; ++i) {
        unsigned char b = 0x5A; // a value no call of these tests writes
        board.getRemoteData(&b);
        out.push_back(b == 0x5A ? -1 : b);
    }
    return out;
}

struct TempFile {
    std::string path = "/tmp/rireruv_trace_" + std::to_string(getpid()) + ".txt";
    TempFile() { std::remove(path.c_str()); }
    ~TempFile() { std::remove(path.c_str()); }
    std::vector<std::string> lines() const {
        std::ifstream in(path);
        std::vector<std::string> out;
        for (std::string line; std::getline(in, line);)
            out.push_back(line);
        return out;
    }
};

TEST(StandIn, MalformedSettingsAreRejectedWithAReason) {
    const std::vector<std::pair<std::map<std::string, std::string>, std::string>> bad = {
        {{{"RIRERUV_DATA", "00 G1"}}, "token 2, \"G1\", is not a hex byte"},
        {{{"RIRERUV_DATA", "100"}}, "token 1, \"100\""},
        {{{"RIRERUV_DATA", "0x1F"}}, "token 1"},
        {{{"RIRERUV_DATA", "5"}}, "token 1, \"5\""},
        {{{"RIRERUV_DATA", " , "}}, "no tokens"},
        {{{"RIRERUV_DATA", ""}}, "no tokens"},
        {{{"RIRERUV_INIT_STATUS", "eight"}}, "RIRERUV_INIT_STATUS: \"eight\""},
        {{{"RIRERUV_INIT_STATUS", "8x"}}, "RIRERUV_INIT_STATUS"},
        {{{"RIRERUV_INIT_STATUS", ""}}, "RIRERUV_INIT_STATUS"},
        {{{"RIRERUV_INIT_STATUS", "4294967296"}}, "RIRERUV_INIT_STATUS"},
        {{{"RIRERUV_DELAY_MS", "-1"}}, "RIRERUV_DELAY_MS"},
        {{{"RIRERUV_DELAY_MS", "60001"}}, "RIRERUV_DELAY_MS"},
    };
    for (const auto& [env, reason] : bad) {
        SCOPED_TRACE(reason);
        const auto s = settings(env);
        EXPECT_NE(s.error.find(reason), std::string::npos) << s.error;
        TempFile trace;
        auto withTrace = s;
        withTrace.tracePath = trace.path;
        rireruv::Board board(withTrace);
        testing::internal::CaptureStderr();
        EXPECT_EQ(board.init(), 8);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(reason), std::string::npos) << err;
        const auto lines = trace.lines();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], "error " + s.error);
        EXPECT_EQ(lines[1], "ZELK_HWInit 8");
    }
}

TEST(StandIn, ValidSettings) {
    auto s = settings({{"RIRERUV_INIT_STATUS", "-2147483648"},
                       {"RIRERUV_DATA", "00,05  0a\t1F,,ab ff -"},
                       {"RIRERUV_DELAY_MS", "60000"}});
    EXPECT_EQ(s.error, "");
    EXPECT_EQ(s.initStatus, INT32_MIN);
    EXPECT_EQ(s.data, (std::vector<int>{0x00, 0x05, 0x0A, 0x1F, 0xAB, 0xFF, rireruv::kNothing}));
    EXPECT_EQ(s.delayMs, 60000u);
    EXPECT_FALSE(s.demo);
    EXPECT_TRUE(settings({}).demo);
    EXPECT_EQ(settings({{"RIRERUV_INIT_STATUS", "8"}}).error, "") << "8 is a valid status to ask for";
}

TEST(StandIn, TokensCycleAndDashWritesNothing) {
    rireruv::Board board(settings({{"RIRERUV_DATA", "01 - FF"}}));
    EXPECT_EQ(poll(board, 7), (std::vector<int>{0x01, -1, 0xFF, 0x01, -1, 0xFF, 0x01}));
}

TEST(StandIn, TraceHasOneLinePerCall) {
    TempFile trace;
    rireruv::Board board(settings({{"RIRERUV_DATA", "0A -"},
                                   {"RIRERUV_INIT_STATUS", "7"},
                                   {"RIRERUV_TRACE", trace.path}}));
    EXPECT_EQ(board.init(), 7);
    poll(board, 3);
    board.free();
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{"ZELK_HWInit 7", "ZELK_GetRemoteData 0A",
                                                       "ZELK_GetRemoteData -",
                                                       "ZELK_GetRemoteData 0A", "ZELK_Free"}));
}

TEST(StandIn, DemoRemotePressesKeysNowAndThen) {
    rireruv::Board a(settings({})), b(settings({}));
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
    rireruv::Board board(settings({{"RIRERUV_DATA", "01"}, {"RIRERUV_DELAY_MS", "30"}}));
    const auto start = std::chrono::steady_clock::now();
    poll(board, 2);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
}

} // namespace
