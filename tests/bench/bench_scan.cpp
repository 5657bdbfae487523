// bench_scan [SECONDS [DESCRIPTORS]]: polling a receiver while the look at who holds its nodes
// walks a /proc with DESCRIPTORS open descriptors (default 100,000, held by a child), beside an
// idle phase without it, each SECONDS long (default 20); then a flood, for the largest read of
// one poll. Run it in a pid namespace of its own with its own /proc (scripts/bench does:
// unshare -m -p -f --mount-proc), so that the /proc it walks is its own and not the machine's.
//
// Why this way: the polls are the library's own (a Poller on a socket pair that stands for the
// lirc node), on the dialog's 200 ms schedule, and presses come at random moments between them;
// the look runs over and over for the whole phase, so every poll of it has the look beside it.
// Figures only; it never fails.
#include "rireruv/notes.h"
#include "rireruv/rccore/poll.h"
#include "rireruv/rccore/silence.h"
#include "rireruv/tally.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <linux/lirc.h>
#include <mutex>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const auto kPollPeriod = std::chrono::milliseconds(200);

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double at(std::vector<double> v, double q) {
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(q * static_cast<double>(v.size() - 1) + 0.5)];
}

// Children holding n descriptors of one file between them until they are killed: the crowd
// the look walks. Each holds what its limit allows (a container may not raise it).
std::vector<pid_t> crowd(int n, const char* file) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    const int each = std::max(1, static_cast<int>(std::min<rlim_t>(limit.rlim_max, 1 << 20)) - 64);
    std::vector<pid_t> pids;
    for (int left = n; left > 0; left -= each) {
        const pid_t pid = fork();
        if (pid != 0) {
            pids.push_back(pid);
            continue;
        }
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        const int fd = open(file, O_RDONLY | O_CREAT, 0600);
        for (int i = 1; i < std::min(left, each) && fd >= 0; ++i)
            if (dup(fd) < 0)
                break;
        pause();
        _exit(0);
    }
    return pids;
}

int descriptorsOf(const std::vector<pid_t>& pids) {
    int held = 0;
    for (const pid_t pid : pids)
        if (DIR* d = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str())) {
            while (const dirent* e = readdir(d))
                held += e->d_name[0] != '.';
            closedir(d);
        }
    return held;
}

struct Phase {
    std::vector<double> intervals, latencies;
    unsigned looks = 0, lost = 0;
};

// A receiver polled on the dialog's schedule for seconds, a press at a random moment between
// polls, each a byte the last did not give; the look beside it when crowded.
Phase run(double seconds, bool crowded) {
    int fds[2];
    socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds);
    fcntl(fds[1], F_SETFL, O_NONBLOCK);
    Phase phase;
    std::atomic<unsigned> looks{0};
    rireruv::Poller poller(rireruv::lircReader(fds[1]), "rc0 (/dev/lirc0)", rireruv::Trace(""));
    rireruv::Receiver r;
    r.name = "rc0";
    r.lircNode = "/dev/lirc0";
    // The look, again and again until the phase ends: the library starts one a silent run.
    poller.whenSilent([&looks, r](const rireruv::ScanBounds& bounds) {
        while (!bounds.stop->load()) {
            rireruv::ScanBounds again;
            again.stop = bounds.stop;
            rireruv::whyNothingArrives(r, r.lircNode, 8, "/proc", again);
            ++looks;
        }
        return std::string("looked");
    });
    rireruv::tally().begin("rc0", "rc-test");
    if (crowded) { // a run silent for nine seconds: its next poll starts the look
        const uint64_t now = rireruv::monotonicMs();
        for (uint64_t back : {9000, 6500, 4000, 1500}) {
            rireruv::tally().poll(now - back);
            rireruv::tally().presses({}, now - back);
        }
    }
    std::mutex mutex;
    int shown = -1;
    Clock::time_point shownAt{};
    std::atomic<bool> stop{false};
    std::thread timer([&] {
        auto next = Clock::now(), last = Clock::time_point{};
        while (!stop) {
            const auto began = Clock::now();
            if (last != Clock::time_point{})
                phase.intervals.push_back(ms(began - last));
            last = began;
            unsigned char byte = 0;
            if (poller.poll(&byte) == 0) {
                std::lock_guard<std::mutex> lock(mutex);
                if (byte != shown) {
                    shown = byte;
                    shownAt = Clock::now();
                }
            }
            next += kPollPeriod;
            std::this_thread::sleep_until(next);
        }
    });
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pause(250, 650);
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    for (unsigned i = 0; Clock::now() < end; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
        const auto byte = static_cast<int>((0x10 + i) & 0xFF);
        lirc_scancode record{};
        record.scancode = 0x400u | static_cast<unsigned>(byte);
        record.rc_proto = RC_PROTO_NEC;
        const auto pressed = Clock::now();
        if (write(fds[0], &record, sizeof record) != static_cast<ssize_t>(sizeof record))
            break;
        Clock::time_point seen{};
        while (Clock::now() - pressed < std::chrono::seconds(5)) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (shown == byte && shownAt >= pressed)
                    seen = shownAt;
            }
            if (seen != Clock::time_point{})
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (seen == Clock::time_point{})
            ++phase.lost;
        else
            phase.latencies.push_back(ms(seen - pressed));
    }
    stop = true;
    timer.join();
    phase.looks = looks;
    close(fds[0]);
    return phase;
}

