// Raw light cut into frames and named after the kernel's decoders: ir-nec-decoder.c,
// ir-jvc-decoder.c, ir-sanyo-decoder.c, ir-sony-decoder.c (a leader, then bits told apart by
// the length of a space or of a pulse), ir-rc5-decoder.c and ir-rc6-decoder.c (Manchester
// halves of one unit). Their timings are a table; each one's bit order and scancode layout is
// a small function written from the decoder's own, so that names and scancodes match what
// rc_keydown would report for the same light.
//
// Longer than most files here because it is one table of protocols and its readers: split, the
// readers would only be the table's other half in another file.
#include "receivers/raw.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <linux/lirc.h>

namespace rireruv {

namespace {

using Durations = std::vector<uint32_t>; // pulse first, then alternating: odd indexes are spaces

// The kernel's decoders take a length within half a unit of what they expect (eq_margin(d,
// length, unit / 2)): ±50% for a one-unit bit, but only ±3% for JVC's 16-unit leader. We take
// ±30% of every length instead: a receiver whose timing is 20% off throughout still names its
// frames (the kernel would drop them), and a 2:1 pair such as Sony's 600 and 1200 µs pulses
// still cannot both match one length.
bool near(uint64_t d, uint64_t length) {
    return d * 10 > length * 7 && d * 10 < length * 13;
}

// Two neighbours of one kind as one, as rc-core's ir_raw_event_store_with_filter joins them;
// a flood of them stops at the longest length a u32 holds.
void join(uint32_t& length, uint32_t more) {
    length = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{length} + more, ~0u));
}

// Neighbours of one kind joined, spaces before the first pulse and after the last dropped.
Durations durationsOf(const std::vector<Edge>& edges) {
    Durations d;
    d.reserve(edges.size());
    for (const Edge& e : edges) {
        if (d.empty() && !e.pulse)
            continue;
        if (!d.empty() && e.pulse == (d.size() % 2 == 1))
            join(d[d.size() - 1], e.us);
        else
            d.push_back(e.us);
    }
    if (d.size() % 2 == 0 && !d.empty())
        d.pop_back();
    return d;
}

void set(RawFrame& out, const char* protocol, uint32_t scancode, int address, int command) {
    out.protocol = protocol;
    out.scancode = scancode;
    out.address = address;
    out.command = command;
}

// A protocol a frame was cut from, when its leader and every bit so far fit. Of several, the
// one whose leader is nearest the frame's.
struct Shortfall {
    const char* decoder = nullptr;
    int bits = 0, wanted = 0;
    double off = 0;
};

void offer(Shortfall& best, const char* decoder, int bits, int wanted, double off) {
    if (wanted > 0 && (best.decoder == nullptr || off < best.off))
        best = Shortfall{decoder, bits, wanted, off};
}

double leaderOff(const Durations& d, uint32_t pulse, uint32_t space) {
    return std::fabs(std::log(double(d[0]) / pulse)) + std::fabs(std::log(double(d[1]) / space));
}

// Bits after a pulse-coded leader reach these with the first bit in bit 0: the kernel shifts
// them in first-highest and bit-reverses each field, which comes to the same. count: how many.
using NameBits = bool (*)(uint64_t bits, int count, RawFrame& out);

// ir_nec_bytes_to_scancode (include/media/rc-core.h): a command whose check byte is wrong makes
// it nec-32, else an address whose check byte is wrong makes it nec-x.
bool nameNec(uint64_t v, int /*count*/, RawFrame& out) {
    const uint32_t a = v & 0xff, na = v >> 8 & 0xff, c = v >> 16 & 0xff, nc = v >> 24 & 0xff;
    if ((c ^ nc) != 0xff)
        set(out, "nec-32", na << 24 | a << 16 | nc << 8 | c, int(na << 8 | a), int(nc << 8 | c));
    else if ((a ^ na) != 0xff)
        set(out, "nec-x", a << 16 | na << 8 | c, int(a << 8 | na), int(c));
    else
        set(out, "nec", a << 8 | c, int(a), int(c));
    return true;
}

// The address byte comes first and is the scancode's high byte; no check bytes.
bool nameJvc(uint64_t v, int /*count*/, RawFrame& out) {
    const uint32_t address = v & 0xff, command = v >> 8 & 0xff;
    set(out, "jvc", address << 8 | command, int(address), int(command));
    return true;
}

