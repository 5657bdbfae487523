// Escaping and bounding text from outside for the terminal.
#include "terminal/escape.h"

#include <cstdio>
#include <cstring>
#include <langinfo.h>

namespace terminal {

namespace {

void appendEscape(std::string& out, const char* form, unsigned long code) {
    char buffer[32]; // a code point needs at most 8 digits; the compiler counts 16
    std::snprintf(buffer, sizeof buffer, form, code);
    out += buffer;
}

} // namespace

size_t utf8Length(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    return lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
}

long utf8Char(const char* s, size_t n) {
    const unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    long code = static_cast<unsigned char>(s[0]) & kLeadBits[n];
    for (size_t i = 1; i < n; ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if ((c & 0xC0) != 0x80)
            return -1;
        code = code << 6 | (c & 0x3F);
    }
    // UTF-8's shape alone is not enough (RFC 3629): an overlong form, a surrogate or a code
    // past U+10FFFF is no character, and would reach the terminal as bytes that are not UTF-8.
    const long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[n] || (code >= 0xD800 && code < 0xE000) || code > 0x10FFFF)
        return -1;
    return code;
}

std::string escapeText(const std::string& text, bool unicode, size_t maxBytes) {
    std::string out;
    size_t i = 0;
    while (i < text.size() && out.size() < maxBytes) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t n = lead < 0x80 ? 1 : utf8Length(lead);
        const long code = n > 0 && i + n <= text.size() ? utf8Char(text.data() + i, n) : -1;
        if (code < 0) {
            n = 1;
            appendEscape(out, "\\x%02lX", lead);
        } else if (code < 0x20 || code == 0x7F) {
            appendEscape(out, "\\x%02lX", static_cast<unsigned long>(code));
        } else if (code >= 0x80 && (code < 0xA0 || !unicode)) {
            appendEscape(out, "\\u%04lX", static_cast<unsigned long>(code));
        } else {
            out.append(text, i, n);
        }
        i += n;
    }
    if (i < text.size())
        out += "... (" + std::to_string(text.size()) + " bytes)";
    return out;
}

bool localeIsUtf8() {
    return std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
}

} // namespace terminal
