// The simulated board: settings, the demo remote, and the three calls.
#include "rireruv/sim/simulated_board.h"

#include "rireruv/report.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace rireruv {

namespace {

const unsigned kMaxDelayMs = 60000;
const size_t kQuotedPathMax = 120; // a file name is shown longer than a value, to say where
const size_t kBadTokensShown = 3;  // the first bad tokens quoted; the rest counted

bool isBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// Why text is not a decimal integer from min to max, or an empty string (and out is set).
// White space around the digits is refused with its own reason: strtol would skip a leading
// blank, and " 8" pasted from somewhere looks like 8 but is not what was meant to be typed.
std::string parseInt(const std::string& name, const std::string& text, long long min, long long max,
                     const std::string& what, long long& out) {
    const std::string head = name + ": " + quoted(text);
    if (text.empty())
        return head + " is empty; give " + what;
    if (isBlank(text.front()) || isBlank(text.back()))
        return head + " has white space around the number; give the digits alone";
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != 0 || v < min || v > max)
        return head + " is not " + what;
    out = v;
    return "";
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

// Any white space (a list pasted over several lines too) or a comma ends a token.
bool isSeparator(char c) {
    return c == ',' || isBlank(c);
}

std::string badTokensReason(const std::vector<std::string>& bad) {
    if (bad.size() == 1)
        return "RIRERUV_DATA: " + bad.front() + ", is not a hex byte 00-FF or -";
    std::string list;
    for (size_t i = 0; i < bad.size() && i < kBadTokensShown; ++i)
        list += (i == 0 ? "" : "; ") + bad[i];
    if (bad.size() > kBadTokensShown)
        list += "; and " + std::to_string(bad.size() - kBadTokensShown) + " more";
    return "RIRERUV_DATA: " + std::to_string(bad.size()) +
           " tokens are not hex bytes 00-FF or -: " + list;
}

// Parses RIRERUV_DATA into data; returns why it is malformed, or an empty string. Every bad
// token is counted, so fixing the first does not just reveal the next.
std::string parseData(const std::string& text, std::vector<int>& data) {
    std::vector<std::string> bad; // "token 2, \"GG\""
    size_t tokens = 0;
    for (size_t i = 0; i < text.size();) {
        if (isSeparator(text[i])) {
            ++i;
            continue;
        }
        const size_t start = i;
        while (i < text.size() && !isSeparator(text[i]))
            ++i;
        const std::string token = text.substr(start, i - start);
        ++tokens;
        if (token == "-")
            data.push_back(kNothing);
        else if (token.size() == 2 && hexDigit(token[0]) >= 0 && hexDigit(token[1]) >= 0)
            data.push_back(hexDigit(token[0]) * 16 + hexDigit(token[1]));
        else
            bad.push_back("token " + std::to_string(tokens) + ", " + quoted(token));
    }
    if (!bad.empty())
        return badTokensReason(bad);
    if (data.empty())
        return "RIRERUV_DATA: no tokens; give hex bytes 00-FF or - separated by spaces or commas";
    return "";
}

// A trace that cannot be written would lose every line without a word, so the file is
// opened (and created) once now: a missing folder, a folder or /proc is a reason, not a
// silence.
std::string checkTrace(const std::string& path) {
    if (path.empty())
        return "RIRERUV_TRACE: empty; give a file name, or leave it unset for no trace";
    const int err = traceOpenError(path);
    if (err != 0)
        return "RIRERUV_TRACE: cannot write to " + quoted(path, kQuotedPathMax) + ": " +
               std::strerror(err);
    return "";
}

} // namespace

// One block per variable, in a fixed order; each adds its reason and keeps reading, so one
// bad setting does not hide another.
Settings readSettings(const std::function<const char*(const char*)>& lookup) {
    Settings s;
    auto reject = [&s](const std::string& why) {
        if (!why.empty())
            s.errors.push_back(why);
    };
    if (const char* status = lookup("RIRERUV_INIT_STATUS")) {
        long long v = 0;
        reject(parseInt("RIRERUV_INIT_STATUS", status, INT32_MIN, INT32_MAX,
                        "a decimal 32-bit integer", v));
        s.initStatus = static_cast<int>(v);
    }
    if (const char* data = lookup("RIRERUV_DATA")) {
        s.demo = false;
        reject(parseData(data, s.data));
    }
    if (const char* delay = lookup("RIRERUV_DELAY_MS")) {
        long long v = 0;
        reject(parseInt("RIRERUV_DELAY_MS", delay, 0, kMaxDelayMs,
                        "a number of ms from 0 to " + std::to_string(kMaxDelayMs), v));
        s.delayMs = static_cast<unsigned>(v);
    }
    if (const char* trace = lookup("RIRERUV_TRACE")) {
        const std::string why = checkTrace(trace);
        reject(why);
        if (why.empty())
            s.tracePath = trace;
    }
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

Board::Board(Settings settings) : m_settings(std::move(settings)), m_trace(m_settings.tracePath) {}

void Board::trace(const std::string& line) const {
    m_trace.line(line);
}

int Board::init() {
    if (!m_settings.errors.empty())
        return failInit(m_trace, m_settings.errors);
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