// 13 address bits, their complement (which the kernel does not check), the command and its
// complement (which it does).
bool nameSanyo(uint64_t v, int /*count*/, RawFrame& out) {
    const uint32_t address = v & 0x1fff, command = v >> 26 & 0xff, notCommand = v >> 34 & 0xff;
    if ((command ^ notCommand) != 0xff)
        return false;
    set(out, "sanyo", address << 8 | command, int(address), int(command));
    return true;
}

// 7 command bits, 5 device bits (8 in sony-15), and in sony-20 8 extended bits; the scancode
// is device << 16 | extended << 8 | command.
bool nameSony(uint64_t v, int count, RawFrame& out) {
    const uint32_t command = v & 0x7f, device = v >> 7 & (count == 15 ? 0xff : 0x1f);
    const uint32_t extended = count == 20 ? v >> 12 & 0xff : 0;
    const char* protocol = count == 12 ? "sony-12" : count == 15 ? "sony-15" : "sony-20";
    set(out, protocol, device << 16 | extended << 8 | command, int(device), int(command));
    return true;
}

// A protocol whose bits each have a fixed part and a part whose length says 0 or 1: the space
// (NEC and its kin, then a trailer pulse) or the pulse (Sony). Lengths are the kernel's, in µs.
struct PulseCode {
    const char* decoder;
    uint32_t leaderPulse, leaderSpace;
    uint32_t shortLeaderPulse; // NEC also takes a half-length leader (NECX_HEADER_PULSE); 0: none
    bool bitInSpace;
    uint32_t fixed, zero, one;
    int lengths[3]; // the bit counts the kernel takes, ascending; 0: no more
    NameBits name;
};

const PulseCode kPulseCodes[] = {
    {"nec", 9008, 4504, 4504, true, 563, 563, 1689, {32}, nameNec},
    {"jvc", 8400, 4200, 0, true, 525, 525, 1575, {16}, nameJvc},
    {"sanyo", 9008, 4504, 0, true, 563, 563, 1689, {42}, nameSanyo},
    {"sony", 2400, 600, 0, false, 600, 600, 1200, {12, 15, 20}, nameSony},
};

bool takes(const PulseCode& p, int count) {
    return count > 0 &&
           std::find(std::begin(p.lengths), std::end(p.lengths), count) != std::end(p.lengths);
}

// The smallest bit count the protocol takes above count; 0 when none.
int wantedAfter(const PulseCode& p, int count) {
    for (int length : p.lengths)
        if (length > count)
            return length;
    return 0;
}

bool leaderFits(const PulseCode& p, const Durations& d) {
    const bool shortLeader = p.shortLeaderPulse != 0 && near(d[0], p.shortLeaderPulse);
    return (near(d[0], p.leaderPulse) || shortLeader) && near(d[1], p.leaderSpace);
}

// The bits after the leader, until an edge fits neither length; next: the edge it stopped at.
int readBits(const PulseCode& p, const Durations& d, uint64_t& bits, size_t& next) {
    bits = 0;
    int n = 0;
    size_t i = 2;
    for (; n < 64; ++n, i += 2) {
        const size_t value = p.bitInSpace ? i + 1 : i, fixed = p.bitInSpace ? i : i + 1;
        if (value >= d.size() || (fixed < d.size() && !near(d[fixed], p.fixed)))
            break;
        if (near(d[value], p.one))
            bits |= uint64_t{1} << n;
        else if (!near(d[value], p.zero))
            break;
    }
    next = i;
    return n;
}

bool readPulseCode(const PulseCode& p, const Durations& d, RawFrame& out, Shortfall& best) {
    if (d.size() < 2 || !leaderFits(p, d))
        return false;
    uint64_t bits = 0;
    size_t next = 0;
    const int n = readBits(p, d, bits, next);
    // NEC and its kin end on a trailer pulse; Sony on its last bit's pulse.
    const bool ranOut = next + (p.bitInSpace ? 1 : 0) >= d.size();
    const bool whole = p.bitInSpace ? next + 1 == d.size() && near(d[next], p.fixed) : ranOut;
    if (whole && takes(p, n) && p.name(bits, n, out)) {
        out.decoder = p.decoder;
        return true;
    }
    if (ranOut)
        offer(best, p.decoder, n, wantedAfter(p, n), leaderOff(d, p.leaderPulse, p.leaderSpace));
    return false;
}

