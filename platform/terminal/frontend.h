// The terminal front end: shows the model's windows in a terminal and turns the keyboard,
// the mouse and the real clock into what the window system would give the program.
//
// It runs on the program's own thread, as the model's idle hook: whenever the program waits
// for input, the front end draws the screen, then waits for a key or for the next timer to
// fall due, without busy waiting.
#pragma once

#include "screen.h"

#include <chrono>

namespace terminal {

struct Key {
    enum Kind { None, Char, Tab, BackTab, Enter, Escape, Menu, Up, Down, Click, Resize };
    Kind kind = None;
    char32_t ch = 0; // Char
    int x = 0, y = 0; // Click, in cells
};

// The terminal itself: ncurses in the program, a script in the tests.
class Io {
  public:
    virtual ~Io() = default;
    virtual void size(int& cols, int& rows) = 0;
    virtual void draw(const ScreenBuffer& screen) = 0;
    virtual bool read(Key& key, int timeoutMs) = 0; // false when the time ran out
};

class FrontEnd {
  public:
    explicit FrontEnd(Io& io);
    void idle();               // the model's idle hook
    void handle(const Key& key); // one key or click, as input to the program
    void redraw();
    bool menuOpen() const { return m_menu.window != nullptr; }

  private:
    void openMenu(HWND window);
    void moveSelection(int delta);
    void choose();
    uint64_t elapsedMs() const;

    Io& m_io;
    OpenMenu m_menu; // its window is null while no menu is open
    std::chrono::steady_clock::time_point m_start;
};

} // namespace terminal
