// The press log's rows and their columns.
#include "terminal/presslog.h"

#include <cstdio>

namespace terminal {

namespace {

std::string flag(int value) {
    return value < 0 ? "-" : std::to_string(value);
}

} // namespace

void PressLog::add(LogRow row) {
    ++m_total;
    m_rows.push_back(std::move(row));
    if (m_rows.size() > kKept)
        m_rows.pop_front();
}

std::string PressLog::header() {
    char line[128];
    std::snprintf(line, sizeof line, "%5s %9s %10s  %-9s %-3s %-3s %-26s %s", "#", "time",
                  "scancode", "protocol", "rep", "tog", "key", "byte");
    return line;
}

// The byte in brackets was not shown: a later press of the same poll took its place.
std::string PressLog::format(const LogRow& row) {
    char scancode[24], byte[8], line[160];
    std::snprintf(scancode, sizeof scancode, "0x%llx",
                  static_cast<unsigned long long>(row.scancode));
    std::snprintf(byte, sizeof byte, row.shown ? " %02X" : "(%02X)", row.byte & 0xFF);
    std::snprintf(line, sizeof line, "%5u %7.1f s %10s  %-9s %-3s %-3s %-26s %s", row.number,
                  static_cast<double>(row.ms) / 1000.0, scancode, row.protocol.c_str(),
                  flag(row.repeat).c_str(), flag(row.toggle).c_str(), row.key.c_str(), byte);
    return line;
}

} // namespace terminal
