// How a board talks to people and to the trace: messages on standard error as lines beginning
// "rireruv: " (the terminal front end shows them on its status line), and trace lines; and how
// text from outside the library goes into them.
//
// Why text from outside is escaped: a setting, a sysfs name, an event device's name or a
// process's command reach a terminal through these lines, and a control byte in one could move
// the cursor, recolour the screen or, with a newline, forge a "rireruv: board:" line. Why every
// message is bounded: the terminal front end drains standard error from a pipe on the thread
// that calls the library, so one message larger than the pipe would never be written.
#pragma once

#include "rireruv/exports.h"
#include "rireruv/shown.h"

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

namespace rireruv {

// Writes "rireruv: <message>" (bounded) on standard error and flushes it, so a reader of the
// pipe sees it before the call returns; on Windows also to the debugger (OutputDebugString),
// where a GUI program's user can read it. An empty message is not said.
void say(const std::string& message);

// Appends lines to the RIRERUV_TRACE file; an empty path traces nothing. A line never blocks:
// a fifo is opened without waiting for a reader and written without waiting for room. A line
// that cannot be written is said once for each cause; one that never will be (a full disc, the
// folder gone) stops the trace. Copies share that state.
class Trace {
  public:
    explicit Trace(const std::string& path = "");
    void line(const std::string& text) const;
    // The lines of the three calls, the same whichever board answered them: "ZELK_HWInit 0",
    // "ZELK_GetRemoteData 1F" (or "-" when nothing was written), "ZELK_Free".
    void hwInit(int status) const;
    void remoteData(const unsigned char* written) const;
    void free() const;

  private:
    struct State;
    void lost(int err) const;
    State* m_state = nullptr;
};

// 0 when path can take trace lines (a fifo nobody reads yet can, once somebody does), otherwise
// the errno of why not; it is created if missing. Never waits.
int traceOpenError(const std::string& path);

// The failure of ZELK_HWInit: each reason said and traced, then the status traced; returns
// ZELK_INIT_FAILED.
int failInit(const Trace& trace, const std::vector<std::string>& reasons);
int failInit(const Trace& trace, const std::string& reason);

} // namespace rireruv
