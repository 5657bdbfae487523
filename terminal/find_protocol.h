// test-rireruv --find-protocol: which protocol the remote in the person's hand speaks, on a
// receiver that decodes raw light in software (where the kernel decodes only the protocols
// enabled in /sys/class/rc/rcN/protocols, so a remote of another protocol gives nothing).
// It saves the protocols, enables every one the receiver has, reads presses from the lirc node
// (each names the protocol that decoded it), and puts the saved protocols back on every way out
// (receivers/undo.h). JSON lines on standard output, as --check; exit 0 when a protocol was
// found, 1 when no press came in time, 2 when it could not run (no such receiver, one that
// decodes in hardware, no permission to write its protocols: then nothing is changed), 128 + a
// signal's number after one.
#pragma once

#include "terminal/modes.h"

#include <cstdio>
#include <string>
#include <vector>

namespace terminal {

struct FindOptions : ModeOptions {
    unsigned presses = 3;
    unsigned timeoutMs = 30000;
};

// Reads "--presses N", "--timeout S"; an empty string, or why they are wrong.
std::string parseFindOptions(const std::vector<std::string>& args, FindOptions& options);

int runFindProtocol(const FindOptions& options, std::FILE* out);

} // namespace terminal
