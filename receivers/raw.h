// Raw light from a receiver that decodes in software: the edges a lirc node gives in
// LIRC_MODE_MODE2 cut into frames, and each frame named as rc-core's decoders would name it
// (protocol, scancode, toggle), or said to be cut short, noise, or a protocol we do not know.
//
// Why our own naming when the kernel decodes anyway: the kernel only reports frames of the
// protocols enabled in /sys/class/rc/rcN/protocols, and says nothing at all about the rest. A
// remote that "does nothing" is usually one whose protocol is switched off; reading MODE2
// beside the decoders shows what it sends, so a person can be told which protocol to enable.
//
// Callers rely on: every name and scancode is the kernel's (rc-main.c's rc_proto names, the
// scancode rc_keydown reports); timing is accepted more loosely than the kernel's decoders
// (raw.cpp says how much), so a frame named here may be one the kernel drops for its timing.
// Nothing here reads a node or allocates without bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rireruv {

// One mark (pulse: light) or space of LIRC_MODE_MODE2, in microseconds.
struct Edge {
    bool pulse;
    uint32_t us;
};

// One frame as RawFramer cut it: pulse first and last, no two neighbours of the same kind.
struct EdgeFrame {
    std::vector<Edge> edges;
    bool cut = false;   // an OVERFLOW ended it: the kernel lost edges, so its end may be missing
    bool flood = false; // it reached kMaxFrameEdges with no gap: noise, the rest was dropped
};

// The longest frame kept: rc-core itself buffers at most 512 raw events (MAX_IR_EVENT_SIZE in
// rc-ir-raw.c), and no remote's frame comes near it (Sanyo's, the longest named here, is 87).
const size_t kMaxFrameEdges = 512;

// A space at least this long ends a frame. Above every space inside a frame we name (RC-5X's
// 4-unit space beside two half bits, 5.3 ms; NEC's 4.5 ms leader space), with room for our
// 30% tolerance; below the gaps between a held remote's frames, the shortest being Sony's:
// its frames start every 45 ms, so a 20-bit one may leave only 6-18 ms before the next. The
// 19 ms that ir-ctl --one-shot waits for would glue a held Sony-15 or Sony-20 remote's frames.
const uint32_t kFrameGapUs = 8000;

// Cuts a MODE2 stream into frames. Words are u32: type in the high byte (LIRC_MODE2_SPACE 0,
// PULSE 0x01000000, FREQUENCY 0x02000000, TIMEOUT 0x03000000, OVERFLOW 0x04000000), duration
// below. A frame ends at a TIMEOUT, at an OVERFLOW (marked cut), or at a space of kFrameGapUs
// or more; spaces before a frame's first pulse are dropped. Frames are appended to frames.
class RawFramer {
  public:
    void feed(uint32_t word, std::vector<EdgeFrame>& frames);
    // Ends the frame under way, if any: for an idle line on a node that sends no TIMEOUT words.
    void flush(std::vector<EdgeFrame>& frames);
    // Edges dropped after a flood frame, since the framer was made.
    uint64_t droppedEdges() const { return m_dropped; }
    size_t pendingEdges() const { return m_frame.edges.size(); }

  private:
    void add(bool pulse, uint32_t us, std::vector<EdgeFrame>& frames);
    void end(std::vector<EdgeFrame>& frames);

    EdgeFrame m_frame;
    bool m_skipping = false; // after a flood frame: edges are dropped until the next gap
    uint64_t m_dropped = 0;
};

// What a frame is.
struct RawFrame {
    enum class Kind {
        Decoded, // a whole frame of protocol, scancode as the kernel reports it
        Repeat,  // a protocol's repeat code: the key is still held, no scancode (NEC's)
        Cut,     // a recognised leader and too few bits, or edges lost to an overflow
        Noise,   // too short for any protocol, or a flood with no gap
        Unknown, // long enough, but no protocol named here
    };
    Kind kind = Kind::Noise;
    std::string protocol;  // the kernel's rc_proto name: "nec", "nec-x", "rc-6-mce", "sony-12"
    std::string decoder;   // its entry in the protocols file: "nec", "rc-6", "sony"; for Cut too
    uint32_t scancode = 0; // only when Decoded
    int address = -1;      // -1 where the protocol has none
    int command = -1;
    int toggle = -1; // 0 or 1 where the protocol has a toggle bit
    int pulses = 0;
    uint32_t leaderPulse = 0; // the first pulse and space, as measured
    uint32_t leaderSpace = 0;
    int bits = 0, bitsWanted = 0; // Cut by its leader: the bits that came, of how many
    bool lost = false;            // Cut: an overflow lost edges
    bool flood = false;           // Noise: kMaxFrameEdges with no gap

    // "nec, address 0x04, command 0x0c (scancode 0x40c)", "nec repeat",
    // "cut: nec leader and 11 of 32 bits", "noise: 2 pulses",
    // "unknown: 34 pulses, leader 3400/1700 µs".
    std::string describe() const;
};

// Names edges (any order of pulses and spaces: neighbours of one kind are summed, and spaces
// before the first pulse or after the last dropped, as the framer does: a frame's last space
// cannot be told from the gap after it).
RawFrame nameFrame(const std::vector<Edge>& edges);
// The same for a framed frame, whose cut or flood mark outweighs a name that is not whole.
RawFrame nameFrame(const EdgeFrame& frame);

} // namespace rireruv
