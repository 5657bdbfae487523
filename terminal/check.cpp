// The check mode: the library's notes (notes.h) turned into JSON lines, a poll every 200 ms.
#include "terminal/check.h"

#include "platform/model/model.h"
#include "rireruv/notes.h"
#include "platform/zelk.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace terminal {

namespace {

const unsigned kPeriodMs = 200; // the dialog's timer
const int kExitPass = 0, kExitTimeout = 1, kExitFailed = 2, kExitSignalled = 128;
const int kExitGone = 3; // only between the poll and the verdict: exits as kExitFailed
const int kSchema = 1;   // raised when a field changes meaning or goes; new fields keep it

volatile std::sig_atomic_t g_signal = 0;

// The first signal ends the check on its way out (the library freed, the verdict written); a
// second one, while a slow library call or a blocked write keeps it busy, ends it at once, as
// that signal would.
void onSignal(int signal) {
    if (g_signal == 0 && signal == SIGPIPE) {
        g_signal = signal; // the reader left: like any tool in a pipe, without a word
        return;
    }
    if (g_signal == 0) {
        g_signal = signal;
        static const char kEnding[] = "check: ending once the library's call returns (a second "
                                      "signal ends it at once)\n";
        const ssize_t said = write(STDERR_FILENO, kEnding, sizeof kEnding - 1);
        (void)said; // nothing to do in a handler if standard error is gone
        return;
    }
    if (signal == SIGPIPE)
        return; // every write after the reader left raises it: it is no second request
    std::signal(signal, SIG_DFL);
    raise(signal);
}

// Without SA_RESTART: a write blocked on a full pipe returns EINTR at the signal instead of
// waiting on for a reader that may never come.
void catchSignals() {
    struct sigaction action {};
    action.sa_handler = &onSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE})
        sigaction(sig, &action, nullptr);
}

// Lines wait until the start line is out, so that it is the first a script reads; a line that
// cannot be written stops the check (errno kept), since a verdict nobody can read is no pass.
struct Listener {
    std::FILE* out = nullptr;
    unsigned presses = 0;
    bool started = false;
    std::vector<std::string> early;
    int lost = 0;
    bool gone = false; // the receiver went away: no press will come

    void emit(const std::string& line) {
        if (!started)
            early.push_back(line);
        else
            write(line);
    }
    void write(const std::string& line) {
        if (lost != 0)
            return;
        errno = 0;
        if (std::fputs((line + "\n").c_str(), out) < 0 || std::fflush(out) != 0)
            lost = errno != 0 ? errno : EIO;
    }
};

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

std::string pressLine(const RireruvPress& p) {
    return "{\"event\":\"press\",\"number\":" + std::to_string(p.number) +
           ",\"ms\":" + std::to_string(p.msSinceRun) +
           ",\"kernel_us\":" + (p.timed != 0 ? std::to_string(p.kernelUs) : "null") +
           ",\"scancode\":" + std::to_string(p.scancode) + ",\"hex\":\"" + hexOf(p.scancode) +
           "\",\"protocol\":" + jsonString(p.protocol) + ",\"repeat\":" + flag(p.repeat) +
           ",\"toggle\":" + (p.toggle < 0 ? "null" : std::to_string(p.toggle)) +
           ",\"key\":" + (p.key != nullptr ? jsonString(p.key) : "null") +
           ",\"keymap\":" + jsonString(p.keymap) + ",\"byte\":" + std::to_string(p.byte) +
           ",\"shown\":" + flag(p.shown) + "}";
}

// A press's end: how many frames it had, how long it was held, and what told its end.
std::string releaseLine(const RireruvPress& p) {
    return "{\"event\":\"release\",\"number\":" + std::to_string(p.number) +
           ",\"scancode\":" + std::to_string(p.scancode) + ",\"hex\":\"" + hexOf(p.scancode) +
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
           ",\"scancode\":" + (coded ? std::to_string(p.scancode) : "null") +
           ",\"hex\":" + (coded ? "\"" + hexOf(p.scancode) + "\"" : "null") +
           ",\"protocol\":" + (coded ? jsonString(p.protocol) : "null") +
           ",\"text\":" + jsonString(text) + "}";
}

