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

} // namespace terminal
