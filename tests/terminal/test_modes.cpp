// The modes' shared reading of "--presses N" and "--timeout S": bounds, units, and a value
// missing at the end of the command line.
#include "terminal/modes.h"

#include <gtest/gtest.h>

namespace {

TEST(ModeOptions, PressesAndTimeoutTakeWholeNumbersInTheirBounds) {
    struct Case {
        const char* name;
        const char* value; // null: the option ends the command line
        const char* why;   // empty: taken
        unsigned presses, timeoutMs;
    };
    const Case cases[] = {
        {"--presses", "1", "", 1, 7},
        {"--presses", "100", "", 100, 7},
        {"--presses", "101", "--presses takes a whole number from 1 to 100", 9, 7},
        {"--presses", "0", "--presses takes a whole number from 1 to 100", 9, 7},
        {"--presses", nullptr, "--presses takes a whole number from 1 to 100", 9, 7},
        {"--timeout", "3600", "", 9, 3600000},
        {"--timeout", "3601", "--timeout takes a whole number from 1 to 3600 (seconds)", 9, 7},
        {"--timeout", "-5", "--timeout takes a whole number from 1 to 3600 (seconds)", 9, 7},
        {"--timeout", nullptr, "--timeout takes a whole number from 1 to 3600 (seconds)", 9, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + (c.value ? c.value : "(none)"));
        unsigned presses = 9, timeoutMs = 7;
        const std::string value = c.value ? c.value : "";
        EXPECT_EQ(
            terminal::parsePressesOrTimeout(c.name, c.value ? &value : nullptr, presses, timeoutMs),
            c.why);
        EXPECT_EQ(presses, c.presses);
        EXPECT_EQ(timeoutMs, c.timeoutMs);
    }
}

} // namespace
