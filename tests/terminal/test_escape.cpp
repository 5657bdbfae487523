// The terminal's escaping of text from outside, which must let only UTF-8 through.
#include "terminal/escape.h"

#include <gtest/gtest.h>

namespace {

// Bytes in UTF-8's shape that are no UTF-8 (RFC 3629: an encoded surrogate, an overlong form,
// a code past U+10FFFF) once went to the terminal as they were; they are shown as their bytes,
// as every other byte that is not UTF-8.
TEST(EscapeText, BytesShapedAsUtf8ThatAreNoneAreShownAsBytes) {
    EXPECT_EQ(terminal::escapeText("a\xED\xA0\x80"
                                   "b",
                                   true),
              "a\\xED\\xA0\\x80b");
    EXPECT_EQ(terminal::escapeText("\xE0\x81\x81", true), "\\xE0\\x81\\x81");
    EXPECT_EQ(terminal::escapeText("\xC1\xBF", true), "\\xC1\\xBF");
    EXPECT_EQ(terminal::escapeText("\xF0\x8F\xBF\xBF", true), "\\xF0\\x8F\\xBF\\xBF");
    EXPECT_EQ(terminal::escapeText("\xF4\x90\x80\x80", false), "\\xF4\\x90\\x80\\x80");
    // Their neighbours are characters, and stay as they are.
    const std::string characters = "\xED\x9F\xBF\xEE\x80\x80\xE0\xA0\x80\xF0\x90\x80\x80"
                                   "\xF4\x8F\xBF\xBF";
    EXPECT_EQ(terminal::escapeText(characters, true), characters);
}

} // namespace
