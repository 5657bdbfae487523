// What the front end's modes (--check, --find-protocol, --watch-gpio, --identify, --learn)
// share: the clock their polls keep, and how they read a number from the command line.
#pragma once

#include <cstdint>
#include <string>

namespace terminal {

// Milliseconds of CLOCK_MONOTONIC: a wall clock set back would stretch a timeout.
uint64_t nowMs();

// A whole number from 1 to max, of digits alone (no sign, no spaces, nothing after): false
// for anything else.
bool parseCount(const std::string& text, unsigned long max, unsigned long& value);

} // namespace terminal
