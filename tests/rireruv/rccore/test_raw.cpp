// Raw light (receivers/raw.h) named as the kernel's decoders name it, against an encoder we
// did not write: what ir-ctl (v4l-utils) sends for each scancode of the table, captured by
// capture_pulses on a testbed's sending node. Each row's name and scancode were worked out by
// hand from the decoder in drivers/media/rc, not from raw.cpp. Then what ir-ctl cannot send
// (noise, a frame cut short, a leader of no protocol, a repeat, a toggle), and the framer.
#include "receivers/raw.h"
#include "receivers/read.h"
#include "rireruv/rccore/layers.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <linux/lirc.h>
#include <map>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using rireruv::Edge;
using rireruv::EdgeFrame;
using rireruv::nameFrame;
using Kind = rireruv::RawFrame::Kind;

struct Sent {
    const char* irCtl; // what ir-ctl -S is given
    const char* protocol;
    uint32_t scancode;
    const char* text; // describe(), where the row checks it
};

const Sent kSent[] = {
    {"nec:0x40c", "nec", 0x40c, "nec, address 0x04, command 0x0c (scancode 0x40c)"},
    {"nec:0x0", "nec", 0x0, nullptr},
    // The address's check byte is not its complement: extended NEC, a 16-bit address.
    {"necx:0x04fa0c", "nec-x", 0x04fa0c, nullptr},
    // Its check byte is the complement after all: ir-ctl itself sends plain NEC.
    {"necx:0x04fb0c", "nec", 0x40c, nullptr},
    // The command's check byte is wrong: nec-32, its bytes in ir_nec_bytes_to_scancode's order.
    {"nec32:0x12345678", "nec-32", 0x12345678,
     "nec-32, address 0x1234, command 0x5678 (scancode 0x12345678)"},
    // Both check bytes right: whatever ir-ctl was told, the kernel says plain NEC.
    {"nec32:0x00ff0000", "nec", 0xff00, nullptr},
    {"rc5:0x1e3b", "rc-5", 0x1e3b, "rc-5, address 0x1e, command 0x3b, toggle 0 (scancode 0x1e3b)"},
    // Command bit 6 travels inverted as the second start bit.
    {"rc5:0x1f7f", "rc-5", 0x1f7f, nullptr},
    {"rc5x_20:0x1a4c15", "rc-5x-20", 0x1a4c15,
     "rc-5x-20, address 0x1a, command 0x4c, toggle 0 (scancode 0x1a4c15)"},
    {"rc5_sz:0x2a5c", "rc-5-sz", 0x2a5c, nullptr},
    {"rc6_0:0x1234", "rc-6-0", 0x1234,
     "rc-6-0, address 0x12, command 0x34, toggle 0 (scancode 0x1234)"},
    {"rc6_6a_20:0x12345", "rc-6-6a-20", 0x12345, nullptr},
    {"rc6_6a_24:0x123456", "rc-6-6a-24", 0x123456, nullptr},
    {"rc6_6a_32:0x12345678", "rc-6-6a-32", 0x12345678, "rc-6-6a-32 (scancode 0x12345678)"},
    {"rc6_mce:0x800f0410", "rc-6-mce", 0x800f0410,
     "rc-6-mce, address 0x04, command 0x10, toggle 0 (scancode 0x800f0410)"},
    {"sony12:0x10015", "sony-12", 0x10015,
     "sony-12, address 0x01, command 0x15 (scancode 0x10015)"},
    {"sony15:0x9a0033", "sony-15", 0x9a0033, nullptr},
    {"sony20:0x1a5c71", "sony-20", 0x1a5c71, nullptr},
    {"jvc:0x1234", "jvc", 0x1234, "jvc, address 0x12, command 0x34 (scancode 0x1234)"},
    {"sanyo:0x1234ab", "sanyo", 0x1234ab,
     "sanyo, address 0x1234, command 0xab (scancode 0x1234ab)"},
};

