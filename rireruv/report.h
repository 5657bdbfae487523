// How a board talks to people and to the trace: messages on standard error as lines beginning
// "rireruv: " (the terminal front end shows them on its status line), and trace lines.
#pragma once

#include <string>
#include <vector>

namespace rireruv {

// Writes "rireruv: <message>" on standard error and flushes it, so a reader of the pipe sees
// it before the call returns.
void say(const std::string& message);

// Appends lines to the RIRERUV_TRACE file; an empty path traces nothing.
class Trace {
  public:
    explicit Trace(std::string path = "") : m_path(std::move(path)) {}
    void line(const std::string& text) const;

  private:
    std::string m_path;
};

// The failure of ZELK_HWInit: each reason said and traced, then the status traced; returns 8.
int failInit(const Trace& trace, const std::vector<std::string>& reasons);
int failInit(const Trace& trace, const std::string& reason);

} // namespace rireruv
