// Messages on standard error and the trace file, shared by the boards, and the escaping of text
// from outside that goes into them.
#include "rireruv/report.h"

#include "rireruv/system.h"
#include "rireruv/tally.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>

namespace rireruv {

void say(const std::string& message) {
    if (message.empty()) // nothing to say (the Windows library keeps no summary)
        return;
    const std::string text = bounded(message);
    std::fprintf(stderr, "rireruv: %s\n", text.c_str());
    std::fflush(stderr);
    alsoToDebugger("rireruv: " + text + "\n");
    tally().message(text);
}

int traceOpenError(const std::string& path) {
    // Nothing is written: the path is opened as a line would open it. A fifo nobody reads yet
    // fails that open (ENXIO), but takes lines once somebody does.
    const int err = appendToFile(path, "");
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
    const int err = appendToFile(m_state->path, bounded(text) + "\n");
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
