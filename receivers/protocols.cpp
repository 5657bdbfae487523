// Reading, parsing and writing a receiver's protocols file.
#include "receivers/protocols.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>

namespace rireruv {

ProtocolList parseProtocols(const std::string& text) {
    ProtocolList p;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        const bool on = word.size() > 2 && word.front() == '[' && word.back() == ']';
        const std::string name = on ? word.substr(1, word.size() - 2) : word;
        if (name == "lirc") {
            p.lirc = true;
            p.lircEnabled = on;
        } else if (name != "unknown" && name != "none" && name != "other") {
            p.available.push_back(name);
            if (on)
                p.enabled.push_back(name);
        }
    }
    return p;
}

std::string protocolsRequest(const std::vector<std::string>& enabled) {
    std::string request = "none";
    for (const std::string& name : enabled)
        request += " +" + name;
    return request;
}

bool readWhole(const std::string& path, std::string& text, std::string& why) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    text.clear();
    char buffer[8192];
    ssize_t got = 0;
    while ((got = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(got));
    const int err = errno;
    close(fd);
    if (got < 0)
        why = std::strerror(err);
    return got == 0;
}

bool readAttribute(const std::string& path, std::string& text, std::string& why) {
    if (!readWhole(path, text, why))
        return false;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return true;
}

bool writeAttribute(const std::string& path, const std::string& request, std::string& why) {
    // O_TRUNC for a plain file standing in for sysfs (a testbed's); sysfs ignores it.
    const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    const std::string line = request + "\n";
    const ssize_t put = write(fd, line.data(), line.size());
    const int err = errno;
    const bool closed = close(fd) == 0;
    if (put != static_cast<ssize_t>(line.size()) || !closed) {
        why = put < 0 ? std::strerror(err) : "written in part";
        return false;
    }
    return true;
}

std::string protocolOfVariant(const std::string& variant) {
    static const std::pair<const char*, const char*> kFamilies[] = {
        {"nec-x", "nec"},         {"nec-32", "nec"},      {"rc-5x-20", "rc-5"},
        {"sony-12", "sony"},      {"sony-15", "sony"},    {"sony-20", "sony"},
        {"rc-6-0", "rc-6"},       {"rc-6-6a-20", "rc-6"}, {"rc-6-6a-24", "rc-6"},
        {"rc-6-6a-32", "rc-6"},   {"rc-6-mce", "rc-6"},   {"mcir2-kbd", "mce_kbd"},
        {"mcir2-mse", "mce_kbd"}, {"rc-mm-12", "rc-mm"},  {"rc-mm-24", "rc-mm"},
        {"rc-mm-32", "rc-mm"}};
    for (const auto& [name, family] : kFamilies)
        if (variant == name)
            return family;
    return variant;
}

} // namespace rireruv
