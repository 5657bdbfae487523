// Text that did not come from us (the library's messages and hint, the kernel's key names),
// made safe to show: a terminal takes control characters and escape sequences in it as
// commands, so each becomes a visible escape, and a message of any length is cut to a bound
// that says how long it was. Also the UTF-8 reading this and the key decoder share, byte by
// byte, since bytes that are not UTF-8 must be shown as what they are.
#pragma once

#include <cstddef>
#include <string>

namespace terminal {

const size_t kMaxShownBytes = 4096; // a message's bound, on the status line and after exit

// Control characters (C0, DEL, C1) and bytes that are not UTF-8 become \xHH (a C1 character
// \u0085); where the terminal cannot show UTF-8 (unicode false), every character beyond ASCII
// becomes \uHHHH. Past maxBytes the text is cut: "... (100072 bytes)".
std::string escapeText(const std::string& text, bool unicode, size_t maxBytes = kMaxShownBytes);

bool localeIsUtf8(); // the locale's characters (LC_CTYPE, as set up) are UTF-8

} // namespace terminal
