// The environment, read once when the library is first used: each variable checked, each
// bad one given a reason, and nothing read again afterwards.
#include "rireruv/settings.h"

#include "rireruv/report.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace rireruv {

namespace {

const unsigned kMaxDelayMs = 60000;
const size_t kBadTokensShown = 3; // the first bad tokens quoted; the rest counted

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
        return "RIRERUV_TRACE: cannot write to " + quoted(path, kShownMax) + ": " +
               std::strerror(err);
    return "";
}

// The name of the first simulated-board setting given, or an empty string.
std::string firstSimulatedSetting(const Lookup& lookup) {
    for (const char* name : {"RIRERUV_DATA", "RIRERUV_DELAY_MS", "RIRERUV_INIT_STATUS"})
        if (lookup(name) != nullptr)
            return name;
    return "";
}

// A simulated-board setting given together with a receiver makes no sense, so giving both is a
// malformed setting rather than one silently ignored.
std::string conflictWithDevice(const Lookup& lookup) {
    const std::string name = firstSimulatedSetting(lookup);
    if (name.empty())
        return "";
    return name +
           " is a setting of the simulated board and cannot go with RIRERUV_DEVICE; unset "
           "one of them (or RIRERUV_DEVICE=" +
           kSimulatedDevice + ")";
}

} // namespace

// One block per variable, in a fixed order; each adds its reason and keeps reading, so one
// bad setting does not hide another.
Settings readSettings(const Lookup& lookup) {
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
    const char* device = lookup("RIRERUV_DEVICE");
    if (device != nullptr && std::string(device) == kSimulatedDevice) {
        s.simulatedBecause = std::string("RIRERUV_DEVICE=") + kSimulatedDevice;
    } else if (device != nullptr) {
        s.receiver = true;
        s.device = device;
        const std::string conflict = conflictWithDevice(lookup);
        if (!conflict.empty())
            s.errors.insert(s.errors.begin(), conflict);
    } else {
        s.simulatedBecause = firstSimulatedSetting(lookup);
    }
    return s;
}

} // namespace rireruv
