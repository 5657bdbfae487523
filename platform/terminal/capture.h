// The library's messages, caught on their way to standard error: the full-screen terminal
// would wipe them, so the front end shows them on its status line instead, and they are
// written to the real standard error again once the terminal is given back.
#pragma once

#include <string>
#include <vector>

namespace terminal {

class StderrCapture {
  public:
    StderrCapture();  // from here on, what goes to file descriptor 2 is caught
    ~StderrCapture(); // puts standard error back and writes out what was caught
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    std::vector<std::string> take(); // whole lines caught since the last call, without '\n'
    // Writes what is still waiting to the real standard error; safe in a signal handler.
    static void flushRaw();

  private:
    std::string m_partial;
    std::vector<std::string> m_all;
};

} // namespace terminal
