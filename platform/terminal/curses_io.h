// The terminal through ncurses (the wide-character build). Building one takes the terminal
// over, or throws std::runtime_error saying why this terminal cannot be drawn on; destroying
// it, or any exit, crash signals included, gives it back. Ctrl-C is read as Key::Interrupt.
#pragma once

#include "frontend.h"

#include <cwchar>

namespace terminal {

class CursesIo : public Io {
  public:
    // afterRestore runs once the terminal is given back, even from a crash signal's handler.
    explicit CursesIo(void (*afterRestore)() = nullptr);
    ~CursesIo() override;
    void size(int& cols, int& rows) override;
    void draw(const ScreenBuffer& screen) override;
    bool read(Key& key, int timeoutMs) override;

  private:
    static bool decode(int r, wint_t ch, Key& key);
};

} // namespace terminal
