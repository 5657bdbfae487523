// The check mode's JSON lines (documented in the README and the manual page): each event's
// fields, integers as numbers (a scancode past 2^53 null: hex has it), hex codes as strings,
// text escaped by jsonString (check.h).
#pragma once

#include "terminal/check.h"

#include <string>

struct RireruvPress;
struct RireruvBoard;

namespace terminal {

// The first line: the schema, the versions, the board and its receiver (null fields when the
// set-up failed: b null), and what was asked.
std::string startLine(const CheckOptions& o, const RireruvBoard* b, int init);
std::string pressLine(const RireruvPress& p);
// A press's end: its frames, how long it was held, and what told its end.
std::string releaseLine(const RireruvPress& p);
// An attempt that became no key: the layer it died in, what it was where that is known.
std::string lostLine(const RireruvPress& p, const std::string& text);

} // namespace terminal
