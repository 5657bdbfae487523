// Fuzz target: wrap(), which breaks the status line's messages, the hint and static texts into
// lines, at any width the terminal may have, 0, 1 and 2 among them. Beyond ending: no line is
// wider than the width (at 1, but for a character wider than that, alone on its line), no
// character is lost, added or moved (the status line finds where() a message goes on by that),
// and no line begins or ends with the space it was broken at.
#include "fuzz/check.h"
#include "platform/model/model.h"
#include "terminal/grid.h"

#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <vector>

namespace {

std::string shown(const std::u32string& text) {
    std::string out;
    for (const char32_t c : text)
        model::appendUtf8(out, c);
    return "\"" + fuzz::visible(out) + "\"";
}

std::u32string withoutBreaks(const std::u32string& text) {
    std::u32string out;
    for (const char32_t c : text)
        if (c != U' ' && c != U'\n')
            out += c;
    return out;
}

// The characters a line shows: with mnemonics, an '&' marks the next one ("&&" shows one).
size_t drawn(const std::u32string& line, bool mnemonics) {
    size_t n = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if (mnemonics && line[i] == U'&')
            ++i; // it marks the next character, which is drawn: "&&" draws an '&'
        n += i < line.size() ? 1 : 0;
    }
    return n;
}

// Texts of what wrap() has to weigh (spaces, line ends, wide characters, mnemonics), more
// often than bytes as UTF-8 would give them.
std::u32string fromAlphabet(const std::string& bytes) {
    static const char32_t kAlphabet[] = {U' ',      U'\n',     U'a',      U'b',      U'&',
                                         U'\u95DC', U'\u4E00', U'\uFFFD', U'\u00E9', U'\t'};
    std::u32string out;
    for (const char c : bytes)
        out += kAlphabet[static_cast<uint8_t>(c) % (sizeof kAlphabet / sizeof kAlphabet[0])];
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const int width =
        in.ConsumeBool() ? in.ConsumeIntegralInRange(-1, 4) : in.ConsumeIntegralInRange(5, 120);
    const bool mnemonics = in.ConsumeBool();
    const bool alphabet = in.ConsumeBool();
    const std::string bytes = in.ConsumeRemainingBytesAsString();
    const std::u32string text = alphabet ? fromAlphabet(bytes) : model::decodeUtf8(bytes);

    const std::vector<std::u32string> lines = terminal::wrap(text, width, mnemonics);
    // Made only for a report: made for every input, it would take a good part of the time.
    auto where = [&] {
        return "width " + std::to_string(width) + (mnemonics ? ", mnemonics, " : ", ") +
               shown(text);
    };
    FUZZ_REQUIRE(!lines.empty(), "wrap() gives a line at least", where());
    FUZZ_REQUIRE(lines.size() <= text.size() + 1, "wrap() gives no more lines than characters",
                 where());
    std::u32string joined;
    for (const std::u32string& line : lines) {
        const int cells = terminal::textWidth(line, mnemonics);
        FUZZ_REQUIRE(cells <= width || width < 1 || drawn(line, mnemonics) == 1,
                     "wrap()'s lines are at most the width, but for a character wider than it",
                     where() + ": " + shown(line));
        FUZZ_REQUIRE(width < 2 || cells <= width, "wrap()'s lines are at most the width from 2",
                     where() + ": " + shown(line));
        FUZZ_REQUIRE(line.find(U'\n') == std::u32string::npos, "a line holds no line end", where());
        FUZZ_REQUIRE(line.empty() || (line.front() != U' ' && line.back() != U' '),
                     "a line neither begins nor ends with a space", where() + ": " + shown(line));
        joined += line;
    }
    FUZZ_REQUIRE(withoutBreaks(joined) == withoutBreaks(text),
                 "wrap() keeps every character but the breaks, in order", where());
    return 0;
}
