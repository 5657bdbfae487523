// bench_identify [ROUNDS] [ROOT...]: the keymap index (receivers/identify.h) over the shipped
// keymaps (default /lib/udev/rc_keymaps): the time to build it and the heap it holds, then the
// time to rank every keymap after each press of a five-press identification, as --identify
// ranks them, median and worst over ROUNDS runs (default 200), for a NEC remote and for a GPIO
// receiver's bytes. Last line, the worse of the two: "build_ms 7.0 index_kib 442 keymaps 148
// rank_us_median 30.0 rank_us_worst 120.0".
//
// Why the heap from mallinfo2 and not the process's peak: the index is what --learn keeps
// beside a running mode, and glibc's count is of what it holds, not of what the process once
// touched. The goal is a ranking well under 50 ms a press; figures only, it never fails.
#include "receivers/identify.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// Five presses a person might make: on a NEC remote of the shipped kind (avermedia_m135a's
// address, one key unmapped, one named), and on a GPIO receiver, whose bytes of no protocol
// said match most keymaps that decode in hardware: the ranking's worst case.
const std::vector<rireruv::HeardPress> kNec = {{0x0200, "nec", ""},
                                               {0x0205, "nec", ""},
                                               {0x0231, "nec", ""},
                                               {0x04ff, "nec", ""},
                                               {0x0212, "nec", "KEY_VOLUMEUP"}};
const std::vector<rireruv::HeardPress> kGpio = {{0x59, "unknown", ""},
                                                {0x4a, "unknown", ""},
                                                {0x0d, "unknown", ""},
                                                {0x2d, "unknown", ""},
                                                {0x00, "unknown", ""}};

struct Figures {
    double medianUs, worstUs;
    size_t matches; // keymaps ranked after the last press
};

// Each round presses the five keys in turn and ranks after each, as --identify does.
Figures rankings(const rireruv::KeymapIndex& index, const std::vector<rireruv::HeardPress>& keys,
                 int rounds) {
    std::vector<double> us;
    size_t matches = 0;
    for (int r = 0; r < rounds; ++r) {
        std::vector<rireruv::HeardPress> presses;
        for (const rireruv::HeardPress& p : keys) {
            presses.push_back(p);
            const Clock::time_point t = Clock::now();
            matches = index.rank(presses).size();
            us.push_back(msSince(t) * 1000.0);
        }
    }
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us.back(), matches};
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    std::vector<std::string> roots(argv + std::min(argc, 2), argv + argc);
    if (roots.empty())
        roots.push_back("/lib/udev/rc_keymaps");

    const size_t heapBefore = mallinfo2().uordblks;
    const Clock::time_point built = Clock::now();
    std::string why;
    const rireruv::KeymapIndex index = rireruv::KeymapIndex::load(roots, why);
    const double buildMs = msSince(built);
    const size_t heapKib = (mallinfo2().uordblks - heapBefore) / 1024;
    if (!why.empty()) {
        std::fprintf(stderr, "bench_identify: %s\n", why.c_str());
        return 0;
    }

    const Figures nec = rankings(index, kNec, rounds), gpio = rankings(index, kGpio, rounds);
    std::printf("index of %zu keymaps built in %.1f ms, holding %zu KiB of heap\n", index.size(),
                buildMs, heapKib);
    std::printf("ranking after a press, NEC remote: median %.1f us, worst %.1f us (keymaps "
                "matching its 5 presses: %zu)\n",
                nec.medianUs, nec.worstUs, nec.matches);
    std::printf("ranking after a press, GPIO bytes: median %.1f us, worst %.1f us (keymaps "
                "matching its 5 presses: %zu)\n",
                gpio.medianUs, gpio.worstUs, gpio.matches);
    std::printf("build_ms %.1f index_kib %zu keymaps %zu rank_us_median %.1f rank_us_worst %.1f\n",
                buildMs, heapKib, index.size(), std::max(nec.medianUs, gpio.medianUs),
                std::max(nec.worstUs, gpio.worstUs));
    return 0;
}
