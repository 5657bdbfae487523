// The stand-in library: its settings, its answers and its trace.
#include "rireruv/sim/simulated_board.h"
#include "rireruv/notes.h"
#include "rireruv/report.h"
#include "rireruv/tally.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

rireruv::Settings settings(const std::map<std::string, std::string>& env) {
    return rireruv::readSettings([&](const char* name) -> const char* {
        auto it = env.find(name);
        return it == env.end() ? nullptr : it->second.c_str();
    });
}

// What n successive calls write: the byte, or -1 when nothing was written.
std::vector<int> poll(rireruv::SimulatedBoard& board, int n) {
    std::vector<int> out;
    for (int i = 0; i < n; ++i) {
        unsigned char b = 0x5A; // a value no call of these tests writes
        board.getRemoteData(&b);
        out.push_back(b == 0x5A ? -1 : b);
    }
    return out;
}

// Tests write only under build/: ctest runs them in the build tree, so the working directory is
// where their files go.
std::string underBuild(const std::string& name) {
    char cwd[4096];
    return std::string(getcwd(cwd, sizeof cwd) != nullptr ? cwd : ".") + "/" + name;
}

struct TempFile {
    std::string path = underBuild("rireruv_trace_" + std::to_string(getpid()) + ".txt");
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
    rireruv::SimulatedBoard board(withTrace);
    testing::internal::CaptureStderr();
    EXPECT_EQ(board.init(), 8);
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
        {underBuild(""), "RIRERUV_TRACE: cannot write to \""},                    // a folder
        {underBuild("no-such-folder/trace.txt"), "no-such-folder/trace.txt\": "}, // missing
    };
    for (const auto& [path, reason] : bad) {
        SCOPED_TRACE(path);
        const auto s = settings({{"RIRERUV_TRACE", path}, {"RIRERUV_DATA", "01"}});
        ASSERT_EQ(s.errors.size(), 1u);
        EXPECT_NE(s.errors[0].find(reason), std::string::npos) << s.errors[0];
        expectOneReadableLine(s.errors[0]);
        rireruv::SimulatedBoard board(s);
        testing::internal::CaptureStderr();
        EXPECT_EQ(board.init(), 8);
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
    rireruv::SimulatedBoard board(s);
    testing::internal::CaptureStderr();
    EXPECT_EQ(board.init(), 8);
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

namespace {

std::string scratch(const std::string& name) {
    return std::string(BUILD_SCRATCH) + "/" + name;
}

// Text from outside as messages show it: what a terminal would obey is escaped, text is kept.
TEST(Report, OutsideTextIsEscapedAndCut) {
    const std::string a119(119, 'A');
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"saa7134 IR (Pinnacle PCTV 110i)", "saa7134 IR (Pinnacle PCTV 110i)"},
        {"two\nlines\r\tand \x1B[31mred", "two\\nlines\\r\\tand \\e[31mred"},
        {std::string("nul\0bel\x07 del\x7F", 13), "nul\\x00bel\\x07 del\\x7F"},
        {"C:\\path", "C:\\\\path"},
        {"Ger\xC3\xA4t \xE2\x82\xAC \xF0\x9F\x93\xBA",
         "Ger\xC3\xA4t \xE2\x82\xAC \xF0\x9F\x93\xBA"},
        {"csi \xC2\x9B[31m", "csi \\xC2\\x9B[31m"},   // C1 control: valid UTF-8, obeyed
        {"latin1 \xE4 end", "latin1 \\xE4 end"},      // not UTF-8
        {"cut \xE2\x82", "cut \\xE2\\x82"},           // a character cut short
        {"overlong \xC0\xAF", "overlong \\xC0\\xAF"}, // '/' in two bytes
        {"surrogate \xED\xA0\x80", "surrogate \\xED\\xA0\\x80"},
        {"beyond \xF4\x90\x80\x80", "beyond \\xF4\\x90\\x80\\x80"},
        {std::string(200, 'A'), std::string(120, 'A') + "... (200 bytes)"},
        {a119 + "\xC3\xA4", a119 + "... (121 bytes)"}, // not cut inside a character
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(expected);
        EXPECT_EQ(rireruv::shown(text), expected);
    }
    EXPECT_EQ(rireruv::quoted("say \"\x1B\""), "\"say \\\"\\e\\\"\"");
}

struct Heard {
    std::vector<std::string> messages;
};

void hear(void* context, int kind, const RireruvPress* /*press*/, const char* text) {
    if (kind == RIRERUV_NOTE_MESSAGE)
        static_cast<Heard*>(context)->messages.push_back(text);
}

