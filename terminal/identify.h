// test-rireruv --identify: which remote is in the person's hand, told by the keymap files
// ir-keytable loads (receivers/identify.h). It reads free presses from the receiver as it
// decodes them now, and after each one says the keymaps that match so far, best first; it
// changes nothing on the system (no protocol, no keymap), so it needs no root beyond reading
// the node. A press from another remote (another address) is said as soon as it comes.
//
// JSON lines on standard output, as --check: a start line, a "press" line and its "match"
// lines after each press, "second_remote" when presses came from two remotes, a "verdict"
// last; each thing a person needs also on standard error. Exit 0 when a keymap maps every
// press or stands clear of the rest, 1 when none matched, none stood out or no press came in
// time, 2 when it could not run (no receiver, no node to read, no keymap file, an unwritable
// standard output), 128 + a signal's number after one.
#pragma once

#include "terminal/modes.h"

#include <cstdio>
#include <string>
#include <vector>

namespace terminal {

struct IdentifyOptions : ModeOptions {
    unsigned presses = 5;
    unsigned timeoutMs = 30000;
    // --keymaps DIR, each given in turn; none given: /etc/rc_keymaps, /lib/udev/rc_keymaps.
    std::vector<std::string> roots;
};

// Reads "--presses N", "--timeout S", "--device DEVICE", "--keymaps DIR" (again for more
// folders, the first one given winning a name); an empty string, or why they are wrong.
std::string parseIdentifyOptions(const std::vector<std::string>& args, IdentifyOptions& options);

int runIdentify(const IdentifyOptions& options, std::FILE* out);

} // namespace terminal
