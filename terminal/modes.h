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

// "--presses N" (1-100) into presses, or "--timeout S" (1-3600 seconds) into timeoutMs; value is
// null when the option ends the command line. An empty string, or why the value is wrong.
std::string parsePressesOrTimeout(const std::string& name, const std::string* value,
                                  unsigned& presses, unsigned& timeoutMs);

} // namespace terminal
