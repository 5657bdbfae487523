// The check mode's JSON lines, one function an event: what a script reads, in one place.
#include "terminal/check_lines.h"

#include "platform/utf8.h"
#include "rireruv/notes.h"
#include "terminal/check.h"

#include <cstdio>
#include <string>

namespace terminal {

namespace {

const int kSchema = 1; // raised when a field changes meaning or goes; new fields keep it

std::string flag(int value) {
    return value < 0 ? "null" : value != 0 ? "true" : "false";
}

std::string text(const char* value) {
    return value != nullptr && *value != 0 ? jsonString(value) : "null";
}

std::string hexOf(unsigned long long value) {
    char hex[24];
    std::snprintf(hex, sizeof hex, "0x%llx", value);
    return hex;
}

// A JSON reader holds a number exactly up to 2^53 (a double): past that, a scancode is null
// rather than another number, and hex, a string, has it whole.
std::string scancodeNumber(unsigned long long value) {
    return value <= (1ULL << 53) ? std::to_string(value) : "null";
}

// "nec rc-5" as ["nec","rc-5"].
std::string jsonList(const char* words) {
    std::string list, word;
    for (const char* c = words; c != nullptr; ++c) {
        if (*c != ' ' && *c != 0) {
            word += *c;
            continue;
        }
        if (!word.empty())
            list += (list.empty() ? "" : ",") + jsonString(word);
        word.clear();
        if (*c == 0)
            break;
    }
    return "[" + list + "]";
}

// What a script needs before any press: the schema, the versions, the board and its receiver,
// and what was asked. The board fields are null when the set-up failed.
} // namespace

std::string pressLine(const RireruvPress& p) {
    return "{\"event\":\"press\",\"number\":" + std::to_string(p.number) +
           ",\"ms\":" + std::to_string(p.msSinceRun) +
           ",\"kernel_us\":" + (p.timed != 0 ? std::to_string(p.kernelUs) : "null") +
           ",\"scancode\":" + scancodeNumber(p.scancode) + ",\"hex\":\"" + hexOf(p.scancode) +
           "\",\"protocol\":" + jsonString(p.protocol) + ",\"repeat\":" + flag(p.repeat) +
           ",\"toggle\":" + (p.toggle < 0 ? "null" : std::to_string(p.toggle)) +
           ",\"key\":" + (p.key != nullptr ? jsonString(p.key) : "null") +
           ",\"keymap\":" + jsonString(p.keymap) + ",\"byte\":" + std::to_string(p.byte) +
           ",\"shown\":" + flag(p.shown) + "}";
}

// A press's end: how many frames it had, how long it was held, and what told its end.
std::string releaseLine(const RireruvPress& p) {
    return "{\"event\":\"release\",\"number\":" + std::to_string(p.number) +
           ",\"scancode\":" + scancodeNumber(p.scancode) + ",\"hex\":\"" + hexOf(p.scancode) +
           "\",\"frames\":" + std::to_string(p.frames) +
           ",\"held_us\":" + (p.timed != 0 ? std::to_string(p.heldUs) : "null") +
           ",\"kernel_us\":" + (p.timed != 0 ? std::to_string(p.kernelUs + p.heldUs) : "null") +
           ",\"by\":" + jsonString(p.releasedBy != nullptr ? p.releasedBy : "") + "}";
}

// An attempt that became no key: the layer it died in, what it was where that is known.
std::string lostLine(const RireruvPress& p, const std::string& text) {
    const bool coded = p.coded != 0;
    return "{\"event\":\"lost\",\"layer\":" + jsonString(p.layer) +
           ",\"ms\":" + std::to_string(p.msSinceRun) +
           ",\"scancode\":" + (coded ? scancodeNumber(p.scancode) : "null") +
           ",\"hex\":" + (coded ? "\"" + hexOf(p.scancode) + "\"" : "null") +
           ",\"protocol\":" + (coded ? jsonString(p.protocol) : "null") +
           ",\"text\":" + jsonString(text) + "}";
}

std::string startLine(const CheckOptions& o, const RireruvBoard* b, int init) {
    std::string line =
        "{\"event\":\"start\",\"schema\":" + std::to_string(kSchema) +
        ",\"program\":" + jsonString(o.program) + ",\"version\":" + jsonString(o.version) +
        ",\"library\":" + jsonString(rireruv_version()) + ",\"init\":" + std::to_string(init);
    const bool simulated = b != nullptr && std::string(b->board) == "simulated";
    if (b == nullptr)
        line += ",\"board\":null,\"simulated\":null,\"asked_by\":null";
    else
        line += ",\"board\":" + jsonString(b->board) + ",\"simulated\":" + flag(simulated) +
                ",\"asked_by\":" + text(b->asked);
    if (b == nullptr || simulated)
        line += ",\"receiver\":null,\"driver\":null,\"card\":null,\"node\":null,\"keymap\":"
                "null,\"decoder\":null,\"protocols\":null,\"available_protocols\":null,"
                "\"autorepeat_ms\":null";
    else
        line += ",\"receiver\":" + jsonString(b->board) + ",\"driver\":" + text(b->driver) +
                ",\"card\":" + text(b->card) + ",\"node\":" + text(b->node) +
                ",\"keymap\":" + text(b->keymap) + ",\"decoder\":" + text(b->decoder) +
                ",\"protocols\":" + jsonList(b->protocols) +
                ",\"available_protocols\":" + jsonList(b->available) + ",\"autorepeat_ms\":" +
                (b->repeatDelayMs < 0 ? std::string("null")
                                      : "[" + std::to_string(b->repeatDelayMs) + "," +
                                            std::to_string(b->repeatPeriodMs) + "]");
    return line + ",\"presses\":" + std::to_string(o.presses) +
           ",\"timeout_ms\":" + std::to_string(o.timeoutMs) + "}";
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const utf8::Read r = utf8::readAt(text.data() + i, text.size() - i);
        const char32_t c = r.code >= 0 ? static_cast<char32_t>(r.code) : U'\uFFFD';
        i += r.bytes;
        if (c == U'"' || c == U'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029) {
            // Controls, and the two separators that a line splitter (Python's splitlines, a
            // JavaScript before ES2019) would end a line at, though JSON takes them as they are.
            char escaped[12]; // \uXXXX; room for what the compiler cannot rule out
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            utf8::append(out, c);
        }
    }
    return out + "\"";
}

} // namespace terminal
