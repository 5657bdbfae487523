// ncurses for drawing; the keyboard and the mouse read from standard input; signals; restoring
// the terminal.
#include "terminal/curses_io.h"

#include "terminal/capture.h"
#include "terminal/escape.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <curses.h>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <term.h>
#include <unistd.h>

namespace terminal {

namespace {

volatile std::sig_atomic_t g_active = 0;
volatile std::sig_atomic_t g_ending = 0; // the signal that asked the program to end
volatile std::sig_atomic_t g_resized = 0;
void (*g_afterRestore)() = nullptr;
void (*g_whenKilled)() = nullptr;
struct sigaction g_ncursesStop {}; // ncurses' own Ctrl-Z handling, which this one wraps

// Mouse reports in SGR's form, whose numbers have no limit (X10's bytes stop at column 223),
// and pastes bracketed, so that pasted text is not taken for keys (keys.h).
const char kModesOn[] = "\x1b[?1000h\x1b[?1006h\x1b[?2004h";
const char kModesOff[] = "\x1b[?2004l\x1b[?1006l\x1b[?1000l";

void writeOut(const char* text, size_t size) {
    writeAll(STDOUT_FILENO, text, size);
}

void restore(void (*after)() = g_afterRestore) {
    if (g_active) {
        g_active = 0;
        writeOut(kModesOff, sizeof kModesOff - 1);
        endwin();
        if (after != nullptr)
            after();
    }
}

// The first asks the program to close, as its close box would, so the library is freed; a
// second, while a slow library keeps the program from reading, ends the process at once.
void onEnd(int sig) {
    if (g_ending != 0) {
        restore(g_whenKilled != nullptr ? g_whenKilled : g_afterRestore);
        std::signal(sig, SIG_DFL);
        std::raise(sig); // delivered as this handler returns
        return;
    }
    g_ending = sig;
}

void onResize(int /*sig*/) {
    g_resized = 1;
}

// Gives the terminal back, then lets the signal do what it would have done.
void onCrash(int sig) {
    restore();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

// Ctrl-Z: ncurses gives the terminal to the shell and takes it back; the modes set here are
// not its own, so they are turned off and on around it.
void onStop(int sig) {
    writeOut(kModesOff, sizeof kModesOff - 1);
    if (g_ncursesStop.sa_handler != SIG_DFL && g_ncursesStop.sa_handler != SIG_IGN &&
        g_ncursesStop.sa_handler != nullptr)
        g_ncursesStop.sa_handler(sig);
    writeOut(kModesOn, sizeof kModesOn - 1);
}

void handle(int sig, void (*handler)(int), struct sigaction* previous = nullptr) {
    struct sigaction action {};
    action.sa_handler = handler; // no SA_RESTART: a wait for input ends at once
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, previous);
}

// Whether the terminal TERM names can be drawn on: it must be known and move the cursor.
void checkTerminal() {
    const char* term = std::getenv("TERM");
    const std::string name = term != nullptr ? term : "";
    int error = 0;
    if (name.empty() || setupterm(nullptr, 1, &error) != OK)
        throw std::runtime_error(
            name.empty() ? "TERM is not set, so the kind of terminal is unknown"
                         : "the terminal type \"" + name + "\" is unknown (no terminfo entry)");
    const char* cup = tigetstr("cup");
    const bool canMove = cup != nullptr && cup != reinterpret_cast<char*>(-1);
    del_curterm(cur_term);
    if (!canMove)
        throw std::runtime_error("the terminal type \"" + name +
                                 "\" cannot move the cursor, so it cannot show the dialog");
}

void resizeToTerminal() {
    winsize ws{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_row > 0 && ws.ws_col > 0)
        resizeterm(ws.ws_row, ws.ws_col);
    clearok(curscr, TRUE);
}

attr_t cursesAttr(uint8_t a) {
    attr_t out = A_NORMAL;
    if (a & kReverse)
        out |= A_REVERSE;
    if (a & kBold)
        out |= A_BOLD;
    if (a & kDim)
        out |= A_DIM;
    if (a & kUnderline)
        out |= A_UNDERLINE;
    return out;
}

} // namespace

CursesIo::CursesIo(void (*afterRestore)(), void (*whenKilled)())
    : m_escapeDelayMs(escapeDelayMs(std::getenv("ESCDELAY"))), m_unicode(localeIsUtf8()),
      m_start(std::chrono::steady_clock::now()) {
    checkTerminal();
    g_afterRestore = afterRestore;
    g_whenKilled = whenKilled;
    for (int sig : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL})
        std::signal(sig, onCrash);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        handle(sig, onEnd); // before initscr, which then leaves them alone
    std::atexit([] { restore(); });
    initscr();
    handle(SIGWINCH, onResize); // in place of ncurses', whose flag only its own reading sees
    handle(SIGTSTP, onStop, &g_ncursesStop);
    g_active = 1;
    cbreak(); // Ctrl-C stays a signal
    noecho();
    nonl();
    typeahead(-1); // ncurses reads no input, so it must not hold back drawing for it either
    curs_set(0);
    writeOut(kModesOn, sizeof kModesOn - 1);
}

