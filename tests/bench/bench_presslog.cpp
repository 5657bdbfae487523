// bench_presslog [PRESSES]: PRESSES presses (default 100,000) through the path the native
// verifier's press log takes them: the library's account (rireruv::tally) tells its listener,
// the listener adds a row to terminal::PressLog, and the screen with the log is drawn into a
// 100x32 ScreenBuffer every 1,000 presses. Prints the process's peak memory after 1,000 presses
// and after all of them, the time per press and the time of one drawing:
//   presses 100000 peak_kib_1000 3168 peak_kib_all 3168 us_per_press 0.28 us_per_render 210.5
//   rows_kept 256
//
// Why not the verifier itself: it polls every 200 ms in real time, so 100,000 presses would
// take five and a half hours; here they come as fast as the code takes them, with the clock the
// account reads made up (a poll every 200 ms). The bytes cycle through 00-FF, the most
// distinct codes the simulated board can give, so the account's set of codes is full early and
// only the log could still grow.
#include "terminal/library_log.h"
#include "terminal/scene.h"
#include "rireruv/tally.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const int kCols = 100, kRows = 32; // the size the benchmark's terminal has
const unsigned kRenderEvery = 1000;

long peakKib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double us(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

} // namespace

int main(int argc, char** argv) {
    const unsigned long presses = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    if (presses < kRenderEvery) {
        std::fprintf(stderr, "bench_presslog: at least %u presses\n", kRenderEvery);
        return 2;
    }
    terminal::PressLog log;
    rireruv::Tally& tally = rireruv::tally();
    tally.begin("simulated board (RIRERUV_DATA)", "");
    terminal::listenToLibrary(&log);

    std::vector<rireruv::PressNote> taken(1);
    long peakAfterFirst = 0;
    unsigned long renders = 0;
    Clock::duration rendering{};
    const auto start = Clock::now();
    for (unsigned long i = 1; i <= presses; ++i) {
        const uint64_t nowMs = 1000 + i * 200;
        tally.poll(nowMs);
        taken[0].scancode = i & 0xFF;
        tally.presses(taken, nowMs);
        if (i % kRenderEvery == 0) {
            const auto before = Clock::now();
            terminal::Scene scene; // as the front end draws it: a new screen each time
            scene.log = &log;
            scene.logRows = terminal::kLogMaxRows;
            terminal::ScreenBuffer screen(kCols, kRows);
            terminal::render(screen, scene);
            rendering += Clock::now() - before;
            ++renders;
        }
        if (i == kRenderEvery)
            peakAfterFirst = peakKib();
    }
    const auto total = Clock::now() - start;
    terminal::listenToLibrary(nullptr);

    if (log.total() != presses || log.rows().size() != terminal::PressLog::kKept) {
        std::fprintf(stderr, "bench_presslog: the log counted %u presses and kept %zu rows\n",
                     log.total(), log.rows().size());
        return 1;
    }
    std::printf("presses %lu peak_kib_1000 %ld peak_kib_all %ld us_per_press %.3f "
                "us_per_render %.1f rows_kept %zu\n",
                presses, peakAfterFirst, peakKib(), us(total) / static_cast<double>(presses),
                us(rendering) / static_cast<double>(renders), log.rows().size());
    return 0;
}
