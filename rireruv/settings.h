// What the environment asks of the library, read once, when the library is first used; the
// board chosen gets these settings and reads nothing else.
//
//   RIRERUV_DEVICE       simulated: the simulated board; auto, rcN, /dev/lircK or
//                        /dev/input/eventK: that real receiver (Linux); unset: the board the
//                        build reads by default (remote_board.h's chooseBoard)
//   RIRERUV_TRACE        a file; each call appends one line and flushes it (every board)
// and the simulated board's own, which cannot go with RIRERUV_DEVICE:
//   RIRERUV_INIT_STATUS  decimal status that ZELK_HWInit returns (default 0), the digits alone
//   RIRERUV_DATA         tokens separated by white space or commas, each a hex byte 00-FF or
//                        "-" (write nothing); successive ZELK_GetRemoteData calls take
//                        successive tokens, cycling (default: the demo remote)
//   RIRERUV_DELAY_MS     each ZELK_GetRemoteData takes this long (default 0)
// A malformed setting, or one that cannot be honoured (a trace file that cannot be written),
// is a reason in errors, and the board's ZELK_HWInit fails with it. A bad value is quoted short
// and escaped, so a reason is one readable line.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace rireruv {

const int kNothing = -1; // a RIRERUV_DATA token of "-"
// RIRERUV_DEVICE's value that asks for the simulated board.
const char kSimulatedDevice[] = "simulated";

struct Settings {
    bool receiver = false; // RIRERUV_DEVICE names a real receiver, in device
    std::string device;
    // What asked for the simulated board ("RIRERUV_DEVICE=simulated", "RIRERUV_DATA", ...);
    // empty when nothing did, and then the build's default board is taken.
    std::string simulatedBecause;
    bool deviceDefaulted = false; // device is "auto" because nothing asked for a board
    int initStatus = 0;
    bool demo = true;      // no RIRERUV_DATA: the demo remote
    std::vector<int> data; // bytes 0-255, or kNothing
    unsigned delayMs = 0;
    std::string tracePath;           // empty: no trace
    std::vector<std::string> errors; // one reason per malformed setting, in order
};

// getenv, or a table in tests.
using Lookup = std::function<const char*(const char*)>;

Settings readSettings(const Lookup& lookup);

} // namespace rireruv
