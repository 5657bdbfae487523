// bench_raw [ROUNDS]: the raw-light layer (receivers/raw.h). Prints, per protocol, the
// median time to name one frame of what ir-ctl sends (captured by capture_pulses, which this
// runs under umockdev-wrapper), over ROUNDS batches (default 2000) of 100 namings; then the
// time and the process's peak memory to frame and name 1,000,000 MODE2 words of noise. Last
// line: "name_frame_us 0.8 noise_edges 1000000 noise_ms 40 peak_kib 3200".
//
// Why batches: one naming takes well under a microsecond, close to the clock's own cost. Why
// noise: a receiver beside a lamp or a plasma screen gives edges without end, and the framer
// must keep up with them in bounded memory. Figures only; it never fails.
#include "receivers/raw.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <linux/lirc.h>
#include <random>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char* const kScancodes[] = {"nec:0x40c",          "necx:0x04fa0c",    "nec32:0x12345678",
                                  "rc5:0x1e3b",         "rc5x_20:0x0a4c15", "rc6_0:0x1234",
                                  "rc6_mce:0x800f0410", "sony12:0x10015",   "sony20:0x1a5c71",
                                  "jvc:0x1234",         "sanyo:0x1234ab"};

struct Captured {
    std::string name;
    std::vector<rireruv::Edge> edges;
};

std::vector<Captured> capture() {
    std::string command =
        "env TMPDIR=" BUILD_SCRATCH " " UMOCKDEV_WRAPPER " " CAPTURE_PULSES " " IR_CTL;
    for (const char* scancode : kScancodes)
        command += std::string(" ") + scancode;
    std::vector<Captured> out;
    FILE* lines = popen(command.c_str(), "r");
    char line[4096];
    while (lines != nullptr && std::fgets(line, sizeof line, lines) != nullptr) {
        std::istringstream words(line);
        Captured frame;
        uint32_t us = 0;
        for (words >> frame.name; words >> us;)
            frame.edges.push_back(rireruv::Edge{frame.edges.size() % 2 == 0, us});
        if (!frame.edges.empty())
            out.push_back(frame);
    }
    if (lines != nullptr)
        pclose(lines);
    return out;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Microseconds to name the frame once: the median over rounds of 100 namings.
std::vector<double> nameTimes(const Captured& frame, int rounds) {
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        int decoded = 0;
        const auto start = Clock::now();
        for (int i = 0; i < 100; ++i)
            decoded += rireruv::nameFrame(frame.edges).kind == rireruv::RawFrame::Kind::Decoded;
        const std::chrono::duration<double, std::micro> took = Clock::now() - start;
        times.push_back(took.count() / 100 + (decoded == 100 ? 0 : 1e9)); // a failure shows
    }
    return times;
}

// Random pulses and spaces of 50 µs to 12 ms: some spaces are gaps, so frames of every length.
double frameNoise(int edges, size_t& frames) {
    std::mt19937 random(7);
    std::uniform_int_distribution<uint32_t> length(50, 12000);
    rireruv::RawFramer framer;
    std::vector<rireruv::EdgeFrame> out;
    frames = 0;
    const auto start = Clock::now();
    for (int i = 0; i < edges; ++i) {
        framer.feed((i % 2 == 0 ? LIRC_MODE2_PULSE : LIRC_MODE2_SPACE) | length(random), out);
        for (const rireruv::EdgeFrame& frame : out)
            frames += rireruv::nameFrame(frame).pulses > 0;
        out.clear();
    }
    const std::chrono::duration<double, std::milli> took = Clock::now() - start;
    return took.count();
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const int kNoiseEdges = 1000000;
    size_t frames = 0;
    const double noiseMs = frameNoise(kNoiseEdges, frames);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);

    const std::vector<Captured> captured = capture();
    if (captured.size() != sizeof kScancodes / sizeof kScancodes[0])
        std::fprintf(stderr, "bench_raw: capture_pulses gave %zu of %zu frames\n", captured.size(),
                     sizeof kScancodes / sizeof kScancodes[0]);
    std::vector<double> all;
    for (const Captured& frame : captured) {
        const std::vector<double> times = nameTimes(frame, rounds);
        std::printf("name_us %s %.3f\n", frame.name.c_str(), median(times));
        all.insert(all.end(), times.begin(), times.end());
    }
    std::printf("noise_frames %zu\n", frames);
    std::printf("name_frame_us %.3f noise_edges %d noise_ms %.0f peak_kib %ld\n", median(all),
                kNoiseEdges, noiseMs, usage.ru_maxrss);
    return 0;
}
