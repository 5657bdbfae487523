// test-rireruv --watch-gpio: for a saa7134 receiver that decodes in hardware (a GPIO receiver,
// with no raw light to look at), an opt-in root step that turns the driver's ir_debug on for a
// few seconds, reads its build_key lines from /dev/kmsg while the person presses keys, and says
// whether the GPIO lines change with data (the receiver works), change with data 0 (the card
// type, card=, is wrong) or do not change (the receiver hears nothing). ir_debug is put back on
// every way out (receivers/undo.h). JSON lines as --check's; exit 0 data seen, 1 silent or a
// wrong card type, 2 could not run (another driver, no permission: nothing changed; a kernel
// that restricts dmesg), 128 + a signal's number after one.
#pragma once

#include "terminal/modes.h"

#include <cstdio>
#include <string>
#include <vector>

namespace terminal {

struct WatchOptions : ModeOptions {
    unsigned seconds = 8;
};

std::string parseWatchOptions(const std::vector<std::string>& args, WatchOptions& options);

int runWatchGpio(const WatchOptions& options, std::FILE* out);

} // namespace terminal
