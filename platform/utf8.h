// UTF-8, read and written once for every part: the library's escaping of outside text, the
// model's strings, and the terminal's keys and screen. RFC 3629's well-formed UTF-8 only: no
// overlong form, no surrogate, nothing past U+10FFFF, each of which would otherwise pass as a
// character and reach a terminal or a JSON reader as bytes that are not UTF-8.
#pragma once

#include <cstddef>
#include <string>

namespace utf8 {

// How many bytes a character that starts with lead takes: 1 for ASCII, 2-4, or 0 for a byte no
// character starts with (a continuation byte, C0, C1, F5-FF).
inline size_t lengthOf(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    return lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
}

struct Read {
    long code;    // the character, or -1 when the bytes are none
    size_t bytes; // what it takes; for none, the bytes of its start (at least 1), which a
                  // decoder replaces by one U+FFFD
};

// The character at the start of the size bytes at s (size > 0).
inline Read readAt(const char* s, size_t size) {
    const auto lead = static_cast<unsigned char>(s[0]);
    const size_t n = lengthOf(lead);
    if (n <= 1)
        return {n == 1 ? static_cast<long>(lead) : -1, 1};
    const unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    long code = lead & kLeadBits[n];
    size_t k = 1;
    for (; k < n && k < size; ++k) {
        const auto c = static_cast<unsigned char>(s[k]);
        if ((c & 0xC0) != 0x80)
            break;
        code = code << 6 | (c & 0x3F);
    }
    const long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool valid =
        k == n && code >= kSmallest[n] && code <= 0x10FFFF && !(code >= 0xD800 && code < 0xE000);
    return {valid ? code : -1, k};
}

// c as UTF-8; a surrogate or a code past U+10FFFF, no character, as U+FFFD.
inline void append(std::string& out, char32_t c) {
    if ((c >= 0xD800 && c < 0xE000) || c > 0x10FFFF)
        c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace utf8
