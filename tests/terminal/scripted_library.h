// A double of our library as the front end's listeners meet it (the check mode's lines, the
// press log): the three entries and the rest of notes.h, each entry telling the notes a script
// gives it. Every note is one the test wrote whole, so what a listener makes of it can be
// compared field by field; the real library's notes are the tally's tests' business.
#pragma once

#include "rireruv/notes.h"

#include <string>
#include <vector>

namespace scripted {

struct Note {
    int kind;
    const RireruvPress* press; // null for the kinds without one
    std::string text;
};

struct Script {
    int init = 0;                        // what ZELK_HWInit returns
    const RireruvBoard* board = nullptr; // what rireruv_board gives
    std::vector<Note> atInit, atFree;
    std::vector<std::vector<Note>> polls; // each ZELK_GetRemoteData's, in turn; then none
};

// The script the entries follow from now on, from its first poll.
void play(Script script);
// ZELK_Free's calls since play.
unsigned freed();

} // namespace scripted
