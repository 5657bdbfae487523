// What the modes share (modes.h).
#include "terminal/modes.h"

#include <cstdlib>
#include <ctime>

namespace terminal {

uint64_t nowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<uint64_t>(t.tv_sec) * 1000u + static_cast<uint64_t>(t.tv_nsec) / 1000000u;
}

bool parseCount(const std::string& text, unsigned long max, unsigned long& value) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::strtoul(text.c_str(), nullptr, 10);
    return value >= 1 && value <= max;
}

std::string parsePressesOrTimeout(const std::string& name, const std::string* value,
                                  unsigned& presses, unsigned& timeoutMs) {
    const bool isPresses = name == "--presses";
    unsigned long number = 0;
    if (value == nullptr || !parseCount(*value, isPresses ? 100 : 3600, number))
        return name + " takes a whole number from 1 to " + (isPresses ? "100" : "3600 (seconds)");
    if (isPresses)
        presses = static_cast<unsigned>(number);
    else
        timeoutMs = static_cast<unsigned>(number * 1000);
    return "";
}

} // namespace terminal
