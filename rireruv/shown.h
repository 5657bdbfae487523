// How text from outside the library (a setting, a sysfs name, an event device's name, a
// process's command) goes into a message or a trace line: escaped, so that no control byte can
// move a terminal's cursor or, with a newline, forge a line of the library's; and bounded, so
// that one message always fits a pipe whole. A file of its own, so that what knows receivers
// (receivers/) escapes as the library does without taking its messages and trace along.
#pragma once

#include <cstddef>
#include <string>

namespace rireruv {

const size_t kShownMax = 120; // bytes of a name or path shown in a message
const size_t kQuotedMax = 32; // bytes of a setting's bad value shown in a reason
// Bytes of one message or trace line, cut mark included: with "rireruv: " and the newline still
// under PIPE_BUF, so that each reaches a pipe whole or not at all.
const size_t kMessageMax = 4000;

// Text from outside as a message shows it: a backslash doubled; \n, \r, \t and \e for those
// bytes; \xNN for every other control byte, DEL, a C1 control and a byte that is not part of
// valid UTF-8; other UTF-8 as it is. Past max bytes it is cut at a character's start, with
// "... (N bytes)" giving the whole length.
std::string shown(const std::string& text, size_t max = kShownMax);

// A setting's value in double quotes, escaped as shown() escapes (a double quote too):
// "AAAA..."... (120000 bytes).
std::string quoted(const std::string& text, size_t max = kQuotedMax);

// A whole message made safe to write: any control byte or byte that is not UTF-8 that is left
// as \xNN, and cut to kMessageMax bytes. What shown() already escaped stays as it is.
std::string bounded(const std::string& message);

} // namespace rireruv
