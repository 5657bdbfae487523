// The library's settings: every variable, what a bad one is told with, and how the board's
// ZELK_HWInit fails with it.
#include "tests/support/stand_in.h"

#include <gtest/gtest.h>

namespace {

using stand_in::poll;
using stand_in::settings;
using stand_in::TempFile;

// A reason is one short line a terminal shows as it is: printable ASCII, no raw bytes.
void expectOneReadableLine(const std::string& why) {
    EXPECT_LT(why.size(), 240u) << why.substr(0, 200);
    for (const char c : why)
        EXPECT_TRUE(c >= 0x20 && c < 0x7F)
            << "byte " << int(static_cast<unsigned char>(c)) << " in: " << why.substr(0, 200);
}

// What each bad setting must be rejected with, as ZELK_HWInit fails with 8: the reason in
// the settings, on standard error and in the trace, before the call's own line.
void expectRejected(const std::map<std::string, std::string>& env, const std::string& reason) {
    const auto s = settings(env);
    ASSERT_EQ(s.errors.size(), 1u);
    EXPECT_NE(s.errors[0].find(reason), std::string::npos) << s.errors[0];
    expectOneReadableLine(s.errors[0]);
    TempFile trace;
    auto withTrace = s;
    withTrace.tracePath = trace.path;
    const auto board = rireruv::chooseBoard(withTrace); // the one place settings are refused
    testing::internal::CaptureStderr();
    EXPECT_EQ(board->init(), 8);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(reason), std::string::npos) << err;
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{"error " + s.errors[0], "ZELK_HWInit 8"}));
}

TEST(StandIn, MalformedSettingsAreRejectedWithAReason) {
    const std::string huge(120000, 'A');
    const std::vector<std::pair<std::map<std::string, std::string>, std::string>> bad = {
        {{{"RIRERUV_DATA", "00 G1"}}, "token 2, \"G1\", is not a hex byte"},
        {{{"RIRERUV_DATA", "100"}}, "token 1, \"100\""},
        {{{"RIRERUV_DATA", "0x1F"}}, "token 1"},
        {{{"RIRERUV_DATA", "5"}}, "token 1, \"5\""},
        {{{"RIRERUV_DATA", "01\v\f0G"}}, "token 2, \"0G\""}, // all white space separates
        {{{"RIRERUV_DATA", " , "}}, "no tokens"},
        {{{"RIRERUV_DATA", "\n\r\t"}}, "no tokens"},
        {{{"RIRERUV_DATA", ""}}, "no tokens"},
        // Quoted short and escaped: not 120 KB back, not raw bytes that are not text.
        {{{"RIRERUV_DATA", "01 " + huge}}, "token 2, \"AAAAAAAA"},
        {{{"RIRERUV_DATA", "01 " + huge}}, "\"... (120000 bytes), is not a hex byte"},
        {{{"RIRERUV_DATA", "\xff\xfe\x01"}}, "token 1, \"\\xFF\\xFE\\x01\""},
        {{{"RIRERUV_DATA", "\"\\"}}, "token 1, \"\\\"\\\\\""},
        {{{"RIRERUV_INIT_STATUS", huge}}, "RIRERUV_INIT_STATUS: \"AAAA"},
        {{{"RIRERUV_INIT_STATUS", "\x80"}}, "RIRERUV_INIT_STATUS: \"\\x80\" is not"},
        // DEL moves no cursor but erases on some terminals: escaped as any control byte.
        {{{"RIRERUV_INIT_STATUS", "8\x7F"}}, "RIRERUV_INIT_STATUS: \"8\\x7F\" is not"},
        {{{"RIRERUV_DATA", "0\x7F"}}, "token 1, \"0\\x7F\", is not"},
        {{{"RIRERUV_INIT_STATUS", "eight"}}, "RIRERUV_INIT_STATUS: \"eight\""},
        {{{"RIRERUV_INIT_STATUS", "8x"}}, "RIRERUV_INIT_STATUS"},
        {{{"RIRERUV_INIT_STATUS", ""}}, "RIRERUV_INIT_STATUS: \"\" is empty"},
        {{{"RIRERUV_INIT_STATUS", "4294967296"}}, "RIRERUV_INIT_STATUS"},
        {{{"RIRERUV_INIT_STATUS", "2147483648"}}, "RIRERUV_INIT_STATUS"},
        {{{"RIRERUV_INIT_STATUS", "-2147483649"}}, "RIRERUV_INIT_STATUS"},
        // The white space itself is named: " 8" looks like 8 and is not.
        {{{"RIRERUV_INIT_STATUS", " 8"}}, "\" 8\" has white space around the number"},
        {{{"RIRERUV_INIT_STATUS", " 7"}}, "\" 7\" has white space around the number"},
        {{{"RIRERUV_INIT_STATUS", "7 "}}, "\"7 \" has white space around the number"},
        {{{"RIRERUV_INIT_STATUS", "\t0"}}, "\"\\t0\" has white space around the number"},
        {{{"RIRERUV_INIT_STATUS", "0\n"}}, "\"0\\n\" has white space around the number"},
        {{{"RIRERUV_DELAY_MS", "-1"}}, "RIRERUV_DELAY_MS"},
        {{{"RIRERUV_DELAY_MS", "60001"}}, "RIRERUV_DELAY_MS"},
        {{{"RIRERUV_DELAY_MS", " 5"}}, "RIRERUV_DELAY_MS: \" 5\" has white space"},
        {{{"RIRERUV_TRACE", ""}}, "RIRERUV_TRACE: empty"},
    };
    for (const auto& [env, reason] : bad) {
        SCOPED_TRACE(reason);
        expectRejected(env, reason);
    }
}