// What ir-ctl sent for every row, from one run of capture_pulses; a row it failed has none.
const std::map<std::string, std::vector<uint32_t>>& sent() {
    static const auto captured = [] {
        std::string command =
            "env TMPDIR=" BUILD_SCRATCH " " UMOCKDEV_WRAPPER " " CAPTURE_PULSES " " IR_CTL;
        for (const Sent& row : kSent)
            command += std::string(" ") + row.irCtl;
        std::map<std::string, std::vector<uint32_t>> out;
        FILE* lines = popen(command.c_str(), "r");
        char line[4096];
        while (lines != nullptr && std::fgets(line, sizeof line, lines) != nullptr) {
            std::istringstream words(line);
            std::string name;
            uint32_t us = 0;
            for (words >> name; words >> us;)
                out[name].push_back(us);
        }
        if (lines != nullptr)
            pclose(lines);
        return out;
    }();
    return captured;
}

const std::vector<uint32_t>& sentFor(const std::string& irCtl) {
    static const std::vector<uint32_t> none;
    const auto found = sent().find(irCtl);
    return found != sent().end() ? found->second : none;
}

std::vector<Edge> edgesOf(const std::vector<uint32_t>& us, double scale = 1.0) {
    std::vector<Edge> edges;
    for (size_t i = 0; i < us.size(); ++i)
        edges.push_back(Edge{i % 2 == 0, static_cast<uint32_t>(us[i] * scale)});
    return edges;
}

std::vector<EdgeFrame> framed(const std::vector<uint32_t>& words) {
    rireruv::RawFramer framer;
    std::vector<EdgeFrame> frames;
    for (uint32_t word : words)
        framer.feed(word, frames);
    return frames;
}

// Each row as ir-ctl sent it, then 20% faster and slower throughout, then as MODE2 words
// through the framer: the same protocol and scancode every time.
TEST(RawNames, WhatIrCtlSendsAsTheKernelWouldNameIt) {
    for (const Sent& row : kSent) {
        const std::vector<uint32_t>& us = sentFor(row.irCtl);
        ASSERT_FALSE(us.empty()) << row.irCtl << ": capture_pulses sent nothing; run it by hand";
        for (double scale : {1.0, 0.8, 1.2}) {
            const rireruv::RawFrame named = nameFrame(edgesOf(us, scale));
            EXPECT_EQ(named.kind, Kind::Decoded) << row.irCtl << " x" << scale;
            EXPECT_EQ(named.protocol, row.protocol) << row.irCtl << " x" << scale;
            EXPECT_EQ(named.scancode, row.scancode) << row.irCtl << " x" << scale;
        }
        if (row.text != nullptr) {
            EXPECT_EQ(nameFrame(edgesOf(us)).describe(), row.text);
        }
        std::vector<uint32_t> words;
        for (size_t i = 0; i < us.size(); ++i)
            words.push_back(i % 2 == 0 ? LIRC_PULSE(us[i]) : LIRC_SPACE(us[i]));
        words.push_back(LIRC_TIMEOUT(125000));
        const std::vector<EdgeFrame> frames = framed(words);
        ASSERT_EQ(frames.size(), 1u) << row.irCtl;
        EXPECT_EQ(nameFrame(frames[0]).scancode, row.scancode) << row.irCtl;
    }
}

std::vector<uint32_t> firstOf(const char* irCtl, size_t edges) {
    std::vector<uint32_t> us = sentFor(irCtl);
    us.resize(std::min(edges, us.size()));
    return us;
}

// A leader of no protocol (Panasonic's, which the kernel does not decode) and 20 NEC-like bits.
std::vector<uint32_t> strangeTrain() {
    std::vector<uint32_t> us{3400, 1700};
    for (int bit = 0; bit < 20; ++bit)
        us.insert(us.end(), {430, bit % 3 == 0 ? 1290u : 430u});
    us.push_back(430);
    return us;
}