// NEC's repeat code: its leader pulse, a 4-unit space and one pulse (ir-nec-decoder.c's
// NEC_REPEAT_SPACE), sent every 108 ms while a key is held.
bool isNecRepeat(const Durations& d) {
    return d.size() == 3 && (near(d[0], 9008) || near(d[0], 4504)) && near(d[1], 2252) &&
           near(d[2], 563);
}

// A Manchester frame as half-bit levels (true: pulse). The longest named here, RC-6-6A-32 with
// its header, is 76 halves.
const int kMaxHalves = 96;
struct Halves {
    bool level[kMaxHalves];
    int count = 0;
    bool add(bool pulse) {
        if (count == kMaxHalves)
            return false;
        level[count++] = pulse;
        return true;
    }
};

// The frame's own unit: the mean of its one-unit lengths, so that a frame running uniformly
// fast or slow still cuts into the right number of halves (at 20% slow, RC-6's three units
// would otherwise read as two).
uint32_t ownUnit(const Durations& d, size_t from, uint32_t unit) {
    uint64_t sum = 0, n = 0;
    for (size_t i = from; i < d.size(); ++i)
        if (uint64_t{d[i]} * 2 < uint64_t{unit} * 3) {
            sum += d[i];
            ++n;
        }
    return n != 0 ? static_cast<uint32_t>(sum / n) : unit;
}

// Each length from d[from] on as whole units of the frame's own unit, within 40% of one; then
// a space half if the count is odd: a last bit ending in space ends in the gap after it.
bool cutHalves(const Durations& d, size_t from, uint32_t unit, Halves& h) {
    const uint32_t own = ownUnit(d, from, unit);
    if (!near(own, unit))
        return false;
    for (size_t i = from; i < d.size(); ++i) {
        const uint64_t units = (uint64_t{d[i]} + own / 2) / own, length = units * own;
        const uint64_t off = d[i] > length ? d[i] - length : length - d[i];
        if (units == 0 || units > 6 || off * 10 > uint64_t{own} * 4)
            return false;
        for (uint64_t k = 0; k < units; ++k)
            if (!h.add(i % 2 == 0))
                return false;
    }
    return h.count % 2 == 0 || h.add(false);
}

// A bit of two unlike halves: RC-5 sends a 1 as space then pulse, RC-6 as pulse then space.
bool bitAt(const Halves& h, int at, bool onePulseFirst, uint32_t& bits) {
    if (at + 1 >= h.count || h.level[at] == h.level[at + 1])
        return false;
    bits = bits << 1 | (h.level[at] == onePulseFirst ? 1 : 0);
    return true;
}

// ir-rc5-decoder.c's layouts. bits holds every bit, the start bit highest: 14 bits RC-5, 15
// its StreamZap form, 20 with the 4-unit space after the eighth RC-5X-20. The second start
// bit, inverted, is the command's bit 6 (but not in StreamZap's).
bool nameRc5(uint32_t v, int n, bool extended, RawFrame& out) {
    if (extended && n == 20) {
        const uint32_t command = (v >> 6 & 0x3f) + ((v & 0x40000) != 0 ? 0 : 0x40);
        const uint32_t system = v >> 12 & 0x1f;
        set(out, "rc-5x-20", system << 16 | command << 8 | (v & 0x3f), int(system), int(command));
        out.toggle = int(v >> 17 & 1);
    } else if (!extended && n == 14) {
        const uint32_t command = (v & 0x3f) + ((v & 0x1000) != 0 ? 0 : 0x40),
                       system = v >> 6 & 0x1f;
        set(out, "rc-5", system << 8 | command, int(system), int(command));
        out.toggle = int(v >> 11 & 1);
    } else if (!extended && n == 15) {
        const uint32_t command = v & 0x3f, system = (v & 0x2fc0) >> 6;
        set(out, "rc-5-sz", system << 6 | command, int(system), int(command));
        out.toggle = int(v >> 12 & 1);
    } else {
        return false;
    }
    out.decoder = n == 15 ? "rc-5-sz" : "rc-5";
    return true;
}

