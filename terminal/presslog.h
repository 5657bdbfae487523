// The press log: every press the library took, as the terminal front end shows it under the
// dialog, and the library's hint when nothing arrives. It keeps the newest rows only, so a
// session of any length costs the same memory.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

namespace terminal {

struct LogRow {
    unsigned number = 0;
    uint64_t ms = 0; // since Start, to the poll that took it
    uint64_t scancode = 0;
    std::string protocol = "-";
    int repeat = -1, toggle = -1; // -1: the receiver does not say
    std::string key;              // "KEY_POWER", "not in rc-x", "-"
    int byte = 0;
    bool shown = true;     // false: a later press of the same poll took its place in the dialog
    unsigned frames = 1;   // the first, and the repeats of the key held
    bool timed = false;    // kernelUs is the kernel's time of the first frame
    uint64_t kernelUs = 0; // ... and heldUs from there to its release or its last frame
    uint64_t heldUs = 0;
    bool released = false;
    std::string lost; // not a press: where an attempt that became no key died
};

class PressLog {
  public:
    static constexpr size_t kKept = 256;

    void add(LogRow row);
    // A row already added, with more frames or released; gone from the log, it is left out.
    void update(const LogRow& row);
    const std::deque<LogRow>& rows() const { return m_rows; }
    unsigned total() const { return m_total; }
    void setHint(std::string text) { m_hint = std::move(text); }
    const std::string& hint() const { return m_hint; } // empty: none standing

    static std::string header();
    // The time column counts from the first press the kernel timed.
    std::string format(const LogRow& row) const;

  private:
    std::deque<LogRow> m_rows;
    bool m_haveFirst = false;
    uint64_t m_firstUs = 0;
    unsigned m_total = 0;
    std::string m_hint;
};

} // namespace terminal
