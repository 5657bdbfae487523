// Text from outside the library made safe to say: escaped, bounded, and cut on a character.
#include "rireruv/shown.h"

#include "platform/utf8.h"

#include <cstdio>

namespace rireruv {

namespace {

// What a text's escaping leaves alone: shown() doubles backslashes (and quoted() escapes double
// quotes) so the text reads back unambiguously; the net over a whole message must not, since
// the names in it are escaped already.
struct Escaping {
    bool backslash;
    bool quote;
    bool named; // \n, \e, ... rather than \xNN
};

const Escaping kValue{true, false, true};
const Escaping kQuoted{true, true, true};
// \xNN alone: a byte shown() should have escaped and did not is told apart from one it did.
const Escaping kNet{false, false, false};

std::string hexByte(unsigned char c) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    return hex;
}

// The length of the well-formed UTF-8 character of two or more bytes at i, or 0.
size_t multibyteAt(const std::string& s, size_t i) {
    const utf8::Read r = utf8::readAt(s.data() + i, s.size() - i);
    return r.code >= 0x80 ? r.bytes : 0;
}

std::string namedEscape(unsigned char c) {
    switch (c) {
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\t':
        return "\\t";
    case 0x1B:
        return "\\e";
    default:
        return hexByte(c);
    }
}

std::string escapedAscii(unsigned char c, const Escaping& how) {
    if ((c == '\\' && how.backslash) || (c == '"' && how.quote))
        return std::string("\\") + static_cast<char>(c);
    if (c >= 0x20 && c < 0x7F)
        return std::string(1, static_cast<char>(c));
    return how.named ? namedEscape(c) : hexByte(c);
}

// The character at i as it is shown, and its length in text. A C1 control (U+0080-U+009F) is
// valid UTF-8 but some terminals obey it, so its bytes are escaped.
std::string escapedAt(const std::string& text, size_t i, const Escaping& how, size_t& length) {
    length = multibyteAt(text, i);
    const auto c = static_cast<unsigned char>(text[i]);
    if (length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0)
        return hexByte(c) + hexByte(static_cast<unsigned char>(text[i + 1]));
    if (length > 0)
        return text.substr(i, length);
    length = 1;
    return c < 0x80 ? escapedAscii(c, how) : hexByte(c);
}

// Escapes text until its next character would pass inputMax bytes of it or outputMax bytes of
// the result; done tells whether all of it went in.
std::string escaped(const std::string& text, const Escaping& how, size_t inputMax, size_t outputMax,
                    bool& done) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        size_t length = 0;
        const std::string piece = escapedAt(text, i, how, length);
        if (i + length > inputMax || out.size() + piece.size() > outputMax)
            break;
        out += piece;
        i += length;
    }
    done = i == text.size();
    return out;
}

std::string cutMark(size_t size) {
    return "... (" + std::to_string(size) + " bytes)";
}

std::string escapedValue(const std::string& text, size_t max, const Escaping& how,
                         const std::string& around) {
    bool done = false;
    const std::string out = escaped(text, how, max, std::string::npos, done);
    return around + out + around + (done ? "" : cutMark(text.size()));
}

} // namespace

std::string shown(const std::string& text, size_t max) {
    return escapedValue(text, max, kValue, "");
}

std::string quoted(const std::string& text, size_t max) {
    return escapedValue(text, max, kQuoted, "\"");
}

std::string bounded(const std::string& message) {
    bool done = false;
    std::string out = escaped(message, kNet, std::string::npos, kMessageMax, done);
    if (done)
        return out;
    const std::string mark = cutMark(message.size());
    return escaped(message, kNet, std::string::npos, kMessageMax - mark.size(), done) + mark;
}

} // namespace rireruv
