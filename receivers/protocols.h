// A receiver's protocols file, /sys/class/rc/rcN/protocols: the decoders a receiver that decodes
// raw light has, which of them are on, and how to ask the kernel for a set.
//
// What the kernel takes (rc-main.c, parse_protocol_change): "+name" turns one on, "-name" off,
// and a plain name sets the whole set to that one alone, so "nec rc-5" is rc-5 only; "none" is
// the empty set; "lirc" is accepted and changes nothing. An impossible set is EINVAL. Read back,
// the file lists every decoder the receiver has, the enabled ones in brackets, whatever was
// written: so writing the set a file had gives back its bytes.
#pragma once

#include <string>
#include <vector>

namespace rireruv {

// The protocols file: "rc-5 jvc [nec] [lirc]", enabled ones in brackets.
struct ProtocolList {
    std::vector<std::string> available; // decoders one can enable, in the file's order
    std::vector<std::string> enabled;   // those of available in brackets
    bool lirc = false;                  // lirc is listed: a receiver that hands raw light on
    bool lircEnabled = false;           // "[lirc]"
};
ProtocolList parseProtocols(const std::string& text);

// What to write so that exactly these decoders are on: "none +nec +rc-5", or "none".
std::string protocolsRequest(const std::vector<std::string>& enabled);

// Every byte of a file as it is (a last line's spaces, a NUL, a CR included); false, with
// errno's reason, when it cannot be read.
bool readWhole(const std::string& path, std::string& text, std::string& why);
// A sysfs attribute (the protocols file, a module's parameter): its text without the trailing
// newline; false, with errno's reason, when it cannot be read.
bool readAttribute(const std::string& path, std::string& text, std::string& why);
// Writes request in one write(2), as the kernel takes an attribute; false with errno's reason
// ("Invalid argument": for protocols, a set the receiver cannot decode).
bool writeAttribute(const std::string& path, const std::string& request, std::string& why);

// The protocols file's name for a decoder variant a press names (rc_proto's kernel name):
// "nec-x" and "nec-32" are "nec", "rc-5x-20" is "rc-5", "sony-15" is "sony", "rc-6-mce" is "rc-6".
std::string protocolOfVariant(const std::string& variant);

} // namespace rireruv
