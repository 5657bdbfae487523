// test-rireruv --learn: a keymap for the remote in the person's hand, one press a key. It asks
// for each key by name (the receiver's keymap's keys, or those --keys lists), takes one press
// each (a key held or repeated is one press; a code already taken, or one of another protocol
// or address, is said at once and the key asked again), writes the keymap in rc_keymap(5) TOML
// with the remote's protocol and variant, and refuses a table whose keys all gave one code (the
// 0x0 of a receiver that does not tell keys apart). With --try S the learnt keys are loaded into
// the receiver (EVIOCSKEYCODE_V2) for S seconds, presses named as they come, and its table put
// back exactly on every way out (receivers/undo.h), unless --keep.
//
// JSON lines on standard output, as --check; exit 0 when a keymap was written, 1 when it was
// refused or nothing was pressed, 2 when it could not run, 128 + a signal's number after one.
#pragma once

#include "terminal/modes.h"

#include <cstdio>
#include <string>
#include <vector>

namespace terminal {

struct LearnOptions : ModeOptions {
    std::string out = "learnt.toml";
    std::string name = "learnt";   // the keymap's name inside the file
    std::vector<std::string> keys; // --keys K1,K2,...; empty: the receiver's keymap's keys
    bool free = false;             // --keys free: presses as they come, named afterwards
    unsigned keyTimeoutMs = 15000; // --timeout S: a key not pressed in S s is skipped
    unsigned tryMs = 0;            // --try S
    bool keep = false;             // --keep: the learnt keys stay loaded after --try
};

// Reads --out FILE, --name NAME, --keys K1,K2, --timeout S, --try S, --keep; "" or why not.
std::string parseLearnOptions(const std::vector<std::string>& args, LearnOptions& options);

int runLearn(const LearnOptions& options, std::FILE* out);

} // namespace terminal
