// One poll of a real receiver, as ZELK_GetRemoteData answers it: everything queued since the
// last poll is drained, traced and told to the tally (tally.h) with its key's name, and the low
// byte of the most recent press's scancode is written. That byte stays until the next press;
// before the first press nothing is written. A receiver that goes away is said once; after
// that polls write nothing. A run that stays silent gets, once, the reason the board gives.
#pragma once

#include "receivers/read.h"
#include "rireruv/rccore/beside.h"
#include "rireruv/rccore/layers.h"
#include "rireruv/report.h"

#include <functional>

namespace rireruv {

// How long a run may give no press before the verifier says what to check.
const int kSilentSeconds = 8;

class Poller {
  public:
    // label names the receiver in messages: "rc0 (/dev/lirc0)".
    Poller(std::unique_ptr<Reader> reader, std::string label, Trace trace);
    // What to check when nothing arrives; asked only when it is time to say it, on a thread
    // beside the polls (beside.h), and said by the first poll after it ends, if the run is
    // still silent then.
    void whenSilent(std::function<std::string(const ScanBounds&)> why) {
        m_whySilent = std::move(why);
    }
    // The receiver's raw light too, read after the presses (so that it never takes or delays
    // one), each lost attempt told with the layer it died in.
    void watchLight(std::unique_ptr<RawReader> raw, std::unique_ptr<Layers> layers) {
        m_raw = std::move(raw);
        m_layers = std::move(layers);
    }
    int poll(unsigned char* pbyData);

  private:
    void take(const std::vector<Press>& presses);
    void light(const std::vector<Press>& presses);
    void silence();
    void sayHint(const std::string& why);
    void gone();

    std::unique_ptr<Reader> m_reader;
    std::string m_label;
    Trace m_trace;
    std::function<std::string(const ScanBounds&)> m_whySilent;
    int m_last = -1; // the byte of the most recent press, or -1 before the first
    std::unique_ptr<RawReader> m_raw;
    std::unique_ptr<Layers> m_layers;
    uint64_t m_edgesAtPress = 0; // the raw edges read up to the last press
    Beside<std::string> m_scan;  // last, so that it stops before what it may read goes
};

} // namespace rireruv
