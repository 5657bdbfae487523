// The check mode: the library's notes (notes.h) turned into JSON lines, a poll every 200 ms.
#include "terminal/check.h"

#include "platform/zelk.h"
#include "rireruv/notes.h"
#include "terminal/capture.h"
#include "terminal/check_lines.h"
#include "terminal/modes.h"

#include <atomic>
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
volatile std::sig_atomic_t g_midLine = 0; // a line is on its way to standard output
const char* g_program = "test-rireruv";

// The verdict's fields as they stand after the last poll (",\"presses\":3,...,\"board\":...")
// and the count a person reads ("3 of 5 presses"): replaced whole, one buffer while the other is
// read, so that a second signal's handler can write the verdict while a slow call holds the
// check.
struct Kept {
    char text[2][1024] = {};
    std::atomic<int> current{-1};
    void keep(const std::string& value) {
        const int next = current.load() == 0 ? 1 : 0;
        const size_t n = value.copy(text[next], sizeof text[next] - 1);
        text[next][n] = 0;
        current.store(next);
    }
    const char* get() const { return current.load() < 0 ? "" : text[current.load()]; }
} g_fields, g_count;

void put(int fd, const char* text) {
    writeAll(fd, text, std::strlen(text));
}

void putNumber(int fd, unsigned n) {
    char digits[12];
    size_t i = sizeof digits;
    do
        digits[--i] = static_cast<char>('0' + n % 10);
    while ((n /= 10) != 0);
    writeAll(fd, digits + i, sizeof digits - i);
}

// A second signal in a slow library call ends the check without ZELK_Free: what the library
// found so far and the verdict still reach standard error, and standard output too when a whole
// line can go there now. Only what a signal handler may call.
void sayAtOnce(int signal) {
    const char* summary = rireruv_summary_so_far();
    if (*summary != 0) {
        put(STDERR_FILENO, "rireruv: ");
        put(STDERR_FILENO, summary);
        put(STDERR_FILENO, "\n");
    }
    const unsigned status = kExitSignalled + static_cast<unsigned>(signal);
    put(STDERR_FILENO, g_program);
    put(STDERR_FILENO, " --check: verdict interrupted by SIG");
    put(STDERR_FILENO, sigabbrev_np(signal));
    put(STDERR_FILENO, " in a slow library call, ended at once without freeing it: ");
    put(STDERR_FILENO, g_count.get());
    put(STDERR_FILENO, "; exit ");
    putNumber(STDERR_FILENO, status);
    put(STDERR_FILENO, "\n");
    pollfd out{STDOUT_FILENO, POLLOUT, 0}; // room for a line: a pipe has PIPE_BUF bytes free
    if (g_midLine != 0 || ::poll(&out, 1, 0) != 1 || (out.revents & POLLOUT) == 0)
        return;
    put(STDOUT_FILENO, "{\"event\":\"verdict\",\"verdict\":\"interrupted\",\"status\":");
    putNumber(STDOUT_FILENO, status);
    put(STDOUT_FILENO, g_fields.get());
    put(STDOUT_FILENO, ",\"signal\":\"SIG");
    put(STDOUT_FILENO, sigabbrev_np(signal));
    put(STDOUT_FILENO, "\"}\n");
}

// The first signal ends the check on its way out (the library freed, the verdict written); a
// second one, while a slow library call or a blocked write keeps it busy, ends it at once, as
// that signal would, after saying what it can.
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
    sayAtOnce(signal);
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
        g_midLine = 1;
        if (std::fputs((line + "\n").c_str(), out) < 0 || std::fflush(out) != 0)
            lost = errno != 0 ? errno : EIO;
        g_midLine = lost != 0 ? 1 : 0; // what a failed write left may be half a line
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

// The verdict's fields between its status and its signal, and the count a person reads, kept
// after each poll for a second signal's handler.
void keepFields(const Listener& l, const CheckOptions& o, int init, const RireruvBoard* b) {
    g_fields.keep(
        ",\"presses\":" + std::to_string(l.presses) + ",\"asked\":" + std::to_string(o.presses) +
        ",\"timeout_ms\":" + std::to_string(o.timeoutMs) + ",\"init\":" + std::to_string(init) +
        ",\"board\":" + (b == nullptr ? "null" : jsonString(b->board)));
    g_count.keep(std::to_string(l.presses) + " of " + std::to_string(o.presses) + " presses");
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
int pollBoard(const CheckOptions& options, const Listener& l, int init, const RireruvBoard* board) {
    const uint64_t start = nowMs();
    for (uint64_t next = start; g_signal == 0 && l.lost == 0; next += kPeriodMs) {
        sleepUntil(next);
        if (g_signal != 0)
            break;
        unsigned char byte = 0;
        ZELK_GetRemoteData(&byte);
        keepFields(l, options, init, board);
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
// Interrupted, the verdict goes to standard error too: standard output may be what blocked.
void verdict(Listener& l, int status, const CheckOptions& o, int init, const RireruvBoard* b) {
    keepFields(l, o, init, b);
    const std::string signal =
        g_signal != 0 ? jsonString(std::string("SIG") + sigabbrev_np(g_signal)) : "null";
    const int exitStatus = status == kExitGone ? kExitFailed : status;
    l.write("{\"event\":\"verdict\",\"verdict\":\"" + std::string(verdictWord(status)) +
            "\",\"status\":" + std::to_string(exitStatus) + g_fields.get() +
            ",\"signal\":" + signal + "}");
    if (g_signal != 0)
        std::fprintf(stderr, "%s --check: verdict interrupted by SIG%s: %s; exit %d\n", g_program,
                     sigabbrev_np(g_signal), g_count.get(), exitStatus);
}

bool closed(std::FILE* out) {
    return fcntl(fileno(out), F_GETFD) == -1 && errno == EBADF;
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
        if (name == "--presses" && parseCount(text, 1000000, value))
            options.presses = static_cast<unsigned>(value);
        else if (name == "--timeout" && parseCount(text, 86400, value))
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
    g_program = options.program.c_str();
    rireruv_listen(&onNote, &l);
    catchSignals();
    const int init = ZELK_HWInit();
    const RireruvBoard* board = init != ZELK_INIT_FAILED ? rireruv_board() : nullptr;
    l.started = true;
    l.write(startLine(options, board, init));
    for (const std::string& line : l.early)
        l.write(line);
    keepFields(l, options, init, board); // for a second signal in the first, slow, poll
    int status = kExitFailed;
    if (init != ZELK_INIT_FAILED) {
        status = pollBoard(options, l, init, board);
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