CursesIo::~CursesIo() {
    restore();
}

int CursesIo::endedBy() {
    return g_ending;
}

uint64_t CursesIo::now() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - m_start)
                                     .count());
}

void CursesIo::size(int& cols, int& rows) {
    getmaxyx(stdscr, rows, cols);
}

void CursesIo::draw(const ScreenBuffer& screen) {
    for (int y = 0; y < screen.rows(); ++y) {
        for (int x = 0; x < screen.cols(); ++x) {
            const char32_t shown = glyph(screen.at(x, y), m_unicode);
            if (shown == 0)
                continue;
            const wchar_t text[2] = {static_cast<wchar_t>(shown), 0};
            cchar_t cell;
            setcchar(&cell, text, cursesAttr(screen.at(x, y).attr), 0, nullptr);
            mvadd_wch(y, x, &cell);
        }
    }
    refresh();
}

CursesIo::Wait CursesIo::waitForBytes(int timeoutMs) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    const int ready = ::poll(&input, 1, timeoutMs);
    if (ready == 0)
        return Wait::TimedOut;
    if (ready < 0)
        return errno == EINTR ? Wait::Interrupted : Wait::Gone;
    char buffer[512];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return Wait::Interrupted;
    if (n <= 0)
        return Wait::Gone;
    std::vector<Key> keys;
    m_decoder.feed(std::string(buffer, static_cast<size_t>(n)), keys);
    m_keys.insert(m_keys.end(), keys.begin(), keys.end());
    m_decoderSince = now();
    return Wait::Bytes;
}

bool CursesIo::read(Key& key, int timeoutMs) {
    const uint64_t deadline = now() + static_cast<uint64_t>(std::max(timeoutMs, 0));
    while (g_ending == 0 && g_resized == 0 && m_keys.empty())
        if (!waitForKeys(deadline))
            return false;
    key = next();
    return true;
}

// Waits for bytes until the deadline, and false when it passes; or until the decoder's wait (for
// the rest of a sequence, or the watch for a late rest) is over, if that comes first. That wait
// counts from the decoder's last bytes, so a read that returns for a timer's tick meanwhile
// neither starts it again nor holds the tick back.
bool CursesIo::waitForKeys(uint64_t deadline) {
    int wait = m_decoder.patienceMs(m_escapeDelayMs);
    if (wait < 0)
        wait = m_decoder.lateRestMs();
    const uint64_t over = m_decoderSince + static_cast<uint64_t>(std::max(wait, 0));
    const uint64_t until = wait >= 0 ? std::min(deadline, over) : deadline;
    const uint64_t t = now();
    const Wait waited = waitForBytes(until > t ? static_cast<int>(until - t) : 0);
    if (waited == Wait::Gone && g_ending == 0)
        g_ending = SIGHUP; // the terminal is gone, as a hang-up says
    if (waited != Wait::TimedOut)
        return true;
    if (wait < 0 || now() < over)
        return now() < deadline;
    std::vector<Key> keys;
    m_decoder.expire(keys);
    m_keys.insert(m_keys.end(), keys.begin(), keys.end());
    m_decoderSince = now();
    return true;
}

Key CursesIo::next() {
    if (g_ending != 0)
        return Key{Key::Interrupt};
    if (g_resized != 0) {
        g_resized = 0;
        resizeToTerminal();
        return Key{Key::Resize};
    }
    const Key key = m_keys.front();
    m_keys.pop_front();
    return key;
}

} // namespace terminal
