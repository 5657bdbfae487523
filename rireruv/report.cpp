// Messages on standard error and the trace file, shared by the boards, and the escaping of text
// from outside that goes into them.
#include "rireruv/report.h"

#include "rireruv/tally.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>

#ifndef _WIN32
#include <csignal>
#include <ctime>
#include <pthread.h>
#include <unistd.h>
#else
#include <windows.h>
#endif

namespace rireruv {

namespace {

// What a text's escaping leaves alone: shown() doubles backslashes (and quoted() escapes double
// quotes) so the text reads back unambiguously; the net over a whole message must not, since
// the names in it are escaped already.
struct Escaping {
    bool backslash;
    bool quote;
    bool named; // \n, \e, ... rather than \xNN
};

const Escaping kValue{true, false, true};
const Escaping kQuoted{true, true, true};
// \xNN alone: a byte shown() should have escaped and did not is told apart from one it did.
const Escaping kNet{false, false, false};

std::string hexByte(unsigned char c) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    return hex;
}

bool continuation(const std::string& s, size_t i, unsigned char low = 0x80,
                  unsigned char high = 0xBF) {
    if (i >= s.size())
        return false;
    const auto c = static_cast<unsigned char>(s[i]);
    return c >= low && c <= high;
}

// The length of the well-formed UTF-8 character of two or more bytes at i, or 0 (RFC 3629: no
// overlong forms, no surrogates, nothing past U+10FFFF).
size_t multibyteAt(const std::string& s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0xC2 && c <= 0xDF)
        return continuation(s, i + 1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        const unsigned char low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
        return continuation(s, i + 1, low, high) && continuation(s, i + 2) ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        const unsigned char low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
        return continuation(s, i + 1, low, high) && continuation(s, i + 2) && continuation(s, i + 3)
                   ? 4
                   : 0;
    }
    return 0;
}

std::string namedEscape(unsigned char c) {
    switch (c) {
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\t':
        return "\\t";
    case 0x1B:
        return "\\e";
    default:
        return hexByte(c);
    }
}

std::string escapedAscii(unsigned char c, const Escaping& how) {
    if ((c == '\\' && how.backslash) || (c == '"' && how.quote))
        return std::string("\\") + static_cast<char>(c);
    if (c >= 0x20 && c < 0x7F)
        return std::string(1, static_cast<char>(c));
    return how.named ? namedEscape(c) : hexByte(c);
}

// The character at i as it is shown, and its length in text. A C1 control (U+0080-U+009F) is
// valid UTF-8 but some terminals obey it, so its bytes are escaped.
std::string escapedAt(const std::string& text, size_t i, const Escaping& how, size_t& length) {
    length = multibyteAt(text, i);
    const auto c = static_cast<unsigned char>(text[i]);
    if (length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0)
        return hexByte(c) + hexByte(static_cast<unsigned char>(text[i + 1]));
    if (length > 0)
        return text.substr(i, length);
    length = 1;
    return c < 0x80 ? escapedAscii(c, how) : hexByte(c);
}

// Escapes text until its next character would pass inputMax bytes of it or outputMax bytes of
// the result; done tells whether all of it went in.
std::string escaped(const std::string& text, const Escaping& how, size_t inputMax, size_t outputMax,
                    bool& done) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        size_t length = 0;
        const std::string piece = escapedAt(text, i, how, length);
        if (i + length > inputMax || out.size() + piece.size() > outputMax)
            break;
        out += piece;
        i += length;
    }
    done = i == text.size();
    return out;
}

std::string cutMark(size_t size) {
    return "... (" + std::to_string(size) + " bytes)";
}

std::string escapedValue(const std::string& text, size_t max, const Escaping& how,
                         const std::string& around) {
    bool done = false;
    const std::string out = escaped(text, how, max, std::string::npos, done);
    return around + out + around + (done ? "" : cutMark(text.size()));
}

} // namespace

std::string shown(const std::string& text, size_t max) {
    return escapedValue(text, max, kValue, "");
}

std::string quoted(const std::string& text, size_t max) {
    return escapedValue(text, max, kQuoted, "\"");
}

std::string bounded(const std::string& message) {
    bool done = false;
    std::string out = escaped(message, kNet, std::string::npos, kMessageMax, done);
    if (done)
        return out;
    const std::string mark = cutMark(message.size());
    return escaped(message, kNet, std::string::npos, kMessageMax - mark.size(), done) + mark;
}

void say(const std::string& message) {
    if (message.empty()) // nothing to say (the Windows library keeps no summary)
        return;
    const std::string text = bounded(message);
    std::fprintf(stderr, "rireruv: %s\n", text.c_str());
    std::fflush(stderr);
#ifdef _WIN32
    // A GUI program's standard error goes nowhere: a debugger, or DebugView, shows this.
    OutputDebugStringA(("rireruv: " + text + "\n").c_str());
#endif
    tally().message(text);
}