void print(const char* name, const Phase& p) {
    std::printf("%s: poll_interval_p50_ms %.1f poll_interval_p99_ms %.1f poll_interval_max_ms "
                "%.1f key_median_ms %.1f key_p95_ms %.1f key_max_ms %.1f presses %zu not_shown "
                "%u looks %u\n",
                name, at(p.intervals, 0.5), at(p.intervals, 0.99), at(p.intervals, 1.0),
                at(p.latencies, 0.5), at(p.latencies, 0.95), at(p.latencies, 1.0),
                p.latencies.size(), p.lost, p.looks);
}

// Records queued faster than polls take them: how many one poll read at most, and its time.
void flood(unsigned records) {
    int fds[2];
    socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds);
    fcntl(fds[1], F_SETFL, O_NONBLOCK);
    rireruv::Poller poller(rireruv::lircReader(fds[1]), "rc0 (/dev/lirc0)", rireruv::Trace(""));
    unsigned taken = 0;
    rireruv_listen(
        [](void* count, int kind, const RireruvPress*, const char*) {
            *static_cast<unsigned*>(count) += kind == RIRERUV_NOTE_PRESS ? 1 : 0;
        },
        &taken);
    std::thread writer([&] {
        std::vector<lirc_scancode> all(records);
        for (unsigned i = 0; i < records; ++i)
            all[i].scancode = 0x10000u + i; // each a new press
        const char* bytes = reinterpret_cast<const char*>(all.data());
        size_t left = all.size() * sizeof all[0];
        while (left > 0) {
            const ssize_t n = write(fds[0], bytes, left);
            if (n <= 0)
                break;
            bytes += n;
            left -= static_cast<size_t>(n);
        }
    });
    unsigned most = 0, polls = 0;
    double slowest = 0;
    while (taken < records && polls < 100000) {
        const unsigned before = taken;
        const auto began = Clock::now();
        unsigned char byte = 0;
        poller.poll(&byte);
        slowest = std::max(slowest, ms(Clock::now() - began));
        most = std::max(most, taken - before);
        ++polls;
    }
    writer.join();
    rireruv_listen(nullptr, nullptr);
    close(fds[0]);
    std::printf("flood: records %u polls %u most_in_one_poll %u bytes_in_one_poll %zu "
                "slowest_poll_ms %.2f\n",
                records, polls, most, most * sizeof(lirc_scancode), slowest);
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20;
    const int descriptors = argc > 2 ? std::atoi(argv[2]) : 100000;
    std::signal(SIGPIPE, SIG_IGN);
    setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as it comes: a phase takes seconds
    print("idle", run(seconds, false));
    const std::vector<pid_t> holders = crowd(descriptors, "bench_scan.held");
    // Wait until the crowd is there: its descriptors are what the look walks.
    int held = 0;
    for (int tries = 0; tries < 600 && held < descriptors; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        held = descriptorsOf(holders);
    }
    auto t0 = Clock::now();
    rireruv::ScanBounds unbounded;
    rireruv::nodeHolders({"/dev/lirc0"}, "/proc", unbounded);
    std::printf("one look over %d descriptors: %.0f ms\n", held, ms(Clock::now() - t0));
    print("looking", run(seconds, true));
    for (const pid_t pid : holders) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    unlink("bench_scan.held");
    flood(100000);
    return 0;
}