// RC-5 has no leader: the first start bit's space half is never seen.
bool readRc5(const Durations& d, RawFrame& out) {
    Halves h;
    h.add(false);
    if (!cutHalves(d, 0, 889, h))
        return false;
    uint32_t bits = 0;
    int n = 0, at = 0;
    bool extended = false;
    while (at < h.count) {
        if (n == 8 && !extended && at + 3 < h.count &&
            !(h.level[at] || h.level[at + 1] || h.level[at + 2] || h.level[at + 3])) {
            extended = true;
            at += 4;
            continue;
        }
        if (n == 20 || !bitAt(h, at, false, bits))
            return false;
        ++n;
        at += 2;
    }
    return nameRc5(bits, n, extended, out);
}

bool isMceCustomer(uint32_t body) {
    const uint32_t customer = body & 0xffff0000; // MCE, Kathrein RCU-676, Zotac
    return customer == 0x800f0000 || customer == 0x80460000 || customer == 0x80340000;
}

// ir-rc6-decoder.c's layouts: mode 0 has 16 bits and a toggle; mode 6A (trailer bit 0) takes
// 20, 24 or 32, the last being rc-6-mce, with its toggle in bit 15, for the MCE customer codes.
bool nameRc6(int mode, int toggle, uint32_t body, int n, RawFrame& out) {
    if (mode == 0) {
        if (n != 16)
            return false;
        set(out, "rc-6-0", body, int(body >> 8), int(body & 0xff));
        out.toggle = toggle;
    } else if (n == 20 || n == 24) {
        set(out, n == 20 ? "rc-6-6a-20" : "rc-6-6a-24", body, -1, -1);
    } else if (n == 32 && isMceCustomer(body)) {
        set(out, "rc-6-mce", body & ~0x8000u, int(body >> 8 & 0x7f), int(body & 0xff));
        out.toggle = int(body >> 15 & 1);
    } else if (n == 32) {
        set(out, "rc-6-6a-32", body, -1, -1);
    } else {
        return false;
    }
    out.decoder = "rc-6";
    return true;
}

// The header (a start bit of 1 and three mode bits) and the double-length toggle bit: its
// halves are two units each. False when they are not RC-6's; at: where they end.
bool readRc6Header(const Halves& h, int& mode, int& toggle, int& at) {
    uint32_t header = 0;
    for (at = 0; at < 8; at += 2)
        if (!bitAt(h, at, true, header))
            return false;
    const bool first = h.level[at];
    if ((header & 8) == 0 || at + 3 >= h.count || h.level[at + 1] != first ||
        h.level[at + 2] == first || h.level[at + 3] == first)
        return false;
    mode = int(header & 7);
    toggle = first ? 1 : 0;
    at += 4;
    return mode == 0 || (mode == 6 && toggle == 0);
}

bool readRc6(const Durations& d, RawFrame& out, Shortfall& best) {
    Halves h;
    if (d.size() < 2 || !near(d[0], 2664) || !near(d[1], 888) || !cutHalves(d, 2, 444, h))
        return false;
    int mode = 0, toggle = 0, at = 0, n = 0;
    const int wanted = h.count < 12 ? 16 : 0; // a header cut short leaves the mode unknown
    if (wanted != 0 || !readRc6Header(h, mode, toggle, at)) {
        offer(best, "rc-6", 0, wanted, leaderOff(d, 2664, 888));
        return false;
    }
    uint32_t body = 0;
    for (; at < h.count; at += 2, ++n)
        if (n == 32 || !bitAt(h, at, true, body))
            return false;
    if (nameRc6(mode, toggle, body, n, out))
        return true;
    const int least = mode == 0 ? 16 : 20;
    offer(best, "rc-6", n, n < least ? least : 0, leaderOff(d, 2664, 888));
    return false;
}

bool decoded(const Durations& d, RawFrame& out, Shortfall& best) {
    for (const PulseCode& p : kPulseCodes)
        if (readPulseCode(p, d, out, best))
            return true;
    return readRc6(d, out, best) || readRc5(d, out);
}

RawFrame measured(const Durations& d) {
    RawFrame out;
    out.pulses = static_cast<int>((d.size() + 1) / 2);
    out.leaderPulse = d.empty() ? 0 : d[0];
    out.leaderSpace = d.size() > 1 ? d[1] : 0;
    return out;
}

