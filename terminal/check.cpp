// The check mode: the library's notes (notes.h) turned into JSON lines, a poll every 200 ms.
#include "terminal/check.h"

#include "platform/model/model.h"
#include "rireruv/notes.h"
#include "platform/zelk.h"

#include <csignal>
#include <cstdlib>
#include <ctime>

namespace terminal {

namespace {

const unsigned kPeriodMs = 200; // the dialog's timer
const int kExitPass = 0, kExitTimeout = 1, kExitInitFailed = 2, kExitInterrupted = 130;

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int /*signal*/) {
    g_stop = 1;
}

struct Listener {
    std::FILE* out;
    unsigned presses = 0;
};

std::string flag(int value) {
    return value < 0 ? "null" : value != 0 ? "true" : "false";
}

std::string pressLine(const RireruvPress& p) {
    char hex[24];
    std::snprintf(hex, sizeof hex, "0x%llx", p.scancode);
    return "{\"event\":\"press\",\"number\":" + std::to_string(p.number) +
           ",\"ms\":" + std::to_string(p.msSinceRun) +
           ",\"scancode\":" + std::to_string(p.scancode) + ",\"hex\":\"" + hex +
           "\",\"protocol\":" + jsonString(p.protocol) + ",\"repeat\":" + flag(p.repeat) +
           ",\"toggle\":" + (p.toggle < 0 ? "null" : std::to_string(p.toggle)) +
           ",\"key\":" + (p.key != nullptr ? jsonString(p.key) : "null") +
           ",\"keymap\":" + jsonString(p.keymap) + ",\"byte\":" + std::to_string(p.byte) +
           ",\"shown\":" + flag(p.shown) + "}";
}

void onNote(void* context, int kind, const RireruvPress* press, const char* text) {
    auto* l = static_cast<Listener*>(context);
    std::string line;
    if (kind == RIRERUV_NOTE_PRESS && press != nullptr) {
        ++l->presses;
        line = pressLine(*press);
    } else if (kind == RIRERUV_NOTE_MESSAGE || kind == RIRERUV_NOTE_HINT) {
        line = std::string("{\"event\":\"") + (kind == RIRERUV_NOTE_HINT ? "hint" : "message") +
               "\",\"text\":" + jsonString(text != nullptr ? text : "") + "}";
    } else if (kind == RIRERUV_NOTE_HINT_WITHDRAWN) {
        line = "{\"event\":\"hint withdrawn\"}";
    }
    if (!line.empty()) {
        std::fprintf(l->out, "%s\n", line.c_str());
        std::fflush(l->out);
    }
}

uint64_t nowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<uint64_t>(t.tv_sec) * 1000u + static_cast<uint64_t>(t.tv_nsec) / 1000000u;
}

void sleepUntil(uint64_t ms) {
    const uint64_t now = nowMs();
    if (ms <= now)
        return;
    timespec wait{static_cast<time_t>((ms - now) / 1000),
                  static_cast<long>((ms - now) % 1000) * 1000000L};
    nanosleep(&wait, nullptr); // a signal cuts it short, which is what Ctrl-C wants
}

// Polls on the dialog's schedule, each poll due a period after the last was due, until the
// presses asked for, the timeout, or a signal.
int poll(const CheckOptions& options, const Listener& l) {
    const uint64_t start = nowMs();
    for (uint64_t next = start; !g_stop; next += kPeriodMs) {
        sleepUntil(next);
        if (g_stop)
            break;
        unsigned char byte = 0;
        ZELK_GetRemoteData(&byte);
        if (l.presses >= options.presses)
            return kExitPass;
        if (nowMs() - start >= options.timeoutMs)
            return kExitTimeout;
    }
    return kExitInterrupted;
}

void verdict(std::FILE* out, int status, const Listener& l, const CheckOptions& o, int init) {
    static const char* const kWords[] = {"pass", "timeout", "init failed"};
    const char* word = status == kExitInterrupted ? "interrupted" : kWords[status];
    std::fprintf(out,
                 "{\"event\":\"verdict\",\"verdict\":\"%s\",\"status\":%d,\"presses\":%u,"
                 "\"asked\":%u,\"timeout_ms\":%u,\"init\":%d}\n",
                 word, status, l.presses, o.presses, o.timeoutMs, init);
    std::fflush(out);
}

bool parseNumber(const std::string& text, unsigned long max, unsigned long& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 9)
        return false;
    value = std::strtoul(text.c_str(), nullptr, 10);
    return value >= 1 && value <= max;
}

} // namespace

std::string parseCheckOptions(const std::vector<std::string>& args, CheckOptions& options) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name != "--presses" && name != "--timeout")
            return "\"" + name + "\" is not an option of --check (--presses N, --timeout S)";
        if (i + 1 == args.size())
            return name + " needs a number after it";
        unsigned long value = 0;
        const std::string& text = args[++i];
        if (name == "--presses" && parseNumber(text, 1000000, value))
            options.presses = static_cast<unsigned>(value);
        else if (name == "--timeout" && parseNumber(text, 86400, value))
            options.timeoutMs = static_cast<unsigned>(value * 1000);
        else
            return name + " takes a whole number from 1 to " +
                   (name == "--presses" ? "1000000" : "86400 (seconds)") + ", not \"" +
                   std::string(text).append("\"");
    }
    return "";
}

int runCheck(const CheckOptions& options, std::FILE* out) {
    Listener l{out};
    rireruv_listen(&onNote, &l);
    std::signal(SIGINT, &onSignal);
    std::signal(SIGTERM, &onSignal);
    const int init = ZELK_HWInit();
    int status = kExitInitFailed;
    if (init != ZELK_INIT_FAILED) {
        status = poll(options, l);
        ZELK_Free();
    }
    rireruv_listen(nullptr, nullptr);
    verdict(out, status, l, options, init);
    return status;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (char32_t c : model::decodeUtf8(text)) {
        if (c == U'"' || c == U'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            model::appendUtf8(out, c);
        }
    }
    return out + "\"";
}

} // namespace terminal
