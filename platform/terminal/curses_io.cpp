// ncurses: drawing cells, reading keys and mouse clicks, restoring the terminal.
#include "curses_io.h"

#include <csignal>
#include <cstdlib>
#include <curses.h>

namespace terminal {

namespace {

volatile std::sig_atomic_t g_active = 0;

void restore() {
    if (g_active) {
        g_active = 0;
        endwin();
    }
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

CursesIo::CursesIo() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL})
        std::signal(sig, onSignal);
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

CursesIo::~CursesIo() { restore(); }

void CursesIo::size(int& cols, int& rows) { getmaxyx(stdscr, rows, cols); }

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
    timeout(timeoutMs);
    wint_t ch = 0;
    const int r = get_wch(&ch);
    if (r == ERR)
        return false;
    key = Key{};
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
        else {
            if (n != ERR)
                unget_wch(static_cast<wchar_t>(next));
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
