// What the fuzz targets share: a broken invariant ends the run as a crash does, so libFuzzer
// keeps the input that broke it; and the properties every text shown to a person must have,
// checked here independently of the code under test (RFC 3629 for UTF-8).
#pragma once

// The invariant must hold. A macro, so that what describes a failure (the input made visible,
// which takes time) is made only when there is one: made for every check, it slowed a target
// to a few inputs a second.
#define FUZZ_REQUIRE(holds, ...)                                                                   \
    do {                                                                                           \
        if (!(holds))                                                                              \
            ::fuzz::fail(__VA_ARGS__);                                                             \
    } while (false)

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// Bytes as a C string literal would give them, so a report shows control bytes and non-UTF-8.
inline std::string visible(const std::string& bytes, size_t max = 300) {
    std::string out;
    for (size_t i = 0; i < bytes.size() && i < max; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return bytes.size() > max ? out + "... (" + std::to_string(bytes.size()) + " bytes)" : out;
}

// What broke an invariant is said, and the process aborts, which libFuzzer takes for a
// finding and keeps the input of.
[[noreturn]] inline void fail(const char* invariant, const std::string& detail = "") {
    std::fprintf(stderr, "\ninvariant broken: %s\n%s\n", invariant, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

// The length of the well-formed UTF-8 character at s[i], or 0: no overlong forms, no
// surrogates, nothing past U+10FFFF.
inline size_t utf8At(const std::string& s, size_t i) {
    auto byte = [&s](size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
    auto in = [](unsigned b, unsigned low, unsigned high) { return b >= low && b <= high; };
    const unsigned c = byte(i);
    if (c < 0x80)
        return i < s.size() ? 1 : 0;
    if (in(c, 0xC2, 0xDF))
        return in(byte(i + 1), 0x80, 0xBF) ? 2 : 0;
    if (in(c, 0xE0, 0xEF)) {
        const unsigned low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
        return in(byte(i + 1), low, high) && in(byte(i + 2), 0x80, 0xBF) ? 3 : 0;
    }
    if (in(c, 0xF0, 0xF4)) {
        const unsigned low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
        return in(byte(i + 1), low, high) && in(byte(i + 2), 0x80, 0xBF) &&
                       in(byte(i + 3), 0x80, 0xBF)
                   ? 4
                   : 0;
    }
    return 0;
}

inline bool validUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const size_t n = utf8At(s, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

// Text a terminal can be given as it is: UTF-8, and no character it would obey (C0 controls,
// DEL, C1 controls, which are U+0080-U+009F: C2 80 to C2 9F in UTF-8).
inline void requireSafe(const std::string& text, const char* what) {
    FUZZ_REQUIRE(validUtf8(text), what, "not UTF-8: \"" + visible(text) + "\"");
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool c1 =
            c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        FUZZ_REQUIRE(c >= 0x20 && c != 0x7F && !c1, what,
                     "a control character at byte " + std::to_string(i) + ": \"" + visible(text) +
                         "\"");
    }
}

} // namespace fuzz
