// What the front end's modes (--check, --find-protocol, --watch-gpio, --identify, --learn)
// share: what main gives each, the clock their polls keep, and how they read a number from the
// command line.
#pragma once

#include <cstdint>
#include <string>

namespace terminal {

// What every mode on a receiver is given by main (runMode) before its own options: which
// receiver, and the program's name and version for its messages and its JSON "start" line.
struct ModeOptions {
    std::string device = "auto"; // --device, or RIRERUV_DEVICE
    std::string program = "test-rireruv";
    std::string version;
};

// Milliseconds of CLOCK_MONOTONIC: a wall clock set back would stretch a timeout.
uint64_t nowMs();

// A whole number from 1 to max, of digits alone (no sign, no spaces, nothing after): false
// for anything else.
bool parseCount(const std::string& text, unsigned long max, unsigned long& value);

// "--presses N" (1-100) into presses, or "--timeout S" (1-3600 seconds) into timeoutMs; value is
// null when the option ends the command line. An empty string, or why the value is wrong.
std::string parsePressesOrTimeout(const std::string& name, const std::string* value,
                                  unsigned& presses, unsigned& timeoutMs);

} // namespace terminal
