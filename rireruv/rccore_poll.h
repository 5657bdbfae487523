// One poll of a real receiver, as ZELK_GetRemoteData answers it: everything queued since the
// last poll is drained and traced, and the low byte of the most recent press's scancode is
// written. That byte stays until the next press; before the first press nothing is written.
// A receiver that goes away is said once; after that polls write nothing.
#pragma once

#include "rccore_read.h"
#include "report.h"

namespace rireruv {

class Poller {
  public:
    // label names the receiver in messages: "rc0 (/dev/lirc0)".
    Poller(std::unique_ptr<Reader> reader, std::string label, Trace trace);
    int poll(unsigned char* pbyData);

  private:
    void gone();

    std::unique_ptr<Reader> m_reader;
    std::string m_label;
    Trace m_trace;
    int m_last = -1; // the byte of the most recent press, or -1 before the first
};

} // namespace rireruv
