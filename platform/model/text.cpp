// UTF-8, the one encoding of text that leaves the model: the view's texts and the record.
#include "platform/model/model.h"

#include <algorithm>

namespace model {

namespace {

// The length of the sequence that starts with b, and the bits b contributes; 0 if b cannot
// start one.
size_t sequenceLength(uint8_t b, char32_t& bits) {
    if (b < 0x80)
        return bits = b, 1;
    if (b >= 0xC2 && b < 0xE0)
        return bits = b & 0x1F, 2;
    if (b >= 0xE0 && b < 0xF0)
        return bits = b & 0x0F, 3;
    if (b >= 0xF0 && b < 0xF5)
        return bits = b & 0x07, 4;
    return 0;
}

} // namespace

std::u32string decodeUtf8(const std::string& s) {
    static const char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        char32_t c = 0;
        const size_t n = sequenceLength(static_cast<uint8_t>(s[i]), c);
        size_t k = 1;
        for (; n != 0 && k < n && i + k < s.size(); ++k) {
            const auto b = static_cast<uint8_t>(s[i + k]);
            if ((b & 0xC0) != 0x80)
                break;
            c = (c << 6) | (b & 0x3F);
        }
        // Truncated, overlong, surrogate or out of range: one replacement for what was read.
        const bool valid =
            n != 0 && k == n && c >= kMinimum[n] && c <= 0x10FFFF && !(c >= 0xD800 && c < 0xE000);
        out += valid ? c : U'\uFFFD';
        i += std::max<size_t>(k, 1);
    }
    return out;
}

void appendUtf8(std::string& out, char32_t c) {
    if ((c >= 0xD800 && c < 0xE000) || c > 0x10FFFF) // no character, so no UTF-8 either
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

std::string utf8(const std::u16string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c < 0x80) { // the common case, every view of every step reads texts
            out += static_cast<char>(c);
            continue;
        }
        // A surrogate pair is one character; a surrogate without its other half is none and
        // becomes U+FFFD (appendUtf8), leaving whatever follows it to be read on its own.
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::string utf8(const std::u32string& s) {
    std::string out;
    out.reserve(s.size());
    for (char32_t c : s)
        appendUtf8(out, c);
    return out;
}

} // namespace model
