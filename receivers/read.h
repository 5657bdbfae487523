// Reading presses from a receiver's node without ever blocking: the lirc node in scancode mode
// (whole 24-byte records), or the event device through libevdev (MSC_SCAN, not key codes, so
// keys the kernel's keymap does not know still count).
//
// Callers rely on: drain takes what is queued since the last call, oldest first, up to
// kRecordsPerDrain records or events (a flood's rest stays queued for the next call, nothing
// lost); once it
// returns Gone the node is finished with and later calls find nothing.
#pragma once

#include "receivers/raw.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct input_event;

namespace rireruv {

// What one drain takes at most, and the reads it makes at most (an EINTR or a one-record read
// counts too): far more than a person presses in a poll, and a bounded time in it however
// much a node has queued or however often a read is interrupted.
const unsigned kRecordsPerDrain = 2048;

const int kProtocolUnknown = -1; // the event device does not say which protocol a press used

const int kFlagUnknown = -1; // the event device does not say whether the toggle bit flipped

struct Press {
    uint64_t scancode = 0;
    int protocol = kProtocolUnknown; // enum rc_proto
    bool repeat = false;
    int toggle = kFlagUnknown; // 0 or 1 where the node says (lirc's TOGGLE flag)
    uint32_t keycode = 0;      // the keymap's key for it (KEY_POWER = 116); 0: not mapped
    // 1: the key held, for certain; 0: a key went down, a new press; -1: the node does not say
    int hold = -1;
    bool keyUp = false;    // not a press: the event device's key up of the key held
    bool timed = false;    // kernelUs is the kernel's timestamp of the frame
    uint64_t kernelUs = 0; // CLOCK_MONOTONIC where the node can give it
};

// The kernel's name of an rc_proto ("nec", "rc-5"), or "-" when the node did not say.
std::string protocolName(int protocol);

// "press scancode=0x40c protocol=nec repeat=0": the trace line of a drained press;
// "keyup scancode=0x5" for a key up.
std::string pressLine(const Press& press);

enum class Drained { Ready, Gone };

class Reader {
  public:
    virtual ~Reader() = default;
    virtual Drained drain(std::vector<Press>& out) = 0;
    // After Gone: what happened, as a person reads it after the node's name: "is gone (No
    // such device)".
    virtual std::string why() const = 0;
    // Something the poll should say once, then "" again: bytes that were no whole record.
    virtual std::string notice() { return ""; }
};

// A reader's why() when its node went away for cause: "is gone (<cause>)", one wording for
// every kind of node.
std::string goneBecause(const std::string& cause);

// Reads lirc scancode records from fd (a lirc node, or a socket in the tests); owns the fd.
std::unique_ptr<Reader> lircReader(int fd);

// Turns a stream of input events into presses. A repeat is a MSC_SCAN of the key rc-core
// still holds down; keys without a keymap entry never show as held, so theirs read as presses.
class ScanDecoder {
  public:
    void feed(const input_event& ev, std::vector<Press>& out);

  private:
    void endFrame(std::vector<Press>& out);
    void keyUp(uint64_t atUs, std::vector<Press>& out);

    bool m_haveScan = false;
    uint32_t m_scan = 0;
    bool m_keyDown = false; // an EV_KEY 1 in this frame
    uint32_t m_keyCode = 0; // its code
    bool m_held = false;    // a key is down since an earlier frame
    uint32_t m_heldScan = 0, m_heldCode = 0;
    uint64_t m_scanUs = 0; // the time of the frame's MSC_SCAN
};

// Opening a node as this board reads it; on failure, reader is null and error says why.
struct Opened {
    std::unique_ptr<Reader> reader;
    std::string error;
    bool denied = false; // no permission: another node of the receiver may still do
};
Opened openLirc(const std::string& node);
Opened openEvent(const std::string& node);

// A second handle on a lirc node, in LIRC_MODE_MODE2: every edge of light the receiver sees,
// whatever decoders are on, while the first handle reads the decoded presses (each handle has
// its own mode and queue). Never waits; reads a bounded number of words a call, so a flood of
// edges cannot hold a poll, and the rest stays queued.
class RawReader {
  public:
    explicit RawReader(int fd) : m_fd(fd) {}
    ~RawReader();
    RawReader(const RawReader&) = delete;
    RawReader& operator=(const RawReader&) = delete;
    // The frames the words queued now complete; a frame still under way when nothing more is
    // queued is ended (a node that sends no timeout word has gone quiet).
    Drained drain(std::vector<EdgeFrame>& frames, size_t maxWords = 4096);
    uint64_t edges() const { return m_edges; } // pulses and spaces read since it was opened
    std::string why() const { return m_why; }

  private:
    int m_fd;
    RawFramer m_framer;
    std::vector<unsigned char> m_pending; // part of a word, from a node that is a stream
    uint64_t m_edges = 0;
    std::string m_why;
};

// The raw handle of a lirc node, or null with why: a receiver that decodes in hardware (GPIO,
// I2C) has no raw path (no LIRC_CAN_REC_MODE2), and that is no error.
struct OpenedRaw {
    std::unique_ptr<RawReader> reader;
    std::string why;
};
OpenedRaw openRaw(const std::string& lircNode);

// A code as the project writes it: "0x40c"; digits, the fewest hex digits ("0x04" for 2).
std::string hexCode(uint64_t value, int digits = 1);

struct Receiver;
// The node a receiver's presses are read from: wanted when a setting named one; otherwise lirc
// first, since its presses name the protocol that decoded them, and the event device when
// there is no lirc node or this user may not open it (lirc nodes are root's alone on most
// systems, event devices are group input's). node gets the one taken.
Opened openPresses(const Receiver& r, const std::string& wanted, std::string& node);

// Why opening path failed with err, with the path's owner, group and mode and the fix for a
// lirc node or, lirc false, an event device.
std::string openFailure(const std::string& path, int err, bool lirc);
// Opens a node to read without blocking; on failure, -1 with opened's error and denied set.
int openNode(const std::string& node, Opened& opened, bool lirc);

} // namespace rireruv
