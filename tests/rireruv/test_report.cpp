// How the library speaks: its messages (escaped, bounded, told to a listener) and its trace,
// which must never block the program or lose a line without a word.
#include "rireruv/notes.h"
#include "rireruv/posix/pipe.h"
#include "rireruv/report.h"
#include "rireruv/tally.h"
#include "tests/support/listening.h"
#include "tests/support/stand_in.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using stand_in::poll;
using stand_in::settings;
using stand_in::TempFile;

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
        {"csi \xC2\x9B[31m", "csi \\xC2\\x9B[31m"},            // C1 control: valid UTF-8, obeyed
        {"latin1 \xE4 end", "latin1 \\xE4 end"},               // not UTF-8
        {"cut \xE2\x82", "cut \\xE2\\x82"},                    // a character cut short
        {"overlong \xC0\xAF", "overlong \\xC0\\xAF"},          // '/' in two bytes
        {"overlong \xE0\x80\xAF", "overlong \\xE0\\x80\\xAF"}, // in three
        {"overlong \xF0\x80\x80\xAF", "overlong \\xF0\\x80\\x80\\xAF"}, // in four
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
    std::string err;
    {
        Listening listening(&hear, &heard);
        testing::internal::CaptureStderr();
        rireruv::say(message);
        err = testing::internal::GetCapturedStderr();
    }
    return {err, heard.messages};
}

// The front end drains standard error from a pipe between its turns: a message larger than the
// pipe would never be written, and a raw byte a name brought in would reach its terminal.
TEST(Report, EveryMessageIsOneBoundedLine) {
    auto [err, heard] = said("forgot to escape \x1B[2J\nrireruv: board: forged \xE0\x80\xAF");
    EXPECT_EQ(err,
              "rireruv: forgot to escape \\x1B[2J\\x0Arireruv: board: forged \\xE0\\x80\\xAF\n");
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
    for (const std::string& line : linesOfText(err))
        if (line.rfind("rireruv: board: ", 0) != 0 && line.rfind("rireruv: summary: ", 0) != 0)
            out += line + "\n";
    return out;
}

// Polls n times; each must still give the board's byte.
void pollGivesItsByte(rireruv::SimulatedBoard& board, int n) {
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(poll(board, 1), std::vector<int>{0x05});
}

// What a board traced to path says of its trace over its init and n polls, each still giving
// the board's byte.
std::string traceMessagesOfPolls(const std::string& path, int n) {
    rireruv::SimulatedBoard board = tracedBoard(path);
    testing::internal::CaptureStderr();
    EXPECT_EQ(board.init(), 0);
    pollGivesItsByte(board, n);
    return traceMessages(testing::internal::GetCapturedStderr());
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
        [&] { err = traceMessagesOfPolls(fifo, 3); },
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
        // "ZELK_GetRemoteData 05\n" is 22 bytes: twice the pipe's worth.
        [&] { err = traceMessagesOfPolls(fifo, static_cast<int>(capacity / 11)); },
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
