// The presses of an evemu events file (card.events) as the tests and feed_card read them: its
// MSC_SCAN events, in order. Read here once, so that a test's expected presses and those
// feed_card writes to the card come from the file the same way.
#pragma once

#include "tests/support/files.h"

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace rccore_test {

struct TimedPress {
    double seconds; // as the file times it, from its start
    uint32_t scancode;
};

inline std::vector<TimedPress> timedPressesIn(const std::string& eventsFile) {
    std::vector<TimedPress> out;
    for (const std::string& line : linesOf(eventsFile)) {
        std::istringstream fields(line);
        std::string tag, type, code;
        double time = 0;
        long value = 0;
        if (fields >> tag >> time >> type >> code >> value && tag == "E:" && type == "0004" &&
            code == "0004")
            out.push_back({time, static_cast<uint32_t>(value)});
    }
    return out;
}

inline std::vector<uint32_t> scancodesIn(const std::string& eventsFile) {
    std::vector<uint32_t> out;
    for (const TimedPress& t : timedPressesIn(eventsFile))
        out.push_back(t.scancode);
    return out;
}

} // namespace rccore_test
