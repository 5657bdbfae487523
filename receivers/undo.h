// The changes a mode of the verifier makes to the system (a receiver's protocols, and whatever
// comes next), each recorded before it is made and put back on every way out: the mode's end,
// an error, exit(), and SIGINT, SIGTERM, SIGHUP (a closed terminal, a dropped SSH connection),
// SIGQUIT and SIGPIPE. A change left behind would outlive the check that made it and break the
// very receiver it was checking, so this is written once and used by every mode.
//
// What callers rely on: record() before the change is made (a change that fails is still put
// back: the write may have half-happened); restore() is idempotent and returns what could not
// be put back; after guard(), the first of those signals only asks the mode to end (ended()
// says which), and the mode restores on its way out; a second one restores from the handler,
// with async-signal-safe calls alone, and ends the process as that signal would.
#pragma once

#include <csignal>
#include <string>
#include <vector>

namespace rireruv {

class Undo {
  public:
    // The one record of the process: a signal handler has to find it.
    static Undo& instance();

    // Before writing path: what to write to put it back ("none +nec"). At most kEntries.
    bool record(const std::string& path, const std::string& restoreWith, std::string& why);
    // Writes every recorded file back, the newest first, and forgets it; the paths that could
    // not be written back, each with why.
    std::vector<std::string> restore();
    // Installs the handlers; restore() also runs at exit.
    void guard();
    // The signal that asked the mode to end, or 0.
    static int ended();

    static const int kEntries = 8;

  private:
    Undo() = default;
};

} // namespace rireruv
