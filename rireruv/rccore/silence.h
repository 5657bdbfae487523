// Why a receiver gives no presses: its protocols as the kernel has them now, the other
// processes holding its nodes, and what is left to check by hand.
//
// A silent receiver raises no error anywhere, so the status line is the only place a person
// learns that a lirc daemon switched the decoders off or grabbed the device. Everything is
// read with open/opendir/readdir/readlink, which umockdev intercepts, so it works on testbeds.
#pragma once

#include "receivers/find.h"
#include "receivers/protocols.h"
#include "rireruv/rccore/beside.h"

#include <string>
#include <vector>

namespace rireruv {

// Other processes that have any of nodes open, as "lircd (pid 812) has /dev/lirc0 open", and
// how many processes' descriptors could not be read (other users' without privileges).
struct Holders {
    std::vector<std::string> found;
    int hidden = 0;
    bool listed = true; // false: procRoot itself could not be read, so nobody could be seen
    size_t unseen = 0;  // processes not looked at: the look reached its bounds first
};
Holders nodeHolders(const std::vector<std::string>& nodes, const std::string& procRoot,
                    const ScanBounds& bounds = {});

// How long the look at other processes may take, and how many descriptor links it may read: it
// runs beside the polls, so its bounds keep its cost on a crowded machine, not a poll's time.
const std::chrono::milliseconds kScanBudget{2000};
const size_t kScanMaxLinks = 250000;
// The holders a hint names; the rest are counted.
const size_t kHoldersNamed = 8;

// What to check when a receiver has given no press for `seconds` since polling started: one
// line a person reads on a status line, each cause with how to check or fix it.
std::string whyNothingArrives(const Receiver& r, const std::string& nodeRead, int seconds,
                              const std::string& procRoot = "/proc", const ScanBounds& bounds = {});

} // namespace rireruv