TEST(RawNames, WhatNoRemoteOfTheTableSends) {
    const struct {
        std::vector<uint32_t> us;
        Kind kind;
        const char* text;
    } rows[] = {
        {{300, 1200, 250}, Kind::Noise, "noise: 2 pulses"},
        {{9000, 2250, 563}, Kind::Repeat, "nec repeat"},
        // The last space of the twenty edges cannot be told from a gap: eight whole bits.
        {firstOf("nec:0x40c", 20), Kind::Cut, "cut: nec leader and 8 of 32 bits"},
        {firstOf("sony20:0x1a5c71", 15), Kind::Cut, "cut: sony leader and 7 of 12 bits"},
        {strangeTrain(), Kind::Unknown, "unknown: 22 pulses, leader 3400/1700 µs"},
        // rc-5 0x1e3b with its toggle set, its halves worked out by hand: 1 1 1 11110 111011.
        {{889,  889,  889, 889, 889, 889, 889,  889,  889, 889, 889, 889,
          1778, 1778, 889, 889, 889, 889, 1778, 1778, 889, 889, 889},
         Kind::Decoded,
         "rc-5, address 0x1e, command 0x3b, toggle 1 (scancode 0x1e3b)"},
    };
    for (const auto& row : rows) {
        const rireruv::RawFrame named = nameFrame(edgesOf(row.us));
        EXPECT_EQ(named.kind, row.kind) << row.text;
        EXPECT_EQ(named.describe(), row.text);
    }
}

const uint32_t kTimeout = LIRC_TIMEOUT(125000), kOverflow = LIRC_OVERFLOW(0);

TEST(RawFramer, EndsFramesAtTimeoutsGapsAndOverflows) {
    const uint32_t gap = rireruv::kFrameGapUs;
    const struct {
        const char* what;
        std::vector<uint32_t> words;
        std::vector<std::vector<uint32_t>> frames; // each frame's lengths
        std::vector<bool> cut;
    } rows[] = {
        {"leading and trailing spaces dropped; after the TIMEOUT, a frame not yet ended",
         {LIRC_SPACE(50000), LIRC_PULSE(9000), LIRC_SPACE(4500), LIRC_PULSE(560), LIRC_SPACE(3000),
          kTimeout, LIRC_PULSE(600)},
         {{9000, 4500, 560}},
         {false}},
        {"a space of the gap ends a frame, one a microsecond shorter does not",
         {LIRC_PULSE(560), LIRC_SPACE(gap), LIRC_PULSE(900), LIRC_SPACE(gap - 1), LIRC_PULSE(900),
          kTimeout},
         {{560}, {900, gap - 1, 900}},
         {false, false}},
        {"an OVERFLOW ends the frame as cut; the next starts whole",
         {LIRC_PULSE(9000), LIRC_SPACE(4500), LIRC_PULSE(560), kOverflow, LIRC_PULSE(560),
          kTimeout},
         {{9000, 4500, 560}, {560}},
         {true, false}},
        {"a carrier report is no edge; neighbours of one kind are one edge",
         {LIRC_PULSE(300), LIRC_FREQUENCY(38000), LIRC_PULSE(300), LIRC_SPACE(100), LIRC_SPACE(100),
          LIRC_PULSE(1), kTimeout},
         {{600, 200, 1}},
         {false}},
    };
    for (const auto& row : rows) {
        const std::vector<EdgeFrame> frames = framed(row.words);
        ASSERT_EQ(frames.size(), row.frames.size()) << row.what;
        for (size_t f = 0; f < frames.size(); ++f) {
            std::vector<uint32_t> us;
            for (const Edge& edge : frames[f].edges)
                us.push_back(edge.us);
            EXPECT_EQ(us, row.frames[f]) << row.what;
            EXPECT_EQ(frames[f].cut, row.cut[f]) << row.what;
        }
    }
    EXPECT_EQ(nameFrame(framed(rows[2].words)[0]).describe(),
              "cut: nec leader and 0 of 32 bits, edges lost");
}

// A million edges with no gap: one frame of kMaxFrameEdges, the rest counted and dropped, and
// the first whole frame after the next TIMEOUT named as usual.
TEST(RawFramer, AFloodKeepsEveryFrameAndTheFramerBounded) {
    rireruv::RawFramer framer;
    std::vector<EdgeFrame> frames;
    size_t most = 0;
    for (int i = 0; i < 1000000; ++i) {
        framer.feed(i % 2 == 0 ? LIRC_PULSE(100) : LIRC_SPACE(100), frames);
        most = std::max(most, framer.pendingEdges());
    }
    EXPECT_LE(most, rireruv::kMaxFrameEdges);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(frames[0].flood);
    EXPECT_LE(frames[0].edges.size(), rireruv::kMaxFrameEdges);
    EXPECT_EQ(framer.droppedEdges(), 1000000u - rireruv::kMaxFrameEdges);
    EXPECT_EQ(nameFrame(frames[0]).describe(), "noise: 256 pulses without a gap");

    framer.feed(kTimeout, frames);
    const std::vector<uint32_t>& nec = sentFor("nec:0x40c");
    for (size_t i = 0; i < nec.size(); ++i)
        framer.feed(i % 2 == 0 ? LIRC_PULSE(nec[i]) : LIRC_SPACE(nec[i]), frames);
    framer.flush(frames);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(nameFrame(frames[1]).describe(), "nec, address 0x04, command 0x0c (scancode 0x40c)");
}

