// The record of changes to the system and their undoing, in fixed arrays: a signal handler may
// not allocate, so what it writes back is laid out before the change is made.
#include "receivers/undo.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace rireruv {

namespace {

struct Entry {
    char path[4096];
    char bytes[1024];
    size_t size;
};

Entry g_entries[Undo::kEntries];
volatile std::sig_atomic_t g_count = 0;
volatile std::sig_atomic_t g_signal = 0;
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

// Async-signal-safe: open, write, close only.
bool writeBack(const Entry& e) {
    const int fd = open(e.path, O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool whole = write(fd, e.bytes, e.size) == static_cast<ssize_t>(e.size);
    return close(fd) == 0 && whole;
}

void onSignal(int sig) {
    if (g_signal == 0) {
        g_signal = sig;
        return;
    }
    for (int i = g_count - 1; i >= 0; --i)
        writeBack(g_entries[i]);
    g_count = 0;
    std::signal(sig, SIG_DFL);
    raise(sig);
}

void atExit() {
    Undo::instance().restore();
}

} // namespace

Undo& Undo::instance() {
    static Undo undo;
    return undo;
}

bool Undo::record(const std::string& path, const std::string& restoreWith, std::string& why) {
    const std::string bytes = restoreWith + "\n";
    if (g_count >= kEntries || path.size() >= sizeof g_entries[0].path ||
        bytes.size() > sizeof g_entries[0].bytes) {
        why = "too much to put back";
        return false;
    }
    Entry& e = g_entries[g_count];
    std::memcpy(e.path, path.c_str(), path.size() + 1);
    std::memcpy(e.bytes, bytes.data(), bytes.size());
    e.size = bytes.size();
    g_count = g_count + 1; // only now may a handler see it
    return true;
}

std::vector<std::string> Undo::restore() {
    std::vector<std::string> failed;
    for (int i = g_count - 1; i >= 0; --i) {
        if (!writeBack(g_entries[i]))
            failed.push_back(std::string(g_entries[i].path) + ": " + std::strerror(errno));
        g_count = i;
    }
    return failed;
}

void Undo::guard() {
    static bool guarded = false;
    if (guarded)
        return;
    guarded = true;
    for (int sig : kSignals)
        std::signal(sig, &onSignal);
    std::atexit(&atExit);
}

int Undo::ended() {
    return g_signal;
}

} // namespace rireruv
