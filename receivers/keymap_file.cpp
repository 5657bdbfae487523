// rc_keymap(5) files, read and written (keymap_file.h).
#include "receivers/keymap_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace rireruv {

namespace {

std::string trimmed(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return "";
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// A value: a string in either quotes (no escapes in these files but \" and \\), or a bare
// word (a number, true, false). A comment after it is dropped. False when it is not one.
bool valueOf(const std::string& text, std::string& value) {
    const std::string s = trimmed(text);
    if (s.empty())
        return false;
    if (s[0] == '"' || s[0] == '\'') {
        value.clear();
        for (size_t i = 1; i < s.size(); ++i) {
            if (s[i] == s[0]) {
                const std::string rest = trimmed(s.substr(i + 1));
                return rest.empty() || rest[0] == '#';
            }
            if (s[0] == '"' && s[i] == '\\' && i + 1 < s.size())
                ++i;
            value += s[i];
        }
        return false; // no closing quote
    }
    value = trimmed(s.substr(0, s.find('#')));
    return !value.empty() && value.find_first_of(" \t\"'") == std::string::npos;
}

// A bare key of these files: letters, digits, _ and -.
bool bareKey(const std::string& key) {
    return !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
    });
}

// A TOML basic string: a backslash and a double quote escaped (the reader takes them back).
std::string quotedValue(const std::string& value) {
    std::string out = "\"";
    for (const char c : value)
        out += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    return out + "\"";
}

// "line 7: what", a refusal's words.
std::string onLine(int number, const std::string& what) {
    std::string text = "line " + std::to_string(number) + ": ";
    return text += what;
}

bool scancodeOf(const std::string& key, uint64_t& scancode) {
    if (key.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    scancode = std::strtoull(key.c_str(), &end, 0);
    return errno == 0 && *end == 0 && key[0] != '-';
}

} // namespace

bool parseKeymapFile(const std::string& text, KeymapFile& out, std::string& why) {
    out = KeymapFile();
    enum class In { Nothing, Protocol, Scancodes } in = In::Nothing;
    std::istringstream lines(text);
    std::string raw;
    for (int number = 1; std::getline(lines, raw); ++number) {
        const std::string line = trimmed(raw);
        if (line.empty() || line[0] == '#')
            continue;
        if (line == "[[protocols]]") {
            out.protocols.emplace_back();
            in = In::Protocol;
            continue;
        }
        if (line == "[protocols.scancodes]") {
            if (in == In::Nothing) {
                why = onLine(number, "[protocols.scancodes] before any [[protocols]]");
                return false;
            }
            in = In::Scancodes;
            continue;
        }
        if (line[0] == '[') {
            why = onLine(number, "a table rc_keymap files do not have: " + line);
            return false;
        }
        const size_t eq = line.find('=');
        std::string value;
        if (eq == std::string::npos || in == In::Nothing || !valueOf(line.substr(eq + 1), value)) {
            why = onLine(number, in == In::Nothing ? std::string("a key before any [[protocols]]")
                                                   : "not a key = value pair: " + line);
            return false;
        }
        std::string key = trimmed(line.substr(0, eq));
        if (key.size() >= 2 && (key[0] == '"' || key[0] == '\'') && key.back() == key[0])
            key = key.substr(1, key.size() - 2);
        const bool controls = std::any_of(value.begin(), value.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        });
        if (!bareKey(key) || controls) {
            why = onLine(number, controls ? std::string("a control character in a value")
                                          : "not a key: " + key);
            return false;
        }
        KeymapProtocol& p = out.protocols.back();
        if (in == In::Scancodes) {
            uint64_t scancode = 0;
            if (!scancodeOf(key, scancode)) {
                why = onLine(number, "not a scancode: " + key);
                return false;
            }
            p.scancodes.emplace_back(scancode, value);
        } else if (key == "name") {
            p.name = value;
        } else if (key == "protocol") {
            p.protocol = value;
        } else if (key == "variant") {
            p.variant = value;
        } else {
            p.params.emplace_back(key, value);
        }
    }
    if (out.protocols.empty()) {
        why = "no [[protocols]] table";
        return false;
    }
    return true;
}

bool readKeymapFile(const std::string& path, KeymapFile& out, std::string& why) {
    std::ifstream in(path);
    if (!in) {
        why = path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (parseKeymapFile(text.str(), out, why))
        return true;
    why = path + ": " + why;
    return false;
}

void keymapProtocolOf(const std::string& kernelName, std::string& protocol, std::string& variant) {
    static const struct {
        const char *kernel, *protocol, *variant;
    } kNames[] = {
        {"nec", "nec", "nec"},
        {"nec-x", "nec", "necx"},
        {"nec-32", "nec", "nec32"},
        {"rc-5", "rc5", "rc5"},
        {"rc-5x-20", "rc5", "rc5x_20"},
        {"rc-5-sz", "rc5", "rc5_sz"},
        {"rc-6-0", "rc6", "rc6_0"},
        {"rc-6-6a-20", "rc6", "rc6_6a_20"},
        {"rc-6-6a-24", "rc6", "rc6_6a_24"},
        {"rc-6-6a-32", "rc6", "rc6_6a_32"},
        {"rc-6-mce", "rc6", "rc6_mce"},
        {"sony-12", "sony", "sony12"},
        {"sony-15", "sony", "sony15"},
        {"sony-20", "sony", "sony20"},
        {"jvc", "jvc", ""},
        {"sanyo", "sanyo", ""},
        {"sharp", "sharp", ""},
        {"xmp", "xmp", ""},
        {"imon", "imon", ""},
        {"xbox-dvd", "xbox-dvd", ""},
        {"rc-mm-12", "rc-mm", "rc-mm-12"},
        {"rc-mm-24", "rc-mm", "rc-mm-24"},
        {"rc-mm-32", "rc-mm", "rc-mm-32"},
    };
    protocol = "unknown";
    variant.clear();
    for (const auto& n : kNames)
        if (kernelName == n.kernel) {
            protocol = n.protocol;
            variant = n.variant;
        }
}

std::string writeKeymapFile(const KeymapFile& file, const std::string& comment) {
    std::string out;
    if (!comment.empty())
        out += "# " + comment + "\n";
    for (const KeymapProtocol& p : file.protocols) {
        out += "[[protocols]]\n";
        if (!p.name.empty())
            out += "name = " + quotedValue(p.name) + "\n";
        out += "protocol = " + quotedValue(p.protocol.empty() ? "unknown" : p.protocol) + "\n";
        if (!p.variant.empty())
            out += "variant = " + quotedValue(p.variant) + "\n";
        for (const auto& [key, value] : p.params) {
            uint64_t number = 0;
            out += key + " = " + (scancodeOf(value, number) ? value : quotedValue(value)) + "\n";
        }
        out += "[protocols.scancodes]\n";
        std::vector<std::pair<uint64_t, std::string>> sorted = p.scancodes;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [scancode, key] : sorted) {
            char hex[24];
            std::snprintf(hex, sizeof hex, "0x%" PRIx64, scancode);
            out += std::string(hex) + " = " + quotedValue(key) + "\n";
        }
    }
    return out;
}

} // namespace rireruv
