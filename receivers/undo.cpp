// The record of changes to the system and their undoing, in fixed arrays: a signal handler may
// not allocate, so what it writes back is laid out before the change is made.
#include "receivers/undo.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace rireruv {

namespace {

// A file to write back (keys == 0), or keys of an event device's keymap to set back.
struct Entry {
    char path[4096];
    char bytes[1024];
    size_t size;
    int firstKey, keys;
};

struct Key {
    uint64_t scancode;
    uint32_t keycode;
};

Entry g_entries[Undo::kEntries];
Key g_keys[Undo::kKeys];
int g_keyCount = 0;
volatile std::sig_atomic_t g_count = 0;
volatile std::sig_atomic_t g_signal = 0;
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

// Async-signal-safe: open, ioctl, close only. The newest key first, as the file entries go.
bool setBack(const Entry& e) {
    const int fd = open(e.path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool all = true;
    for (int i = e.firstKey + e.keys - 1; i >= e.firstKey; --i) {
        input_keymap_entry entry{};
        entry.keycode = g_keys[i].keycode;
        const uint64_t scancode = g_keys[i].scancode;
        const auto narrow = static_cast<uint32_t>(scancode);
        entry.len = scancode > UINT32_MAX ? sizeof scancode : sizeof narrow;
        std::memcpy(entry.scancode,
                    scancode > UINT32_MAX ? static_cast<const void*>(&scancode)
                                          : static_cast<const void*>(&narrow),
                    entry.len);
        all = ioctl(fd, EVIOCSKEYCODE_V2, &entry) == 0 && all;
    }
    return close(fd) == 0 && all;
}

// Async-signal-safe: open, write, close only.
bool writeBack(const Entry& e) {
    if (e.keys > 0)
        return setBack(e);
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
    e.firstKey = e.keys = 0;
    g_count = g_count + 1; // only now may a handler see it
    return true;
}

bool Undo::recordKeys(const std::string& node,
                      const std::vector<std::pair<uint64_t, uint32_t>>& putBack, std::string& why) {
    if (g_count >= kEntries || node.size() >= sizeof g_entries[0].path ||
        putBack.size() > static_cast<size_t>(kKeys - g_keyCount)) {
        why = "too much to put back";
        return false;
    }
    if (putBack.empty())
        return true;
    Entry& e = g_entries[g_count];
    std::memcpy(e.path, node.c_str(), node.size() + 1);
    e.size = 0;
    e.firstKey = g_keyCount;
    e.keys = static_cast<int>(putBack.size());
    for (const auto& [scancode, keycode] : putBack)
        g_keys[g_keyCount++] = Key{scancode, keycode};
    g_count = g_count + 1; // only now may a handler see it
    return true;
}

std::vector<std::string> Undo::restore() {
    std::vector<std::string> failed;
    for (int i = g_count - 1; i >= 0; --i) {
        if (!writeBack(g_entries[i]))
            failed.push_back(std::string(g_entries[i].path) + ": " + std::strerror(errno));
        g_count = i;
        if (g_entries[i].keys > 0)
            g_keyCount = g_entries[i].firstKey;
    }
    return failed;
}

void Undo::forget() {
    g_count = 0;
    g_keyCount = 0;
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
