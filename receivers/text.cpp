// A receiver's words: why a node went, the kernel's protocol names, a press in the trace.
#include "receivers/read.h"

#include <cstdio>
#include <string>

namespace rireruv {

std::string goneBecause(const std::string& cause) {
    return "is gone (" + cause + ")";
}

std::string protocolName(int protocol) {
    // The kernel's own names (rc-main.c), in enum rc_proto order.
    static const char* const kNames[] = {
        "unknown",   "other",   "rc-5",       "rc-5x-20",   "rc-5-sz",    "jvc",      "sony-12",
        "sony-15",   "sony-20", "nec",        "nec-x",      "nec-32",     "sanyo",    "mcir2-kbd",
        "mcir2-mse", "rc-6-0",  "rc-6-6a-20", "rc-6-6a-24", "rc-6-6a-32", "rc-6-mce", "sharp",
        "xmp",       "cec",     "imon",       "rc-mm-12",   "rc-mm-24",   "rc-mm-32", "xbox-dvd"};
    if (protocol == kProtocolUnknown)
        return "-";
    if (protocol >= 0 && protocol < static_cast<int>(sizeof kNames / sizeof kNames[0]))
        return kNames[protocol];
    return std::to_string(protocol);
}

std::string pressLine(const Press& press) {
    const std::string scancode = hexCode(press.scancode);
    if (press.keyUp)
        return "keyup scancode=" + scancode;
    return "press scancode=" + scancode + " protocol=" + protocolName(press.protocol) +
           " repeat=" + (press.repeat ? "1" : "0");
}

std::string hexCode(uint64_t value, int digits) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*llx", digits, static_cast<unsigned long long>(value));
    return text;
}

} // namespace rireruv
