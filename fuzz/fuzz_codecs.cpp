// Fuzz target: the text codecs. The model's UTF-8 decoder and encoders, and the escaping that
// makes text from outside safe to show (the library's shown/quoted/bounded, the terminal's
// escapeText). Beyond not crashing: what is decoded is characters, what is encoded and escaped
// is UTF-8 without a character a terminal obeys, valid UTF-8 comes back as it went in, and an
// escaped value reads back as the bytes it came from.
#include "fuzz/check.h"
#include "platform/model/model.h"
#include "rireruv/report.h"
#include "terminal/escape.h"

#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

namespace {

using fuzz::requireSafe;
using fuzz::visible;

std::string encoded(const std::u32string& text) {
    std::string out;
    for (const char32_t c : text)
        model::appendUtf8(out, c);
    return out;
}

void decoding(const std::string& bytes) {
    const std::u32string text = model::decodeUtf8(bytes);
    FUZZ_REQUIRE(text.size() <= bytes.size(), "decodeUtf8 gives no more characters than bytes");
    for (const char32_t c : text)
        FUZZ_REQUIRE(c <= 0x10FFFF && (c < 0xD800 || c >= 0xE000), "decodeUtf8 gives characters",
                     "U+" + std::to_string(static_cast<uint32_t>(c)) + " from \"" + visible(bytes) +
                         "\"");
    const std::string again = encoded(text);
    FUZZ_REQUIRE(fuzz::validUtf8(again), "appendUtf8 writes UTF-8", visible(again));
    FUZZ_REQUIRE(model::decodeUtf8(again) == text, "decoding what was encoded gives it back");
    if (fuzz::validUtf8(bytes))
        FUZZ_REQUIRE(again == bytes, "valid UTF-8 round-trips through decodeUtf8 and appendUtf8",
                     "\"" + visible(bytes) + "\" came back as \"" + visible(again) + "\"");
}

// Whatever the 32 bits, one character of UTF-8: itself, or U+FFFD when it is none.
void encodingAnyValue(char32_t c) {
    std::string out;
    model::appendUtf8(out, c);
    FUZZ_REQUIRE(fuzz::utf8At(out, 0) == out.size(), "appendUtf8 writes one UTF-8 character",
                 std::to_string(static_cast<uint32_t>(c)) + " gave \"" + visible(out) + "\"");
    const bool character = c <= 0x10FFFF && (c < 0xD800 || c >= 0xE000);
    FUZZ_REQUIRE(model::decodeUtf8(out) == std::u32string(1, character ? c : U'\uFFFD'),
                 "appendUtf8 writes the character, or U+FFFD for what is none");
}

// UTF-16 as the resources hold it, with what a pair and a lone surrogate must become.
void fromUtf16(const std::u16string& units) {
    std::u32string expected;
    for (size_t i = 0; i < units.size(); ++i) {
        const char32_t u = units[i];
        const bool high = u >= 0xD800 && u < 0xDC00;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
            expected +=
                static_cast<char32_t>(0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else {
            expected += u >= 0xD800 && u < 0xE000 ? U'\uFFFD' : u;
        }
    }
    const std::string out = model::utf8(units);
    FUZZ_REQUIRE(fuzz::validUtf8(out), "utf8() of UTF-16 is UTF-8", visible(out));
    FUZZ_REQUIRE(model::decodeUtf8(out) == expected,
                 "utf8() keeps every character, a lone surrogate U+FFFD", visible(out));
}

// The bytes shown() or quoted() stood for: every escape they write read back.
std::string unescaped(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        FUZZ_REQUIRE(i + 1 < text.size(), "an escape is whole", visible(text));
        const char e = text[++i];
        if (e == 'x') {
            FUZZ_REQUIRE(i + 2 < text.size(), "\\x has two digits", visible(text));
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            const std::string from = "nrte\\\"", to = "\n\r\t\x1b\\\"";
            const size_t k = from.find(e);
            FUZZ_REQUIRE(k != std::string::npos,
                         "an escape is one of \\n \\r \\t \\e \\\\ \\\" \\xNN", visible(text));
            out += to[k];
        }
    }
    return out;
}

// shown() and quoted(): whole, a value reads back as it was; cut, it is bounded by its own
// measure.
void values(const std::string& text, size_t max) {
    const std::string whole = rireruv::shown(text, text.size());
    requireSafe(whole, "shown() is safe to show");
    FUZZ_REQUIRE(unescaped(whole) == text, "shown() reads back as the text", visible(whole));
    FUZZ_REQUIRE(rireruv::bounded(whole) == whole || whole.size() > rireruv::kMessageMax,
                 "bounded() leaves what shown() made as it is", visible(whole));
    const std::string cut = rireruv::shown(text, max);
    requireSafe(cut, "shown() cut is safe to show");
    const std::string mark = "... (" + std::to_string(text.size()) + " bytes)";
    FUZZ_REQUIRE(cut.size() <= 4 * max + mark.size(), "shown() is bounded", visible(cut));

    const std::string q = rireruv::quoted(text, text.size());
    requireSafe(q, "quoted() is safe to show");
    FUZZ_REQUIRE(q.size() >= 2 && q.front() == '"' && q.back() == '"', "quoted() is in quotes");
    FUZZ_REQUIRE(unescaped(q.substr(1, q.size() - 2)) == text, "quoted() reads back as the text");
}

// bounded(): a whole message, safe and within its bound, which it leaves as it is.
void message(const std::string& text) {
    const std::string b = rireruv::bounded(text);
    requireSafe(b, "bounded() is safe to show");
    FUZZ_REQUIRE(b.size() <= rireruv::kMessageMax, "bounded() is at most kMessageMax bytes",
                 std::to_string(b.size()));
    FUZZ_REQUIRE(rireruv::bounded(b) == b, "bounded() leaves what it made as it is", visible(b));
}

// The terminal's escapeText(): safe, ASCII where the locale has no UTF-8, bounded, and text
// that needs nothing left as it is.
void terminalText(const std::string& text, size_t max, bool unicode) {
    const std::string e = terminal::escapeText(text, unicode, max);
    requireSafe(e, "escapeText() is safe to show");
    if (!unicode)
        for (const char c : e)
            FUZZ_REQUIRE(static_cast<unsigned char>(c) < 0x80,
                         "escapeText() without UTF-8 is ASCII", visible(e));
    const std::string mark = "... (" + std::to_string(text.size()) + " bytes)";
    FUZZ_REQUIRE(e.size() <= max + 16 + mark.size(), "escapeText() is bounded", visible(e));
    bool plain = fuzz::validUtf8(text) && text.size() <= max;
    for (size_t i = 0; plain && i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        plain = c >= 0x20 && c != 0x7F && (unicode || c < 0x80) &&
                !(c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0);
    }
    if (plain)
        FUZZ_REQUIRE(e == text, "escapeText() leaves text that needs nothing as it is", visible(e));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const bool unicode = in.ConsumeBool();
    const size_t max = in.ConsumeIntegralInRange<size_t>(0, 200);
    // Past a message's bound, which inputs seldom reach: now and then, and only what has a
    // bound, as that takes a while.
    if (in.ConsumeIntegralInRange(0, 15) == 0) {
        std::string text = in.ConsumeRemainingBytesAsString();
        while (!text.empty() && text.size() <= terminal::kMaxShownBytes + 8)
            text += text;
        message(text);
        terminalText(text, terminal::kMaxShownBytes, unicode);
        return 0;
    }
    const std::string text = in.ConsumeRemainingBytesAsString();
    decoding(text);
    values(text, max);
    message(text);
    terminalText(text, max, unicode);
    std::u16string units;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        units += static_cast<char16_t>(static_cast<uint8_t>(text[i]) |
                                       static_cast<uint8_t>(text[i + 1]) << 8);
    fromUtf16(units);
    for (size_t i = 0; i + 3 < text.size() && i < 64; i += 4)
        encodingAnyValue(static_cast<char32_t>(static_cast<uint8_t>(text[i])) |
                         static_cast<char32_t>(static_cast<uint8_t>(text[i + 1])) << 8 |
                         static_cast<char32_t>(static_cast<uint8_t>(text[i + 2])) << 16 |
                         static_cast<char32_t>(static_cast<uint8_t>(text[i + 3])) << 24);
    return 0;
}
