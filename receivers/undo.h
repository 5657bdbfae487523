// The changes a mode of the verifier makes to the system (a receiver's protocols, the keys of
// its keymap, and whatever comes next), each recorded before it is made and put back on every way
// out: the mode's end, an error, exit(), and SIGINT, SIGTERM, SIGHUP (a closed terminal, a dropped
// SSH connection), SIGQUIT and SIGPIPE. A change left behind would outlive the check that made it
// and break the very receiver it was checking, so this is written once and used by every mode.
//
// What callers rely on: record() before the change is made (a change that fails is still put
// back: the write may have half-happened); restore() is idempotent and returns what could not
// be put back; after guard(), the first of those signals only asks the mode to end (ended()
// says which), and the mode restores on its way out; a second one restores from the handler,
// with async-signal-safe calls alone, and ends the process as that signal would.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace rireruv {

class Undo {
  public:
    // The one record of the process: a signal handler has to find it.
    static Undo& instance();

    // Before writing path: what to write to put it back ("none +nec"). At most kEntries.
    bool record(const std::string& path, const std::string& restoreWith, std::string& why);
    // Before setting keys of the keymap of the event device at node: each scancode that will
    // change and the keycode it has now (0 where it maps none, which removes it again). At most
    // kKeys in all.
    bool recordKeys(const std::string& node,
                    const std::vector<std::pair<uint64_t, uint32_t>>& putBack, std::string& why);
    // Writes every recorded file back, the newest first, and forgets it; the paths that could
    // not be written back, each with why.
    std::vector<std::string> restore();
    // Forgets what is recorded without putting it back: the person keeps the change.
    void forget();
    // Installs the handlers; restore() also runs at exit.
    void guard();
    // The signal that asked the mode to end, or 0.
    static int ended();

    static const int kEntries = 8;
    static const int kKeys = 4096;

  private:
    Undo() = default;
};

} // namespace rireruv
