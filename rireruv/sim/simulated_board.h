// The simulated board: what our stand-in rireruv.dll drives when RIRERUV_DEVICE is unset, set
// up by RIRERUV_INIT_STATUS, RIRERUV_DATA and RIRERUV_DELAY_MS (rireruv/settings.h). Without
// RIRERUV_DATA it is the demo remote.
#pragma once

#include "rireruv/remote_board.h"
#include "rireruv/report.h"
#include "rireruv/settings.h"

#include <cstdint>

namespace rireruv {

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

class SimulatedBoard : public RemoteBoard {
  public:
    explicit SimulatedBoard(Settings settings);
    int init() override;
    int getRemoteData(unsigned char* pbyData) override;
    int free() override;

  private:
    int next();           // the byte of the next poll, or kNothing
    void note(int value); // tells the library's account what a press is

    Settings m_settings;
    Trace m_trace;
    size_t m_next = 0;
    DemoRemote m_demo;
    bool m_ready = false;
    int m_previous = -1; // the byte the last poll wrote, or -1
};

} // namespace rireruv
