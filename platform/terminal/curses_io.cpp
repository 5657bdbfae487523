// ncurses: drawing cells, reading keys and mouse clicks, restoring the terminal.
#include "curses_io.h"

#include <csignal>
#include <cstdlib>
#include <curses.h>
#include <stdexcept>
#include <term.h>

namespace terminal {

namespace {

volatile std::sig_atomic_t g_active = 0;
volatile std::sig_atomic_t g_interrupted = 0;
void (*g_afterRestore)() = nullptr;

void restore() {
    if (g_active) {
        g_active = 0;
        endwin();
        if (g_afterRestore != nullptr)
            g_afterRestore();
    }
}

// Ctrl-C asks the program to close, as its close box would, so the library is freed; a
// second one, while a slow library keeps it from answering, ends the process at once.
void onInterrupt(int sig) {
    if (g_interrupted) {
        restore();
        std::signal(sig, SIG_DFL);
        std::raise(sig);
    }
    g_interrupted = 1;
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

// Gives the terminal back, then lets the signal do what it would have done.
void onSignal(int sig) {
    restore();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
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

CursesIo::CursesIo(void (*afterRestore)()) {
    checkTerminal();
    g_afterRestore = afterRestore;
    for (int sig : {SIGTERM, SIGHUP, SIGQUIT, SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL})
        std::signal(sig, onSignal);
    struct sigaction interrupt {};
    interrupt.sa_handler = onInterrupt; // no SA_RESTART: the wait for a key ends at once
    sigaction(SIGINT, &interrupt, nullptr);
    std::atexit(restore);
    set_escdelay(25); // Esc alone is told from Alt+key by this pause
    initscr();
    g_active = 1;
    cbreak(); // Ctrl-C stays a signal
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    curs_set(0);
    mousemask(BUTTON1_CLICKED | BUTTON1_RELEASED, nullptr);
    mouseinterval(0);
}

CursesIo::~CursesIo() {
    restore();
}

void CursesIo::size(int& cols, int& rows) {
    getmaxyx(stdscr, rows, cols);
}

void CursesIo::draw(const ScreenBuffer& screen) {
    for (int y = 0; y < screen.rows(); ++y) {
        for (int x = 0; x < screen.cols(); ++x) {
            const Cell& c = screen.at(x, y);
            if (c.continuation)
                continue;
            const wchar_t text[2] = {static_cast<wchar_t>(c.ch), 0};
            cchar_t cell;
            setcchar(&cell, text, cursesAttr(c.attr), 0, nullptr);
            mvadd_wch(y, x, &cell);
        }
    }
    refresh();
}

bool CursesIo::read(Key& key, int timeoutMs) {
    key = Key{};
    if (!g_interrupted) {
        timeout(timeoutMs);
        wint_t ch = 0;
        const int r = get_wch(&ch);
        if (!g_interrupted)
            return r != ERR && decode(r, ch, key);
    }
    key.kind = Key::Interrupt;
    return true;
}

bool CursesIo::decode(int r, wint_t ch, Key& key) {
    if (r == KEY_CODE_YES) {
        switch (ch) {
        case KEY_RESIZE:
            key.kind = Key::Resize;
            break;
        case KEY_BTAB:
            key.kind = Key::BackTab;
            break;
        case KEY_UP:
            key.kind = Key::Up;
            break;
        case KEY_DOWN:
            key.kind = Key::Down;
            break;
        case KEY_LEFT:
            key.kind = Key::Left;
            break;
        case KEY_RIGHT:
            key.kind = Key::Right;
            break;
        case KEY_ENTER:
            key.kind = Key::Enter;
            break;
        case KEY_MOUSE: {
            MEVENT event;
            if (getmouse(&event) == OK) {
                key.kind = Key::Click;
                key.x = event.x;
                key.y = event.y;
            }
            break;
        }
        default:
            if (ch == static_cast<wint_t>(KEY_F(10)))
                key.kind = Key::Menu;
            else if (ch == static_cast<wint_t>(KEY_F(52))) // F4 with Alt, in xterm's numbering
                key.kind = Key::AltF4;
            break;
        }
        return true;
    }
    switch (ch) {
    case 27: { // Esc, or Alt with the key that follows at once
        timeout(0);
        wint_t next = 0;
        const int n = get_wch(&next);
        if (n == OK && next == L' ')
            key.kind = Key::Menu;
        else if (n == KEY_CODE_YES && next == static_cast<wint_t>(KEY_F(4)))
            key.kind = Key::AltF4; // a terminal that sends Alt as an Esc before the key
        else {
            if (n == OK)
                unget_wch(static_cast<wchar_t>(next));
            else if (n == KEY_CODE_YES)
                ungetch(static_cast<int>(next));
            key.kind = Key::Escape;
        }
        break;
    }
    case L'\t':
        key.kind = Key::Tab;
        break;
    case L'\r':
    case L'\n':
        key.kind = Key::Enter;
        break;
    default:
        key.kind = Key::Char;
        key.ch = static_cast<char32_t>(ch);
        break;
    }
    return true;
}

} // namespace terminal
