// Standard error caught for the status line: whatever the library writes, however standard
// error was set up, and what is written out again after the exit.
#include "terminal/capture.h"
#include "tests/support/wait.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// The lines caught, until one holds text (the reading is a thread's).
std::vector<std::string> takeUntil(terminal::StderrCapture& capture, const std::string& text) {
    std::vector<std::string> lines;
    waitUntil(
        [&] {
            for (std::string& line : capture.take())
                lines.push_back(std::move(line));
            for (const std::string& line : lines)
                if (line.find(text) != std::string::npos)
                    return true;
            return false;
        },
        5s, 5ms);
    return lines;
}

void writeAll(int fd, const std::string& text) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

// The library is called on the front end's thread, which is also the one that shows what it
// writes: a message longer than the pipe holds must not wait for it to be shown.
TEST(StderrCapture, AMessageLongerThanThePipeDoesNotBlockTheLibrary) {
    terminal::StderrCapture capture;
    struct Write {
        std::string text = "rireruv: " + std::string(200 * 1024, 'A') + " the end\n";
        std::atomic<bool> done{false};
    };
    auto write = std::make_shared<Write>(); // kept by the writer, if it never ends
    std::thread([write] {
        sigset_t pipeSignal; // a capture that never read would end the test with it at its end
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        writeAll(2, write->text);
        write->done = true;
    }).detach();
    ASSERT_TRUE(waitUntil([&write] { return write->done.load(); }, 5s, 5ms))
        << "the write of " << write->text.size() << " bytes still waits after 5 s";
    const auto lines = takeUntil(capture, "rireruv:");
    ASSERT_EQ(lines.size(), 1u);
    const std::string bound = "... (" + std::to_string(write->text.size() - 1) + " bytes)";
    EXPECT_EQ(lines[0],
              "rireruv: " + std::string(terminal::StderrCapture::kLineKept - 9, 'A') + bound);
}

// With standard error closed (2>&-), descriptor 2 is free, and the pipe must not take it by
// accident: the library's reasons are still caught for the status line, and nothing is written
// after the exit, where standard error is closed again.
TEST(StderrCapture, WithStandardErrorClosedMessagesAreStillCaught) {
    const int saved = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
    ::close(2);
    // A pipe whose read end was closed by accident would end the test with SIGPIPE.
    void (*const before)(int) = std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> lines;
    {
        terminal::StderrCapture capture;
        std::fputs("rireruv: a reason\n", stderr);
        lines = takeUntil(capture, "a reason");
    }
    const int afterwards = ::fcntl(2, F_GETFD);
    ::dup2(saved, 2);
    ::close(saved);
    std::signal(SIGPIPE, before);
    EXPECT_EQ(lines, std::vector<std::string>{"rireruv: a reason"});
    EXPECT_EQ(afterwards, -1) << "standard error closed again, as it was";
}

// After the exit, what was caught is written out again, escaped as on the screen: the shell's
// terminal would obey a control character or an escape sequence in it. The tests run in the C
// locale, where characters beyond ASCII cannot be shown either.
TEST(StderrCapture, WrittenOutAgainEscaped) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const int saved = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
    ::dup2(out[1], 2);
    ::close(out[1]);
    {
        terminal::StderrCapture capture;
        std::fputs("rireruv: \"a\x7f"
                   "b\x1b[2Jc\xff\" is not a receiver\n",
                   stderr);
        std::fputs("rireruv: board: 確\n", stderr);
        takeUntil(capture, "board");
    }
    ::dup2(saved, 2);
    ::close(saved);
    char buffer[512] = {};
    const ssize_t n = ::read(out[0], buffer, sizeof buffer - 1);
    ::close(out[0]);
    EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0),
              "rireruv: \"a\\x7Fb\\x1B[2Jc\\xFF\" is not a receiver\n"
              "rireruv: board: \\u78BA\n");
}

} // namespace