// What say() wrote on standard error and told a listener.
std::pair<std::string, std::vector<std::string>> said(const std::string& message) {
    Heard heard;
    rireruv_listen(&hear, &heard);
    testing::internal::CaptureStderr();
    rireruv::say(message);
    const std::string err = testing::internal::GetCapturedStderr();
    rireruv_listen(nullptr, nullptr);
    return {err, heard.messages};
}

// The front end drains standard error from a pipe between its turns: a message larger than the
// pipe would never be written, and a raw byte a name brought in would reach its terminal.
TEST(Report, EveryMessageIsOneBoundedLine) {
    auto [err, heard] = said("forgot to escape \x1B[2J\nrireruv: board: forged");
    EXPECT_EQ(err, "rireruv: forgot to escape \\x1B[2J\\x0Arireruv: board: forged\n");
    EXPECT_EQ(heard, std::vector<std::string>{err.substr(9, err.size() - 10)});

    // The summary of a keymap of 20000 keys the remote never sent, each named.
    rireruv::tally().begin("rc0", "rc-huge");
    std::vector<rireruv::MappedKey> keys;
    for (uint64_t i = 0; i < 20000; ++i)
        keys.push_back({i, "KEY_" + std::to_string(1000 + i)});
    rireruv::tally().setKeymap(keys, "");
    rireruv::tally().poll(0);
    rireruv::tally().presses({rireruv::PressNote{}}, 1);
    const std::string summary = rireruv::tally().summary();
    ASSERT_GT(summary.size(), 100000u);
    std::tie(err, heard) = said(summary);
    const std::string mark = "... (" + std::to_string(summary.size()) + " bytes)\n";
    EXPECT_LE(err.size(), rireruv::kMessageMax + 10);
    EXPECT_EQ(err.rfind(mark), err.size() - mark.size()) << err.substr(err.size() - 100);
    EXPECT_EQ(err.find('\n'), err.size() - 1);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_LE(heard[0].size(), rireruv::kMessageMax);

    TempFile trace;
    rireruv::Trace(trace.path).line(summary);
    ASSERT_EQ(trace.lines().size(), 1u);
    EXPECT_LE(trace.lines()[0].size(), rireruv::kMessageMax);
}

// A board traced to path, given "05" to poll.
rireruv::SimulatedBoard tracedBoard(const std::string& path) {
    const auto s = settings({{"RIRERUV_DATA", "05"}, {"RIRERUV_TRACE", path}});
    EXPECT_EQ(s.errors, std::vector<std::string>{});
    return rireruv::SimulatedBoard(s);
}

// What standard error said about the trace: the board's own lines (the one naming it at init,
// the summary at free) left out, since these tests are about the trace.
std::string traceMessages(const std::string& err) {
    std::string out;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("rireruv: board: ", 0) != 0 && line.rfind("rireruv: summary: ", 0) != 0)
            out += line + "\n";
    return out;
}

// Polls n times; each must still give the board's byte.
void pollGivesItsByte(rireruv::SimulatedBoard& board, int n) {
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(poll(board, 1), std::vector<int>{0x05});
}

// Every line lost, and nobody told: each cause is said once, with the reason, and the board
// goes on.
TEST(Trace, ALossThatWillLastIsSaidOnceAndTracingStops) {
    const std::string folder = scratch("trace-folder-removed"), inFolder = folder + "/trace";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/dev/full", "rireruv: RIRERUV_TRACE: cannot write /dev/full (No space left on device); "
                      "tracing stops\n"},
        {inFolder, "rireruv: RIRERUV_TRACE: cannot write " + inFolder +
                       " (No such file or directory); tracing stops\n"},
    };
    for (const auto& [path, message] : cases) {
        SCOPED_TRACE(path);
        std::filesystem::create_directories(folder);
        rireruv::SimulatedBoard board = tracedBoard(path);
        std::filesystem::remove_all(folder); // after start, as a cleaner would
        testing::internal::CaptureStderr();
        EXPECT_EQ(board.init(), 0);
        pollGivesItsByte(board, 3);
        EXPECT_EQ(board.free(), 0);
        EXPECT_EQ(traceMessages(testing::internal::GetCapturedStderr()), message);
    }
    std::filesystem::create_directories(folder);
    EXPECT_FALSE(std::filesystem::exists(inFolder)) << "tracing stopped, nothing made it again";
}

