// The model's UTF-16 to UTF-8, which every text of the view goes through.
#include "platform/model/model.h"

#include <gtest/gtest.h>

namespace {

const std::string kReplacement = "\xEF\xBF\xBD"; // U+FFFD in UTF-8

// A surrogate without its other half is not a character: it once came out as bytes that are
// not UTF-8, and a high one took the character after it along into a code point of its own.
TEST(Utf16, ALoneSurrogateIsAReplacementAndTheNextCharacterStays) {
    EXPECT_EQ(model::utf8(std::u16string{0xD800, u'A'}), kReplacement + "A");
    EXPECT_EQ(model::utf8(std::u16string{0xDBFF, 0x95DC}), kReplacement + "關");
    EXPECT_EQ(model::utf8(std::u16string{0xDC00, u'B'}), kReplacement + "B");
    EXPECT_EQ(model::utf8(std::u16string{u'C', 0xD800}), "C" + kReplacement);
    EXPECT_EQ(model::utf8(std::u16string{0xD800, 0xD800, 0xDC00}), kReplacement + "\U00010000");
    EXPECT_EQ(model::utf8(std::u16string{0xDC00, 0xD800}), kReplacement + kReplacement);
    // A pair is one character.
    EXPECT_EQ(model::utf8(std::u16string{0xD83D, 0xDE00}), "\U0001F600");
    EXPECT_EQ(model::utf8(std::u16string{0xDBFF, 0xDFFF}), "\U0010FFFF");
}

// What is no Unicode character (a surrogate, past U+10FFFF) has no UTF-8: it is written as
// the replacement character, so nothing that encodes can make bytes a reader refuses.
TEST(Utf8, WhatIsNoCharacterIsWrittenAsTheReplacement) {
    for (const char32_t c : {char32_t{0xD800}, char32_t{0xDFFF}, char32_t{0x110000},
                             char32_t{0x7FFFFFFF}, char32_t{0xFFFFFFFF}}) {
        std::string out;
        model::appendUtf8(out, c);
        EXPECT_EQ(out, kReplacement) << std::hex << static_cast<uint32_t>(c);
    }
    std::string out;
    for (const char32_t c : {U'\u007F', U'\u0080', U'\u07FF', U'\u0800', U'\uD7FF', U'\uE000',
                             U'\uFFFF', U'\U00010000', U'\U0010FFFF'})
        model::appendUtf8(out, c);
    EXPECT_EQ(out, "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF"
                   "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF");
}

} // namespace