std::string decodedText(const RawFrame& f) {
    char text[128];
    int n = std::snprintf(text, sizeof text, "%s", f.protocol.c_str());
    if (f.address >= 0)
        n += std::snprintf(text + n, sizeof text - n, ", address 0x%02x, command 0x%02x", f.address,
                           f.command);
    if (f.toggle >= 0)
        n += std::snprintf(text + n, sizeof text - n, ", toggle %d", f.toggle);
    std::snprintf(text + n, sizeof text - n, " (scancode 0x%x)", f.scancode);
    return text;
}

} // namespace

void RawFramer::feed(uint32_t word, std::vector<EdgeFrame>& frames) {
    const uint32_t us = word & LIRC_VALUE_MASK;
    switch (word & LIRC_MODE2_MASK) {
    case LIRC_MODE2_PULSE:
        add(true, us, frames);
        break;
    case LIRC_MODE2_SPACE:
        if (us < kFrameGapUs)
            add(false, us, frames);
        else
            flush(frames);
        break;
    case LIRC_MODE2_OVERFLOW:
        m_frame.cut = true;
        flush(frames);
        break;
    case LIRC_MODE2_TIMEOUT:
        flush(frames);
        break;
    default: // FREQUENCY: the carrier a learning receiver measured, which names nothing here
        break;
    }
}

void RawFramer::flush(std::vector<EdgeFrame>& frames) {
    end(frames);
    m_skipping = false;
}

void RawFramer::add(bool pulse, uint32_t us, std::vector<EdgeFrame>& frames) {
    std::vector<Edge>& edges = m_frame.edges;
    if (m_skipping) {
        ++m_dropped;
    } else if (!edges.empty() && edges.back().pulse == pulse) {
        join(edges[edges.size() - 1].us, us);
    } else if (pulse || !edges.empty()) {
        edges.push_back(Edge{pulse, us});
        if (edges.size() == kMaxFrameEdges) {
            m_frame.flood = true;
            end(frames);
            m_skipping = true;
        }
    }
}

void RawFramer::end(std::vector<EdgeFrame>& frames) {
    if (!m_frame.edges.empty() && !m_frame.edges.back().pulse)
        m_frame.edges.pop_back(); // the space before the gap belongs to the gap
    if (!m_frame.edges.empty())
        frames.push_back(std::move(m_frame));
    m_frame = EdgeFrame{};
}

std::string RawFrame::describe() const {
    char text[128];
    switch (kind) {
    case Kind::Decoded:
        return decodedText(*this);
    case Kind::Repeat:
        return protocol + " repeat";
    case Kind::Cut:
        if (!decoder.empty())
            std::snprintf(text, sizeof text, "cut: %s leader and %d of %d bits%s", decoder.c_str(),
                          bits, bitsWanted, lost ? ", edges lost" : "");
        else
            std::snprintf(text, sizeof text, "cut: %d pulses, leader %u/%u µs, edges lost", pulses,
                          leaderPulse, leaderSpace);
        return text;
    case Kind::Noise:
        std::snprintf(text, sizeof text, "noise: %d pulse%s%s", pulses, pulses == 1 ? "" : "s",
                      flood ? " without a gap" : "");
        return text;
    case Kind::Unknown:
        break;
    }
    std::snprintf(text, sizeof text, "unknown: %d pulses, leader %u/%u µs", pulses, leaderPulse,
                  leaderSpace);
    return text;
}

RawFrame nameFrame(const std::vector<Edge>& edges) {
    const Durations d = durationsOf(edges);
    RawFrame out = measured(d);
    Shortfall best;
    if (isNecRepeat(d)) {
        out.kind = RawFrame::Kind::Repeat;
        out.protocol = out.decoder = "nec";
    } else if (decoded(d, out, best)) {
        out.kind = RawFrame::Kind::Decoded;
    } else if (best.decoder != nullptr) {
        out.kind = RawFrame::Kind::Cut;
        out.decoder = best.decoder;
        out.bits = best.bits;
        out.bitsWanted = best.wanted;
    } else {
        out.kind = out.pulses < 4 ? RawFrame::Kind::Noise : RawFrame::Kind::Unknown;
    }
    return out;
}

RawFrame nameFrame(const EdgeFrame& frame) {
    if (frame.flood) {
        RawFrame out = measured(durationsOf(frame.edges));
        out.flood = true;
        return out;
    }
    RawFrame out = nameFrame(frame.edges);
    if (frame.cut && out.kind != RawFrame::Kind::Decoded) {
        out.kind = RawFrame::Kind::Cut;
        out.lost = true;
    }
    return out;
}

} // namespace rireruv