// ir-ctl's light through a raw handle (a socket pair standing in for the second, MODE2 handle
// of a lirc node) beside the presses a receiver's decoders gave: each attempt that became no
// key is told with its layer. The receiver has nec and lirc enabled, rc-5 available.
TEST(RawLayers, EachLostAttemptGetsItsLayer) {
    rireruv::Receiver r;
    r.name = "rc0";
    r.protocols = "rc-5 [nec] [lirc]";
    // A made-up /proc in which lircd (pid 812) has the node open.
    const std::filesystem::path proc = BUILD_SCRATCH "/layers-proc";
    std::filesystem::remove_all(proc);
    std::filesystem::create_directories(proc / "812" / "fd");
    std::ofstream(proc / "812" / "comm") << "lircd\n";
    std::filesystem::create_symlink("/dev/lirc0", proc / "812" / "fd" / "4");
    rireruv::Layers layers(r, "rc-test", "/dev/lirc0", proc.string());
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);
    rireruv::RawReader raw(pair[0]);
    auto send = [&](const char* irCtl) {
        std::vector<uint32_t> words;
        const std::vector<uint32_t>& us = sentFor(irCtl);
        for (size_t i = 0; i < us.size(); ++i)
            words.push_back(i % 2 == 0 ? LIRC_PULSE(us[i]) : LIRC_SPACE(us[i]));
        words.push_back(LIRC_TIMEOUT(125000));
        ASSERT_EQ(write(pair[1], words.data(), words.size() * 4),
                  static_cast<ssize_t>(words.size() * 4));
    };
    auto poll = [&](const std::vector<rireruv::Press>& presses) {
        std::vector<EdgeFrame> frames;
        raw.drain(frames);
        std::vector<rireruv::RawFrame> named;
        for (const EdgeFrame& f : frames)
            named.push_back(nameFrame(f));
        std::vector<rireruv::Lost> lost;
        layers.poll(named, presses, 1000, lost);
        std::vector<std::string> said;
        for (const rireruv::Lost& l : lost)
            said.push_back(l.layer + ": " + l.text);
        return said;
    };
    rireruv::Press nec; // the kernel's nec decoder took this one, and rc-test has no key for it
    nec.scancode = 0x40c;
    nec.protocol = 9;
    send("nec:0x40c");
    send("rc5:0x1e3b");
    EXPECT_EQ(poll({nec}),
              (std::vector<std::string>{
                  "no_decoder: light but no decoder: this remote speaks rc-5 (address 0x1e, "
                  "command 0x3b), and rc-5 is not enabled on rc0: ir-keytable -s rc0 -p rc-5",
                  "keymap: decoded 0x40c (nec) but rc-test has no key for it"}));
    // nec is on, its light came, and no press of it in this poll or the next: someone took it.
    send("nec:0x40c");
    EXPECT_EQ(poll({}), std::vector<std::string>{}) << "a poll's grace for the press";
    // Then the look at who holds the node, beside the polls: polls go on until it has ended.
    std::vector<std::string> said;
    for (int polls = 0; said.empty() && polls < 10000; ++polls) {
        said = poll({});
        usleep(1000);
    }
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].rfind("not_delivered: light decoded as nec (address 0x04, command 0x0c) "
                            "(scancode 0x40c), and nec is enabled on rc0, but no press of it came "
                            "from /dev/lirc0: the key was read by another program: lircd (pid 812)",
                            0),
              0u)
        << said[0];
    close(pair[1]);
}

} // namespace
