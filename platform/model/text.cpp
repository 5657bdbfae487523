// UTF-8, the one encoding of text that leaves the model: the view's texts and the record.
#include "platform/model/model.h"
#include "platform/utf8.h"

#include <algorithm>

namespace model {

namespace {

// The length of the sequence that starts with b, and the bits b contributes; 0 if b cannot
// start one.
} // namespace

std::u32string decodeUtf8(const std::string& s) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        const utf8::Read r = utf8::readAt(s.data() + i, s.size() - i);
        out += r.code >= 0 ? static_cast<char32_t>(r.code) : U'\uFFFD';
        i += r.bytes;
    }
    return out;
}

void appendUtf8(std::string& out, char32_t c) {
    utf8::append(out, c);
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
