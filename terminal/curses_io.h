// The terminal: ncurses (the wide-character build) draws the cells; the bytes typed are read
// and decoded here (keys.h), so that no sequence is left half-read. Building one takes the
// terminal over, or throws std::runtime_error saying why this terminal cannot be drawn on;
// destroying it, or any exit, crash signals included, gives it back.
//
// Ctrl-C, SIGTERM, SIGHUP and SIGQUIT, and the terminal going away, are read as Key::Interrupt:
// the program is closed as by its close box. A second one, while a slow library keeps the
// program from reading, ends the process at once.
#pragma once

#include "terminal/frontend.h"
#include "terminal/keys.h"

#include <chrono>
#include <deque>

namespace terminal {

class CursesIo : public Io {
  public:
    // afterRestore runs once the terminal is given back, even from a signal's handler; or, when
    // a second signal ends the process at once (a slow library call holds it), whenKilled does
    // in its place, from the handler.
    explicit CursesIo(void (*afterRestore)() = nullptr, void (*whenKilled)() = nullptr);
    ~CursesIo() override;
    CursesIo(const CursesIo&) = delete;
    CursesIo& operator=(const CursesIo&) = delete;
    void size(int& cols, int& rows) override;
    void draw(const ScreenBuffer& screen) override;
    bool read(Key& key, int timeoutMs) override;
    uint64_t now() override;
    // The signal that asked the program to end (SIGINT for Ctrl-C, SIGHUP when the terminal
    // went away), or 0.
    static int endedBy();

  private:
    enum class Wait { Bytes, TimedOut, Interrupted, Gone };
    Wait waitForBytes(int timeoutMs);
    bool waitForKeys(uint64_t deadline);
    Key next(); // what read() gives once there is something

    KeyDecoder m_decoder;
    int m_escapeDelayMs;         // ESCDELAY, as ncurses reads it
    uint64_t m_decoderSince = 0; // when the decoder last had bytes or expired: its wait's start
    std::deque<Key> m_keys;      // decoded, not yet read
    bool m_unicode;              // the locale can show what is beyond ASCII
    std::chrono::steady_clock::time_point m_start;
};

} // namespace terminal
