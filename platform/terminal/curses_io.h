// The terminal through ncurses (the wide-character build). Building one takes the terminal
// over; destroying it, or any exit, Ctrl-C and crash signals included, gives it back.
#pragma once

#include "frontend.h"

namespace terminal {

class CursesIo : public Io {
  public:
    CursesIo();
    ~CursesIo() override;
    void size(int& cols, int& rows) override;
    void draw(const ScreenBuffer& screen) override;
    bool read(Key& key, int timeoutMs) override;
};

} // namespace terminal
