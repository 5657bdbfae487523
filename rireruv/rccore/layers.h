// Where each attempt that did not become a key died, told from evidence rather than from a
// checklist: the receiver's raw light (the frames a second, MODE2 handle reads, named by
// receivers/raw.h) beside the presses its decoders gave, each poll.
//
//   light but no decoder   a whole frame of a protocol that is not enabled on the receiver
//   not delivered          a whole frame of an enabled protocol, and no press of it came
//   keymap                 a press the keymap has no key for
//   unknown protocol       light in a protocol none of the decoders knows
//   cut                    a frame that began as a protocol's and did not end as one
//   noise                  light too short for any protocol (said at most every 10 s)
//
// A decoded frame waits one poll for its press: the decoder may hand it over a moment after
// the frame's edges have been read. One that gets none waits again for the look at who holds
// the node, which runs beside the polls (beside.h).
#pragma once

#include "receivers/find.h"
#include "receivers/raw.h"
#include "receivers/read.h"
#include "rireruv/rccore/beside.h"
#include "rireruv/rccore/silence.h"

#include <cstdint>
#include <string>
#include <vector>

namespace rireruv {

struct Lost {
    std::string layer;  // "no_decoder", "not_delivered", "keymap", "unknown_protocol", ...
    std::string text;   // the sentence a person reads, with what to do
    bool coded = false; // scancode and protocol are known
    uint64_t scancode = 0;
    std::string protocol; // the variant's kernel name, "nec-x"
};

class Layers {
  public:
    // keymap: the receiver's keymap's name; node: the node presses are read from; procRoot
    // where the processes that may hold it are listed.
    Layers(Receiver receiver, std::string keymap, std::string node, std::string procRoot = "/proc")
        : m_receiver(std::move(receiver)), m_keymap(std::move(keymap)), m_node(std::move(node)),
          m_procRoot(std::move(procRoot)) {}
    // One poll: the frames of raw light it read and the presses it drained, at nowMs.
    void poll(const std::vector<RawFrame>& frames, const std::vector<Press>& presses,
              uint64_t nowMs, std::vector<Lost>& lost);

  private:
    void frame(const RawFrame& f, uint64_t nowMs, std::vector<Lost>& lost);
    Lost undelivered(const RawFrame& f, const Holders& h) const;
    void sayUndelivered(std::vector<Lost>& lost);
    static bool same(const RawFrame& f, const Press& p);

    Receiver m_receiver;
    std::string m_keymap, m_node, m_procRoot;
    std::vector<RawFrame> m_waiting;     // decoded last poll, no press of them yet
    std::vector<RawFrame> m_undelivered; // no press came: said once the look at holders ends
    uint64_t m_noiseSaidMs = 0;
    unsigned m_noise = 0;
    Beside<Holders> m_holders; // last, so that it stops first
};

} // namespace rireruv