#ifndef _WIN32
ssize_t writeWithoutSigpipe(int fd, const void* data, size_t size) {
    sigset_t pipeSignal, previous, pending;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    // One already pending was raised by somebody else's write: theirs to take, not ours.
    sigpending(&pending);
    const bool theirs = sigismember(&pending, SIGPIPE) == 1;
    ssize_t n = 0;
    do
        n = write(fd, data, size);
    while (n < 0 && errno == EINTR);
    const int err = errno;
    if (n < 0 && err == EPIPE && !theirs) {
        const timespec now{0, 0};
        sigtimedwait(&pipeSignal, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = err;
    return n;
}
#endif

namespace {

#ifndef _WIN32
// O_NONBLOCK: a fifo nobody reads fails at once (ENXIO) rather than waiting for a reader, and a
// full pipe fails (EAGAIN) rather than waiting for room.
int openToAppend(const std::string& path) {
    return open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
}

// Appends line; 0, or the errno of why it was not (all) written.
int append(const std::string& path, const std::string& line) {
    const int fd = openToAppend(path);
    if (fd < 0)
        return errno;
    int err = 0;
    for (size_t done = 0; done < line.size() && err == 0;) {
        const ssize_t n = writeWithoutSigpipe(fd, line.data() + done, line.size() - done);
        err = n > 0 ? 0 : n < 0 ? errno : EIO;
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    close(fd);
    return err;
}
#else
int append(const std::string& path, const std::string& line) {
    errno = 0;
    FILE* f = std::fopen(path.c_str(), "a");
    if (f == nullptr)
        return errno != 0 ? errno : EIO;
    const bool written = std::fputs(line.c_str(), f) >= 0;
    const bool closed = std::fclose(f) == 0;
    return written && closed ? 0 : errno != 0 ? errno : EIO;
}
#endif

} // namespace

int traceOpenError(const std::string& path) {
    // Nothing is written: the path is opened as a line would open it. A fifo nobody reads yet
    // fails that open (ENXIO), but takes lines once somebody does.
    const int err = append(path, "");
    return err == ENXIO ? 0 : err;
}

struct Trace::State {
    std::string path;
    bool stopped = false;
    bool saidNoReader = false;
    bool saidFull = false;
};

// One state a path, for the library's life: every copy of a trace of that path shares what was
// said and whether it stopped. (Not a shared_ptr: its run-time type support would treble the
// Windows stand-in's size.)
Trace::Trace(const std::string& path) {
    if (path.empty())
        return;
    static std::vector<std::unique_ptr<State>> states; // one path in use, a few in the tests
    for (const auto& state : states)
        if (state->path == path)
            m_state = state.get();
    if (m_state == nullptr) {
        states.push_back(std::unique_ptr<State>(new State{path}));
        m_state = states.back().get();
    }
}

void Trace::line(const std::string& text) const {
    if (m_state == nullptr || m_state->stopped)
        return;
    // Opened for each line, so a reader in another process sees every call as it happens, and
    // a file or folder removed meanwhile is noticed.
    const int err = append(m_state->path, bounded(text) + "\n");
    if (err != 0)
        lost(err);
}

void Trace::hwInit(int status) const {
    line("ZELK_HWInit " + std::to_string(status));
}

void Trace::remoteData(const unsigned char* written) const {
    char hex[8] = "-";
    if (written != nullptr)
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(*written));
    line(std::string("ZELK_GetRemoteData ") + hex);
}

void Trace::free() const {
    line("ZELK_Free");
}

// A fifo's reader may come back and a slow one catch up, so those losses are said once and
// tracing goes on; any other failure would lose every line from now on.
void Trace::lost(int err) const {
    State& s = *m_state;
    const std::string why = " (" + std::string(std::strerror(err)) + ")";
    if (err == ENXIO || err == EPIPE) {
        if (!s.saidNoReader)
            say("RIRERUV_TRACE: nobody reads the fifo " + shown(s.path) + why +
                "; its lines are lost until a reader opens it");
        s.saidNoReader = true;
    } else if (err == EAGAIN || err == EWOULDBLOCK) {
        if (!s.saidFull)
            say("RIRERUV_TRACE: the reader of " + shown(s.path) + " is not keeping up" + why +
                "; lines are lost while its pipe is full");
        s.saidFull = true;
    } else {
        s.stopped = true;
        say("RIRERUV_TRACE: cannot write " + shown(s.path) + why + "; tracing stops");
    }
}

int failInit(const Trace& trace, const std::vector<std::string>& reasons) {
    for (const std::string& reason : reasons) {
        say(reason);
        trace.line("error " + reason);
    }
    trace.hwInit(ZELK_INIT_FAILED);
    return ZELK_INIT_FAILED;
}

int failInit(const Trace& trace, const std::string& reason) {
    return failInit(trace, std::vector<std::string>{reason});
}

} // namespace rireruv
