// The simulated board: settings, the demo remote, and the three calls.
#include "board.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace rireruv {

namespace {

const unsigned kMaxDelayMs = 60000;

bool parseInt(const char* text, long min, long max, long& out) {
    if (text == nullptr || *text == 0)
        return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != 0 || v < min || v > max || std::isspace(static_cast<unsigned char>(*text)))
        return false;
    out = v;
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Parses RIRERUV_DATA into data; returns the reason it is malformed, or an empty string.
std::string parseData(const std::string& text, std::vector<int>& data) {
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == ',' || text[i] == '\t') {
            ++i;
            continue;
        }
        const size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != ',' && text[i] != '\t')
            ++i;
        const std::string token = text.substr(start, i - start);
        if (token == "-") {
            data.push_back(kNothing);
        } else if (token.size() == 2 && hexDigit(token[0]) >= 0 && hexDigit(token[1]) >= 0) {
            data.push_back(hexDigit(token[0]) * 16 + hexDigit(token[1]));
        } else {
            return "RIRERUV_DATA: token " + std::to_string(data.size() + 1) + ", \"" + token +
                   "\", is not a hex byte 00-FF or -";
        }
    }
    if (data.empty())
        return "RIRERUV_DATA: no tokens; give hex bytes 00-FF or - separated by spaces or commas";
    return "";
}

} // namespace

Settings readSettings(const std::function<const char*(const char*)>& lookup) {
    Settings s;
    std::string error;
    if (const char* status = lookup("RIRERUV_INIT_STATUS")) {
        long v = 0;
        if (parseInt(status, INT32_MIN, INT32_MAX, v))
            s.initStatus = static_cast<int>(v);
        else
            error = std::string("RIRERUV_INIT_STATUS: \"") + status +
                    "\" is not a decimal 32-bit integer";
    }
    if (const char* data = lookup("RIRERUV_DATA")) {
        s.demo = false;
        const std::string why = parseData(data, s.data);
        if (error.empty())
            error = why;
    }
    if (const char* delay = lookup("RIRERUV_DELAY_MS")) {
        long v = 0;
        if (parseInt(delay, 0, kMaxDelayMs, v))
            s.delayMs = static_cast<unsigned>(v);
        else if (error.empty())
            error = std::string("RIRERUV_DELAY_MS: \"") + delay + "\" is not a number of ms from 0 to " +
                    std::to_string(kMaxDelayMs);
    }
    if (const char* trace = lookup("RIRERUV_TRACE"))
        s.tracePath = trace;
    s.error = error;
    return s;
}

uint32_t DemoRemote::random() {
    // xorshift32: small, and the same sequence on every platform
    m_seed ^= m_seed << 13;
    m_seed ^= m_seed >> 17;
    m_seed ^= m_seed << 5;
    return m_seed;
}

int DemoRemote::next() {
    // Key codes of a typical TV remote: digits, channel and volume, mute, power.
    static const int kKeys[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09,
                                0x0A, 0x10, 0x11, 0x12, 0x13, 0x1A, 0x1F, 0x4C, 0xAB};
    if (m_left == 0) {
        if (m_key == 0) { // a press, held for 2 to 5 polls
            m_key = kKeys[random() % (sizeof kKeys / sizeof kKeys[0])];
            m_left = 2 + static_cast<int>(random() % 4);
        } else { // released, for 5 to 14 polls
            m_key = 0;
            m_left = 5 + static_cast<int>(random() % 10);
        }
    }
    --m_left;
    return m_key;
}

Board::Board(Settings settings) : m_settings(std::move(settings)) {}

void Board::trace(const std::string& line) const {
    if (m_settings.tracePath.empty())
        return;
    // Opened for each line, so a reader in another process sees every call as it happens.
    if (FILE* f = std::fopen(m_settings.tracePath.c_str(), "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

int Board::init() {
    if (!m_settings.error.empty()) {
        std::fprintf(stderr, "rireruv: %s\n", m_settings.error.c_str());
        std::fflush(stderr);
        trace("error " + m_settings.error);
        trace("ZELK_HWInit 8");
        return 8;
    }
    trace("ZELK_HWInit " + std::to_string(m_settings.initStatus));
    return m_settings.initStatus;
}

int Board::getRemoteData(unsigned char* pbyData) {
    if (m_settings.delayMs != 0)
        sleepMs(m_settings.delayMs);
    int value = kNothing;
    if (m_settings.demo)
        value = m_demo.next();
    else if (!m_settings.data.empty())
        value = m_settings.data[m_next++ % m_settings.data.size()];
    if (value == kNothing || pbyData == nullptr) {
        trace("ZELK_GetRemoteData -");
        return 1;
    }
    *pbyData = static_cast<unsigned char>(value);
    char hex[16];
    std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(value));
    trace(std::string("ZELK_GetRemoteData ") + hex);
    return 0;
}

int Board::free() {
    trace("ZELK_Free");
    return 0;
}

} // namespace rireruv
