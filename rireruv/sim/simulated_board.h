// The simulated board behind our stand-in rireruv.dll.
//
// People and tests set a board up through the environment:
//   RIRERUV_INIT_STATUS  decimal status that ZELK_HWInit returns (default 0), the digits alone
//   RIRERUV_DATA         tokens separated by white space or commas, each a hex byte 00-FF or
//                        "-" (write nothing); successive ZELK_GetRemoteData calls take
//                        successive tokens, cycling (default: the demo remote)
//   RIRERUV_DELAY_MS     each ZELK_GetRemoteData takes this long (default 0)
//   RIRERUV_TRACE        a file; each call appends one line and flushes it
// A malformed setting, or one that cannot be honoured (a trace file that cannot be written),
// makes ZELK_HWInit fail with 8; each reason goes to standard error and, where there is one,
// to the trace. A bad value is quoted short and escaped, so a reason is one readable line.
#pragma once

#include "rireruv/report.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace rireruv {

const int kNothing = -1; // a RIRERUV_DATA token of "-"

struct Settings {
    int initStatus = 0;
    bool demo = true;      // no RIRERUV_DATA: the demo remote
    std::vector<int> data; // bytes 0-255, or kNothing
    unsigned delayMs = 0;
    std::string tracePath;           // empty: no trace
    std::vector<std::string> errors; // one reason per malformed setting, in order
};

// Reads the settings through lookup (getenv, or a table in tests).
Settings readSettings(const std::function<const char*(const char*)>& lookup);

// The demo remote: someone presses a key now and then and holds it for a moment; between
// presses the remote reports 0. The same sequence every run.
class DemoRemote {
  public:
    int next();

  private:
    uint32_t m_seed = 0x2545F491u;
    int m_key = 0;
    int m_left = 6; // polls left in the current phase
    uint32_t random();
};

class Board {
  public:
    explicit Board(Settings settings);
    int init();
    int getRemoteData(unsigned char* pbyData);
    int free();

  private:
    void trace(const std::string& line) const;

    Settings m_settings;
    Trace m_trace;
    size_t m_next = 0;
    DemoRemote m_demo;
};

// Waits, without busy waiting; each platform has its own file.
void sleepMs(unsigned ms);

} // namespace rireruv
