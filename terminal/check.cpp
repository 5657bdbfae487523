// The check mode: the library's notes (notes.h) turned into JSON lines, a poll every 200 ms.
#include "terminal/check.h"

#include "terminal/check_lines.h"

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

// The word tells a receiver gone from a failed set-up; the status is the exit status, 2 for both.
void verdict(Listener& l, int status, const CheckOptions& o, int init, const RireruvBoard* b) {
    const std::string board = b == nullptr ? "null" : jsonString(b->board);
    const std::string signal =
        g_signal != 0 ? jsonString(std::string("SIG") + sigabbrev_np(g_signal)) : "null";
    const int exitStatus = status == kExitGone ? kExitFailed : status;
    l.write("{\"event\":\"verdict\",\"verdict\":\"" + std::string(verdictWord(status)) +
            "\",\"status\":" + std::to_string(exitStatus) + ",\"presses\":" +
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

} // namespace terminal
