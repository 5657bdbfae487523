// bench_presslog [PRESSES]: PRESSES presses (default 100,000) through the path the native
// verifier's press log takes them: the library's account (rireruv::tally) tells its listener,
// the listener adds a row to terminal::PressLog, and the screen with the log is drawn into a
// 100x32 ScreenBuffer every 1,000 presses. Prints the process's peak memory after 1,000 presses
// and after all of them, the time per press and the time of one drawing:
//   presses 100000 peak_kib_1000 3168 peak_kib_all 3168 us_per_press 0.28 us_per_render 210.5
//   rows_kept 256
//
// Then a key held for 10 seconds through the same path, as a NEC remote sends it on the lirc
// node: a first frame, then a repeat frame every 108 ms with the kernel's times, taken by a poll
// every 200 ms until the account lets the key go. Prints the frames, the presses and rows of the
// log, the polls (one drawing each), and what a redraw would send:
//   held_seconds 10 frames 93 presses 1 log_rows 1 polls 53 released 1 changed_cells 139
//   changed_runs 55 changed_cell_bytes 143
//
// Why not the verifier itself: it polls every 200 ms in real time, so 100,000 presses would
// take five and a half hours; here they come as fast as the code takes them, with the clock the
// account reads made up (a poll every 200 ms). The bytes cycle through 00-FF, the most
// distinct codes the simulated board can give, so the account's set of codes is full early and
// only the log could still grow.
//
// Why the held key's bytes are counted from cells: ncurses sends only the cells that differ from
// the screen it last sent, and only when it draws a real terminal. The cells that changed between
// two drawings, their UTF-8 bytes and the runs they make on their rows are what it must send; it
// adds a cursor move for each run and the attribute changes, so the bytes are a floor.
#include "rireruv/tally.h"
#include "terminal/library_log.h"
#include "terminal/scene.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
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

// The screen as the front end draws it at a poll: a new one each time, with the log.
terminal::ScreenBuffer drawn(const terminal::PressLog& log) {
    terminal::Scene scene;
    scene.log = &log;
    scene.logRows = terminal::kLogMaxRows;
    terminal::ScreenBuffer screen(kCols, kRows);
    terminal::render(screen, scene);
    return screen;
}

// What the redraws must send, each over the screen drawn before it: the cells that differ, their
// bytes, and the runs they make on each row (one cursor move each).
struct Changes {
    unsigned long cells = 0, bytes = 0, runs = 0;

    void add(const terminal::ScreenBuffer& before, const terminal::ScreenBuffer& after) {
        for (int y = 0; y < after.rows(); ++y) {
            bool inRun = false;
            for (int x = 0; x < after.cols(); ++x) {
                const terminal::Cell &a = before.at(x, y), &b = after.at(x, y);
                const bool same =
                    a.ch == b.ch && a.attr == b.attr && a.continuation == b.continuation;
                if (!same && !inRun)
                    ++runs;
                inRun = !same;
                if (same)
                    continue;
                ++cells;
                std::string utf8;
                if (const char32_t shown = terminal::glyph(b, true); shown != 0)
                    model::appendUtf8(utf8, shown);
                bytes += utf8.size();
            }
        }
    }
};

// A key held for heldSeconds, its frames taken by the polls and drawn after each, as the
// verifier does on a card's lirc node; polls go on until the account lets the key go.
int holdKey(int heldSeconds) {
    const uint64_t kFrameUs = 108000; // a NEC remote's repeat period
    const uint64_t kPollMs = 200;
    const uint64_t downUs = 5000000;   // the kernel's clock when the key went down
    const uint64_t firstPollMs = 5100; // the poll's clock: the same clock, in ms
    terminal::PressLog log;
    rireruv::Tally& tally = rireruv::tally();
    tally.begin("rc0", "rc-pinnacle-color");
    terminal::listenToLibrary(&log);

    rireruv::PressNote frame;
    frame.scancode = 0x2d;
    frame.protocol = "nec";
    frame.key = "KEY_VOLUMEUP";
    frame.toggle = 0;
    frame.timed = true;
    const uint64_t frames = static_cast<uint64_t>(heldSeconds) * 1000000u / kFrameUs + 1;
    uint64_t sent = 0;
    unsigned long polls = 0;
    Changes changes;
    terminal::ScreenBuffer last = drawn(log); // the screen at Start, before the key
    // A key the account never let go would stop here, 200 s of made-up time on.
    for (uint64_t nowMs = firstPollMs; polls < 1000; nowMs += kPollMs) {
        tally.poll(nowMs);
        std::vector<rireruv::PressNote> taken;
        for (; sent < frames && downUs + sent * kFrameUs <= nowMs * 1000u; ++sent) {
            frame.repeat = sent == 0 ? 0 : 1; // the first frame has no repeat flag
            frame.hold = sent == 0 ? -1 : 1;
            frame.kernelUs = downUs + sent * kFrameUs;
            taken.push_back(frame);
        }
        tally.presses(taken, nowMs);
        ++polls;
        terminal::ScreenBuffer now = drawn(log);
        changes.add(last, now);
        last = std::move(now);
        if (sent == frames && !log.rows().empty() && log.rows().back().released)
            break;
    }
    terminal::listenToLibrary(nullptr);
    std::printf("held_seconds %d frames %llu presses %u log_rows %zu polls %lu released %d "
                "changed_cells %lu changed_runs %lu changed_cell_bytes %lu\n",
                heldSeconds, static_cast<unsigned long long>(sent), log.total(), log.rows().size(),
                polls, !log.rows().empty() && log.rows().back().released, changes.cells,
                changes.runs, changes.bytes);
    return 0; // a held key counted as more presses shows in the figures
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
    return holdKey(10);
}