// Each bad token is named, so that mending one does not just reveal the next; a list of
// thousands stays one short line.
TEST(StandIn, EveryBadDataTokenIsCounted) {
    std::string many;
    for (int i = 0; i < 10000; ++i)
        many += " ZZZ";
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"00 GG 01 ZZ", "RIRERUV_DATA: 2 tokens are not hex bytes 00-FF or -: token 2, \"GG\"; "
                        "token 4, \"ZZ\""},
        {"GG 01 HH,II\nJJ KK", "RIRERUV_DATA: 5 tokens are not hex bytes 00-FF or -: token 1, "
                               "\"GG\"; token 3, \"HH\"; token 4, \"II\"; and 2 more"},
        {"01" + many, "10000 tokens are not hex bytes 00-FF or -: token 2, \"ZZZ\"; token 3, "
                      "\"ZZZ\"; token 4, \"ZZZ\"; and 9997 more"},
    };
    for (const auto& [data, reason] : bad) {
        SCOPED_TRACE(data.substr(0, 40));
        expectRejected({{"RIRERUV_DATA", data}}, reason);
    }
}

// A trace that cannot be written is a setting that cannot be honoured: rejected like a
// malformed one, its reason on standard error (there is no trace to put it in).
TEST(StandIn, UnwritableTraceIsRejectedWithAReason) {
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"/proc/x", "RIRERUV_TRACE: cannot write to \"/proc/x\": "},
        {scratch(""), "RIRERUV_TRACE: cannot write to \""},                    // a folder
        {scratch("no-such-folder/trace.txt"), "no-such-folder/trace.txt\": "}, // missing
    };
    for (const auto& [path, reason] : bad) {
        SCOPED_TRACE(path);
        const auto s = settings({{"RIRERUV_TRACE", path}, {"RIRERUV_DATA", "01"}});
        ASSERT_EQ(s.errors.size(), 1u);
        EXPECT_NE(s.errors[0].find(reason), std::string::npos) << s.errors[0];
        expectOneReadableLine(s.errors[0]);
        const auto board = rireruv::chooseBoard(s);
        testing::internal::CaptureStderr();
        EXPECT_EQ(board->init(), 8);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "rireruv: " + s.errors[0] + "\n");
    }
}

// One bad setting does not hide another: each has its line, on standard error and in the
// trace, in the order of the variables.
TEST(StandIn, EveryBadSettingIsReported) {
    TempFile trace;
    const auto s = settings({{"RIRERUV_INIT_STATUS", " 8"},
                             {"RIRERUV_DATA", "0G"},
                             {"RIRERUV_DELAY_MS", "x"},
                             {"RIRERUV_TRACE", trace.path}});
    ASSERT_EQ(s.errors.size(), 3u);
    const auto board = rireruv::chooseBoard(s);
    testing::internal::CaptureStderr();
    EXPECT_EQ(board->init(), 8);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "rireruv: " + s.errors[0] +
                                                          "\nrireruv: " + s.errors[1] +
                                                          "\nrireruv: " + s.errors[2] + "\n");
    EXPECT_EQ(trace.lines(),
              (std::vector<std::string>{"error " + s.errors[0], "error " + s.errors[1],
                                        "error " + s.errors[2], "ZELK_HWInit 8"}));
    EXPECT_NE(s.errors[0].find("RIRERUV_INIT_STATUS"), std::string::npos);
    EXPECT_NE(s.errors[1].find("RIRERUV_DATA"), std::string::npos);
    EXPECT_NE(s.errors[2].find("RIRERUV_DELAY_MS"), std::string::npos);
}

TEST(StandIn, ValidSettings) {
    TempFile trace;
    auto s = settings({{"RIRERUV_INIT_STATUS", "-2147483648"},
                       {"RIRERUV_DATA", "00,05  0a\t1F,,ab\nff\r\n-\n"},
                       {"RIRERUV_DELAY_MS", "60000"},
                       {"RIRERUV_TRACE", trace.path}});
    EXPECT_EQ(s.errors, std::vector<std::string>{});
    EXPECT_EQ(s.initStatus, INT32_MIN);
    EXPECT_EQ(s.data, (std::vector<int>{0x00, 0x05, 0x0A, 0x1F, 0xAB, 0xFF, rireruv::kNothing}));
    EXPECT_EQ(s.delayMs, 60000u);
    EXPECT_EQ(s.tracePath, trace.path);
    EXPECT_FALSE(s.demo);
    EXPECT_TRUE(settings({}).demo);
    const std::vector<std::pair<std::string, int>> statuses = {
        {"8", 8}, {"7", 7}, {"9", 9}, {"0", 0}, {"-1", -1}, {"2147483647", INT32_MAX}};
    for (const auto& [text, status] : statuses) {
        const auto one = settings({{"RIRERUV_INIT_STATUS", text}});
        EXPECT_EQ(one.errors, std::vector<std::string>{}) << text;
        EXPECT_EQ(one.initStatus, status) << "any status may be asked for, 8 too";
    }
}

} // namespace
