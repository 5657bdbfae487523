// Where the front end hears our library's notes (notes.h): presses become rows of the press
// log, and the hint stands in it until withdrawn. Only a build that links our library (the
// native verifier, its benchmark) uses this file.
#pragma once

#include "terminal/presslog.h"

struct RireruvPress;

namespace terminal {

// From now on the library's notes go to log; null stops them.
void listenToLibrary(PressLog* log);

// The row the log shows for a press: the key's name, or "not in rc-<map>" when the keymap does
// not map it, or "-" for a board without a keymap.
LogRow rowOf(const RireruvPress& press);

} // namespace terminal