// Runs work on a thread of its own; when it has not returned after 10 s (blocked on a fifo), the
// test fails and unblock() is called until it returns, so that the test ends either way.
bool returnsWithoutBlocking(const std::function<void()>& work,
                            const std::function<void()>& unblock) {
    std::promise<void> done;
    std::future<void> returned = done.get_future();
    std::thread worker([&] {
        work();
        done.set_value();
    });
    const bool prompt = returned.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    while (returned.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
        unblock();
    worker.join();
    return prompt;
}

std::string freshFifo(const std::string& name) {
    std::string path = scratch(name);
    std::remove(path.c_str());
    EXPECT_EQ(mkfifo(path.c_str(), 0600), 0) << std::strerror(errno);
    return path;
}

// Opening a fifo to write waits for a reader, and a full pipe waits for room: a trace must do
// neither, since the program's window waits for the call. A reader that comes later gets lines.
TEST(Trace, AFifoNobodyReadsNeverBlocks) {
    const std::string fifo = freshFifo("trace-fifo-unread");
    int reader = -1;
    std::string err;
    const bool prompt = returnsWithoutBlocking(
        [&] {
            rireruv::SimulatedBoard board = tracedBoard(fifo);
            testing::internal::CaptureStderr();
            EXPECT_EQ(board.init(), 0);
            pollGivesItsByte(board, 3);
            err = traceMessages(testing::internal::GetCapturedStderr());
        },
        [&] { reader = reader >= 0 ? reader : open(fifo.c_str(), O_RDONLY | O_NONBLOCK); });
    EXPECT_TRUE(prompt) << "the trace waited for a reader of the fifo";
    EXPECT_EQ(err, "rireruv: RIRERUV_TRACE: nobody reads the fifo " + fifo +
                       " (No such device or address); its lines are lost until a reader opens "
                       "it\n");
    if (reader >= 0)
        close(reader);

    reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    rireruv::Trace(fifo).line("read at last");
    char got[64] = {};
    EXPECT_EQ(read(reader, got, sizeof got), 13);
    EXPECT_STREQ(got, "read at last\n");
    close(reader);
}

TEST(Trace, AFullPipeLosesLinesWithoutBlocking) {
    const std::string fifo = freshFifo("trace-fifo-full");
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK); // and never reads
    ASSERT_GE(reader, 0) << std::strerror(errno);
    const long capacity = fcntl(reader, F_GETPIPE_SZ);
    std::string err;
    const bool prompt = returnsWithoutBlocking(
        [&] {
            rireruv::SimulatedBoard board = tracedBoard(fifo);
            testing::internal::CaptureStderr();
            EXPECT_EQ(board.init(), 0);
            // "ZELK_GetRemoteData 05\n" is 22 bytes: twice the pipe's worth.
            pollGivesItsByte(board, static_cast<int>(capacity / 11));
            err = traceMessages(testing::internal::GetCapturedStderr());
        },
        [&] {
            char drained[4096];
            while (read(reader, drained, sizeof drained) > 0) {
            }
        });
    EXPECT_TRUE(prompt) << "the trace waited for room in the pipe";
    EXPECT_EQ(err, "rireruv: RIRERUV_TRACE: the reader of " + fifo +
                       " is not keeping up (Resource temporarily unavailable); lines are lost "
                       "while its pipe is full\n");
    close(reader);
}

// A reader that leaves while a line is written raises SIGPIPE, whose default kills the process.
TEST(Trace, AReaderThatLeavesCannotKillTheProcess) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    errno = 0;
    EXPECT_EQ(rireruv::writeWithoutSigpipe(ends[1], "x", 1), -1);
    EXPECT_EQ(errno, EPIPE);
    sigset_t pending, mask;
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0) << "taken back, not left for later";
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    EXPECT_EQ(sigismember(&mask, SIGPIPE), 0) << "the thread's mask is as it was";
    struct sigaction action {};
    sigaction(SIGPIPE, nullptr, &action);
    EXPECT_EQ(action.sa_handler, SIG_DFL) << "the program's disposition is not the library's";

    // One the program itself had pending is the program's: left as it was.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    raise(SIGPIPE);
    EXPECT_EQ(rireruv::writeWithoutSigpipe(ends[1], "x", 1), -1);
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 1);
    const timespec now{0, 0};
    EXPECT_EQ(sigtimedwait(&pipeSignal, nullptr, &now), SIGPIPE);
    pthread_sigmask(SIG_UNBLOCK, &pipeSignal, nullptr);
    close(ends[1]);
}

} // namespace