void onNote(void* context, int kind, const RireruvPress* press, const char* text) {
    auto* l = static_cast<Listener*>(context);
    if (kind == RIRERUV_NOTE_PRESS && press != nullptr) {
        ++l->presses;
        l->emit(pressLine(*press));
    } else if (kind == RIRERUV_NOTE_RELEASED && press != nullptr) {
        l->emit(releaseLine(*press));
    } else if (kind == RIRERUV_NOTE_MESSAGE || kind == RIRERUV_NOTE_HINT) {
        l->emit(std::string("{\"event\":\"") + (kind == RIRERUV_NOTE_HINT ? "hint" : "message") +
                "\",\"text\":" + jsonString(text != nullptr ? text : "") + "}");
    } else if (kind == RIRERUV_NOTE_HINT_WITHDRAWN) {
        l->emit("{\"event\":\"hint_withdrawn\"}");
    } else if (kind == RIRERUV_NOTE_GONE) {
        l->gone = true;
        l->emit("{\"event\":\"gone\",\"text\":" + jsonString(text != nullptr ? text : "") + "}");
    } else if (kind == RIRERUV_NOTE_LOST && press != nullptr) {
        l->emit(lostLine(*press, text != nullptr ? text : ""));
    }
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

// A pipe whose reader has gone says so (POLLERR) before anything is written to it: a check that
// waits for presses must not go on for nobody until its next line.
bool readerLeft(const Listener& l) {
    pollfd p{fileno(l.out), 0, 0};
    if (::poll(&p, 1, 0) != 1 || (p.revents & POLLERR) == 0)
        return false;
    g_signal = SIGPIPE; // as the next write would have raised it
    return true;
}

// Polls on the dialog's schedule, each poll due a period after the last was due, until the
// presses asked for, the timeout, a signal, or output that cannot be written.
int pollBoard(const CheckOptions& options, const Listener& l) {
    const uint64_t start = nowMs();
    for (uint64_t next = start; g_signal == 0 && l.lost == 0; next += kPeriodMs) {
        sleepUntil(next);
        if (g_signal != 0)
            break;
        unsigned char byte = 0;
        ZELK_GetRemoteData(&byte);
        if (l.lost != 0 || readerLeft(l))
            break;
        if (l.presses >= options.presses)
            return kExitPass;
        if (l.gone) // waiting out the timeout would call a lost card a silent remote
            return kExitGone;
        if (nowMs() - start >= options.timeoutMs)
            return kExitTimeout;
    }
    return kExitFailed; // the caller tells a signal from lost output
}

const char* verdictWord(int status) {
    switch (status) {
    case kExitPass:
        return "pass";
    case kExitTimeout:
        return "timeout";
    case kExitFailed:
        return "init_failed";
    case kExitGone:
        return "gone";
    default:
        return "interrupted";
    }
}

void verdict(Listener& l, int status, const CheckOptions& o, int init, const RireruvBoard* b) {
    const std::string board = b == nullptr ? "null" : jsonString(b->board);
    const std::string signal =
        g_signal != 0 ? jsonString(std::string("SIG") + sigabbrev_np(g_signal)) : "null";
    l.write("{\"event\":\"verdict\",\"verdict\":\"" + std::string(verdictWord(status)) +
            "\",\"status\":" + std::to_string(status) + ",\"presses\":" +
            std::to_string(l.presses) + ",\"asked\":" + std::to_string(o.presses) +
            ",\"timeout_ms\":" + std::to_string(o.timeoutMs) + ",\"init\":" + std::to_string(init) +
            ",\"board\":" + board + ",\"signal\":" + signal + "}");
}

bool closed(std::FILE* out) {
    return fcntl(fileno(out), F_GETFD) == -1 && errno == EBADF;
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
    // A closed standard output would be the number the library's first open takes: its lines
    // would go into the receiver's node.
    if (closed(out)) {
        std::fprintf(stderr,
                     "%s: standard output is closed; --check writes its lines and its "
                     "verdict there (give it a file or a pipe)\n",
                     options.program.c_str());
        return kExitFailed;
    }
    Listener l;
    l.out = out;
    rireruv_listen(&onNote, &l);
    catchSignals();
    const int init = ZELK_HWInit();
    const RireruvBoard* board = init != ZELK_INIT_FAILED ? rireruv_board() : nullptr;
    l.started = true;
    l.write(startLine(options, board, init));
    for (const std::string& line : l.early)
        l.write(line);
    int status = kExitFailed;
    if (init != ZELK_INIT_FAILED) {
        status = pollBoard(options, l);
        ZELK_Free();
    }
    rireruv_listen(nullptr, nullptr);
    if (g_signal != 0)
        status = kExitSignalled + g_signal;
    verdict(l, status, options, init, board);
    status = status == kExitGone ? kExitFailed : status;
    if (l.lost == EPIPE || g_signal == SIGPIPE)
        return kExitSignalled + SIGPIPE; // the reader left, as with any tool in a pipe: no word
    if (g_signal != 0)
        return status; // a write the signal cut short is no output lost
    if (l.lost != 0) {
        std::fprintf(stderr, "%s: --check could not write its output (%s): stopped%s; exit %d\n",
                     options.program.c_str(), std::strerror(l.lost),
                     init != ZELK_INIT_FAILED ? " and freed the library" : "", kExitFailed);
        return kExitFailed;
    }
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
