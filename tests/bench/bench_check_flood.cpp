// bench_check_flood PROGRAM [PRESSES]: how fast the check mode keeps up when a card floods it.
// On the described card (mock_card.h; run under umockdev-wrapper), PRESSES lirc records
// (default 100,000) are queued on /dev/lirc0, then PROGRAM (the native Test_rireruv) runs
// `--check --presses PRESSES --timeout 600` on it with RIRERUV_DEVICE=auto, its standard output
// read here line by line. Prints one line, the time from the start of PROGRAM to its exit:
//   presses 100000 seconds 1.09 presses_per_second 91327 json_lines 200003 press_lines 100000
//   release_lines 99999 polls_with_presses 1 most_in_a_poll 100000 queued_first 693 exit 0
// presses is the verdict's count (-1 without a verdict); polls_with_presses counts the distinct
// poll times ("ms") of the press lines. Figures only: it exits 1 only when PROGRAM gave no
// verdict (it could not run, or was ended after 300 s).
//
// Why records with the scancode changing each time (NEC codes 0x400-0x4ff in turn): the same
// code again within rc-core's key-up window and without the repeat flag is the key still held,
// one press however many frames; here every record must be a press of its own.
//
// Why a thread writes them: the node is a pseudo-terminal, whose buffer takes under a thousand
// records of 24 bytes before a write waits for the reader. The writer runs from the start, PROGRAM
// is started once it has written everything or has been stuck on the full buffer for a while, and
// the rest goes in as PROGRAM reads (queued_first says how many were in before it started).
#include "tests/rireruv/rccore/mock_card.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

const uint16_t kNec = 9; // enum rc_proto
// A full buffer that has not moved for this long will not move before PROGRAM reads it.
const auto kStuck = std::chrono::seconds(2);
// However slow the machine, the benchmark ends: PROGRAM is ended after this.
const auto kCap = std::chrono::seconds(300);

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// What the lines of --check say, counted as they come.
struct Lines {
    unsigned long lines = 0, pressLines = 0, releaseLines = 0, polls = 0, inPoll = 0, most = 0;
    long verdictPresses = -1;
    std::string lastMs, partial;

    void feed(const char* data, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            if (data[i] != '\n') {
                partial += data[i];
                continue;
            }
            line(partial);
            partial.clear();
        }
    }

    // A press's "ms" is the time of the poll that took it: a new value is a new poll.
    void line(const std::string& text) {
        ++lines;
        if (text.rfind("{\"event\":\"press\"", 0) == 0) {
            ++pressLines;
            const std::string ms = field(text, "\"ms\":");
            if (ms != lastMs || polls == 0) {
                ++polls;
                inPoll = 0;
                lastMs = ms;
            }
            most = std::max(most, ++inPoll);
        } else if (text.rfind("{\"event\":\"release\"", 0) == 0) {
            ++releaseLines;
        } else if (text.rfind("{\"event\":\"verdict\"", 0) == 0) {
            const std::string presses = field(text, "\"presses\":");
            verdictPresses = presses.empty() ? -1 : std::atol(presses.c_str());
        }
    }

    static std::string field(const std::string& text, const char* name) {
        const size_t at = text.find(name);
        if (at == std::string::npos)
            return "";
        const size_t from = at + std::strlen(name);
        return text.substr(from, text.find_first_of(",}", from) - from);
    }
};

pid_t startCheck(const char* program, unsigned long presses, int out) {
    const std::string count = std::to_string(presses);
    const pid_t child = fork();
    if (child != 0)
        return child;
    dup2(out, STDOUT_FILENO);
    // The simulated board's settings would be refused beside RIRERUV_DEVICE; a trace would time
    // the trace file, not the check.
    for (const char* name :
         {"RIRERUV_DATA", "RIRERUV_DELAY_MS", "RIRERUV_INIT_STATUS", "RIRERUV_TRACE"})
        unsetenv(name);
    setenv("RIRERUV_DEVICE", "auto", 1);
    execl(program, program, "--check", "--presses", count.c_str(), "--timeout", "600",
          static_cast<char*>(nullptr));
    std::perror(program);
    _exit(127);
}

int exitStatus(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage (under umockdev-wrapper): bench_check_flood PROGRAM "
                             "[PRESSES]\n");
        return 2;
    }
    const char* program = argv[1];
    const unsigned long presses = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 100000;
    rccore_test::MockCard card(CARD_DEVICE, CARD_IOCTL, true);

    std::atomic<unsigned long> written{0};
    std::atomic<bool> writerFailed{false};
    std::thread writer([&] {
        try {
            for (unsigned long i = 0; i < presses; ++i) {
                card.pressOnLirc(0x400u | (i & 0xFFu), kNec);
                ++written;
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench_check_flood: %s\n", e.what());
            writerFailed = true;
        }
    });
    unsigned long last = 0;
    auto lastMoved = Clock::now();
    while (written < presses && !writerFailed && Clock::now() - lastMoved < kStuck) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (written != last) {
            last = written;
            lastMoved = Clock::now();
        }
    }
    const unsigned long queuedFirst = written;

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        std::perror("bench_check_flood: pipe");
        std::fflush(stdout);
        _exit(1); // the writer may be stuck on the full node: no join
    }
    const auto start = Clock::now();
    const pid_t child = startCheck(program, presses, pipeFds[1]);
    close(pipeFds[1]);

    Lines seen;
    int status = -1;
    bool ended = false;
    char buf[1 << 16];
    for (bool open = true; open;) {
        pollfd p{pipeFds[0], POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            const ssize_t n = read(pipeFds[0], buf, sizeof buf);
            if (n > 0)
                seen.feed(buf, static_cast<size_t>(n));
            else if (n == 0 || errno != EINTR)
                open = false;
        }
        if (open && !ended && Clock::now() - start > kCap) {
            std::fprintf(stderr, "bench_check_flood: %s still running after %.0f s: ended\n",
                         program, seconds(kCap));
            kill(child, SIGKILL);
            ended = true;
        }
    }
    waitpid(child, &status, 0);
    const double took = seconds(Clock::now() - start);
    close(pipeFds[0]);

    const long counted = seen.verdictPresses;
    std::printf("presses %ld seconds %.2f presses_per_second %.0f json_lines %lu press_lines %lu "
                "release_lines %lu polls_with_presses %lu most_in_a_poll %lu queued_first %lu "
                "exit %d\n",
                counted, took, counted > 0 ? static_cast<double>(counted) / took : 0.0, seen.lines,
                seen.pressLines, seen.releaseLines, seen.polls, seen.most, queuedFirst,
                exitStatus(status));
    if (written < presses) {
        // The rest would wait for a reader that is gone: the writer cannot be joined.
        std::fprintf(stderr, "bench_check_flood: %lu of %lu records written\n", written.load(),
                     presses);
        std::fflush(nullptr);
        _exit(counted < 0 ? 1 : 0);
    }
    writer.join();
    return counted < 0 ? 1 : 0;
}
