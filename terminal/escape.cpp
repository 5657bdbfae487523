// Escaping and bounding text from outside for the terminal.
#include "terminal/escape.h"

#include "platform/utf8.h"

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

std::string escapeText(const std::string& text, bool unicode, size_t maxBytes) {
    std::string out;
    size_t i = 0;
    while (i < text.size() && out.size() < maxBytes) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const utf8::Read r = utf8::readAt(text.data() + i, text.size() - i);
        size_t n = r.bytes;
        const long code = r.code;
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
