// The press log's rows and their columns.
#include "terminal/presslog.h"

#include <cstdio>

namespace terminal {

namespace {

// "down", "down x14" while the key is held; "0.25s", "1.40s x14" once it is up ("up" after a
// single frame); "-" where the receiver gives no times (the simulated board).
std::string held(const LogRow& row) {
    if (!row.timed)
        return "-";
    char text[32];
    if (!row.released)
        std::snprintf(text, sizeof text, "down");
    else if (row.heldUs == 0) // one frame and silence: up, but for how long nobody can tell
        std::snprintf(text, sizeof text, "up");
    else
        std::snprintf(text, sizeof text, "%.2fs", static_cast<double>(row.heldUs) / 1e6);
    std::string out = text;
    if (row.frames > 1)
        out += " x" + std::to_string(row.frames);
    return out;
}

std::string flag(int value) {
    return value < 0 ? "-" : std::to_string(value);
}

} // namespace

void PressLog::add(LogRow row) {
    m_total += row.lost.empty() ? 1 : 0;
    if (row.timed && !m_haveFirst) {
        m_haveFirst = true;
        m_firstUs = row.kernelUs;
    }
    m_rows.push_back(std::move(row));
    if (m_rows.size() > kKept)
        m_rows.pop_front();
}

void PressLog::update(const LogRow& row) {
    for (auto r = m_rows.rbegin(); r != m_rows.rend(); ++r) {
        if (r->number == row.number) {
            *r = row;
            return;
        }
    }
}

std::string PressLog::header() {
    char line[128];
    std::snprintf(line, sizeof line, "%6s %8s %9s %-9s %-3s %-10s %-24s %s", "#", "seconds",
                  "scancode", "protocol", "tog", "held", "key", "byte");
    return line;
}

// The byte in brackets was not shown: a later press of the same poll took its place. The time
// is the kernel's, to the millisecond from the first press; the poll's since Start where the
// receiver gives none.
std::string PressLog::format(const LogRow& row) const {
    if (!row.lost.empty())
        return "- lost: " + row.lost;
    char scancode[24], byte[8], line[160];
    std::snprintf(scancode, sizeof scancode, "0x%llx",
                  static_cast<unsigned long long>(row.scancode));
    std::snprintf(byte, sizeof byte, row.shown ? " %02X" : "(%02X)", row.byte & 0xFF);
    const double seconds = row.timed && m_haveFirst && row.kernelUs >= m_firstUs
                               ? static_cast<double>(row.kernelUs - m_firstUs) / 1e6
                               : static_cast<double>(row.ms) / 1000.0;
    std::snprintf(line, sizeof line, "%6u %8.3f %9s %-9s %-3s %-10s %-24s %s", row.number, seconds,
                  scancode, row.protocol.c_str(), flag(row.toggle).c_str(), held(row).c_str(),
                  row.key.c_str(), byte);
    return line;
}

} // namespace terminal
