// A key as the front end takes it, and the terminal it comes from: what the key decoder, the
// front end and their tests share, without the model or the scene behind them.
#pragma once

#include "terminal/grid.h"

#include <cstdint>

namespace terminal {

struct Key {
    enum Kind {
        None,
        Char,
        Tab,
        BackTab,
        Enter,
        Escape,
        Menu,
        Up,
        Down,
        Left,
        Right,
        Click,
        Resize,
        AltF4,
        Interrupt // Ctrl-C, SIGTERM, SIGHUP, SIGQUIT: close the program as its close box would
    };
    Kind kind = None;
    char32_t ch = 0;  // Char
    int x = 0, y = 0; // Click, in cells
};

// The terminal itself, and the clock its reads wait by: ncurses and real time in the program,
// a script and virtual time in the tests.
class Io {
  public:
    virtual ~Io() = default;
    virtual void size(int& cols, int& rows) = 0;
    virtual void draw(const ScreenBuffer& screen) = 0;
    virtual bool read(Key& key, int timeoutMs) = 0; // false when the time ran out
    virtual uint64_t now() = 0;                     // milliseconds
};

} // namespace terminal
