// Wrapping text to the terminal's width (terminal/scene.h).
#include "terminal/scene.h"
#include "tests/support/bounded.h"

#include <gtest/gtest.h>

namespace {

// A character wider than the whole line (a Chinese one on a line of one cell, the status line
// of a terminal one column wide) cannot be cut: it once made the cut take nothing and start a
// new line, for ever.
TEST(WrapDeathTest, ACharacterWiderThanTheLineTakesALineOfItsOwn) {
    EXPECT_RETURNS(terminal::wrap(U"a 關 b", 1));
    if (HasFailure())
        return;
    EXPECT_EQ(terminal::wrap(U"a 關 b", 1), (std::vector<std::u32string>{U"a", U"關", U"b"}));
    EXPECT_EQ(terminal::wrap(U"x關關y", 1),
              (std::vector<std::u32string>{U"x", U"關", U"關", U"y"}));
    // Where it fits, a wide character is cut between, never in.
    EXPECT_EQ(terminal::wrap(U"關關關", 3), (std::vector<std::u32string>{U"關", U"關", U"關"}));
}

} // namespace
