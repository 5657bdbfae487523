// bench_rccore [PRESSES [IDLE_SECONDS]]: the rc-core board on the described card (a umockdev
// testbed, mock_card.h; run under umockdev-wrapper). Prints press-to-shown latency (median,
// 95th percentile, worst) over PRESSES presses (default 40) and the CPU time of polling the
// idle card for IDLE_SECONDS (default 60).
// bench_rccore --raw IDLE_SECONDS: only the idle polling, of a receiver whose lirc node has a
// raw path too, so that the board reads it through two handles (presses and light).
//
// Why this way: the library is polled through its exported entry every 200 ms, as the
// dialog's timer does, and each press is written to the event device at a random moment
// between polls, so the figures are what a person sees: the wait for the next poll plus the
// cost of reading the node. The target is p95 <= 250 ms. Figures only; it never fails.
#include "platform/zelk.h"
#include "tests/rireruv/rccore/mock_card.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <linux/lirc.h>
#include <mutex>
#include <random>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <time.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const auto kPollPeriod = std::chrono::milliseconds(200);

// The dialog's timer: polls on a fixed schedule and notes when each new byte was first seen.
class Poller {
  public:
    void start() {
        m_thread = std::thread([this] { run(); });
    }
    void stop() {
        m_stop = true;
        m_thread.join();
    }
    // When a poll first returned byte after since, or a zero time while none has.
    Clock::time_point seen(unsigned char byte, Clock::time_point since) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_last == byte && m_lastAt >= since ? m_lastAt : Clock::time_point{};
    }
    double cpuSeconds() const { return m_cpu; }

  private:
    void run() {
        auto next = Clock::now();
        while (!m_stop) {
            unsigned char byte = 0;
            const bool wrote = ZELK_GetRemoteData(&byte) == 0;
            const auto now = Clock::now();
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (wrote && (byte != m_last || m_lastAt == Clock::time_point{})) {
                    m_last = byte;
                    m_lastAt = now;
                }
            }
            timespec cpu{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
            m_cpu = static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) / 1e9;
            next += kPollPeriod;
            std::this_thread::sleep_until(next);
        }
    }

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    unsigned char m_last = 0;
    Clock::time_point m_lastAt{};
    std::atomic<double> m_cpu{0};
};

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Each press a byte the last one did not give, so its arrival on the "screen" is visible.
std::vector<double> latencies(rccore_test::MockCard& card, Poller& poller, int presses) {
    std::mt19937 random(11);
    std::uniform_int_distribution<int> pause(250, 650); // ms: lands anywhere between polls
    std::vector<double> out;
    for (int i = 0; i < presses; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
        const auto byte = static_cast<unsigned char>(0x10 + i % 2 * 0x80 + i);
        const auto pressed = Clock::now();
        card.pressOnEventDevice(0x400u | byte);
        Clock::time_point shown{};
        while ((shown = poller.seen(byte, pressed)) == Clock::time_point{} &&
               Clock::now() - pressed < std::chrono::seconds(5))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        out.push_back(shown == Clock::time_point{} ? -1 : ms(shown - pressed));
    }
    return out;
}

void printLatencies(std::vector<double> all) {
    const auto lost = std::count(all.begin(), all.end(), -1.0);
    all.erase(std::remove(all.begin(), all.end(), -1.0), all.end());
    std::sort(all.begin(), all.end());
    if (all.empty()) {
        std::printf("press-to-shown: no press was shown\n");
        return;
    }
    const auto at = [&](double q) { return all[static_cast<size_t>(q * (all.size() - 1) + 0.5)]; };
    std::printf("press-to-shown over %zu presses, polled every 200 ms: median %.1f ms, "
                "p95 %.1f ms, worst %.1f ms (target p95 <= 250 ms); not shown: %ld\n",
                all.size(), at(0.5), at(0.95), all.back(), static_cast<long>(lost));
}

} // namespace

int main(int argc, char** argv) {
    const bool raw = argc > 1 && std::string(argv[1]) == "--raw";
    const int presses = raw ? 0 : argc > 1 ? std::atoi(argv[1]) : 40;
    const double idleSeconds = argc > 2 ? std::atof(argv[2]) : 60;
    rccore_test::MockCard card(CARD_DEVICE, CARD_IOCTL, raw);
    if (raw)
        card.offerRawPath();
    setenv("RIRERUV_DEVICE", raw ? "/dev/lirc0" : "/dev/input/event5", 1);
    if (ZELK_HWInit() != 0) {
        std::printf("the board did not open (its reason is above)\n");
        return 1;
    }
    Poller poller;
    poller.start();
    if (!raw)
        printLatencies(latencies(card, poller, presses));

    const double threadBefore = poller.cpuSeconds(), processBefore = processCpuSeconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
    const double thread = poller.cpuSeconds() - threadBefore;
    const double process = processCpuSeconds() - processBefore;
    poller.stop();
    ZELK_Free();
    std::printf("idle card%s polled for %.0f s: %.1f ms CPU in the polls (%.3f%% of one core), "
                "%.1f ms for the whole process (with umockdev's worker)\n",
                !raw                                 ? ""
                : card.lircMode() == LIRC_MODE_MODE2 ? " (both handles: presses and raw light)"
                                                     : " (the raw handle did not open)",
                idleSeconds, thread * 1e3, thread * 100 / idleSeconds, process * 1e3);
    return 0;
}
