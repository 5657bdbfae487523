// The "why nothing arrives" line for a receiver that stays silent after polling started.
//
// The protocols file is read again rather than taken from discovery, because a lirc daemon
// started later switches the decoders off; and /proc is walked by hand (no glob, no libprocps)
// so that the same code runs under umockdev and on a made-up /proc in the tests.
#include "rireruv/rccore/silence.h"

#include "rireruv/report.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <unistd.h>

namespace rireruv {

namespace {

std::string joined(const std::vector<std::string>& items, const std::string& separator) {
    std::string out;
    for (const std::string& item : items)
        out += (out.empty() ? "" : separator) + item;
    return out;
}

// Names from a protocols file, paths and process names, as a message shows them (report.h).
std::string shownJoined(const std::vector<std::string>& items, const std::string& separator) {
    std::string out;
    for (const std::string& item : items)
        out += (out.empty() ? "" : separator) + shown(item);
    return out;
}

std::string currentProtocols(const Receiver& r) {
    std::string text, why;
    if (!r.sysPath.empty() && readAttribute(r.sysPath + "/protocols", text, why))
        return text;
    return r.protocols;
}

// A command to copy as it stands: nec when listed (the commonest protocol), else the first.
std::string suggested(const ProtocolList& p) {
    const auto& a = p.available;
    if (a.empty() || std::find(a.begin(), a.end(), "nec") != a.end())
        return "nec";
    return shown(a.front());
}

std::string availableText(const ProtocolList& p) {
    return "(available: " + (p.available.empty() ? "none listed" : shownJoined(p.available, " ")) +
           ")";
}

// The board decodes by itself, so nothing is to be enabled; what it reads depends on the card
// type the driver took (saa7134 and bttv read the GPIO lines of that type's receiver).
std::string hardwareHint(const Receiver& r) {
    if (r.driver == "ir_kbd_i2c" || r.driver == "ir-kbd-i2c")
        return r.name + " is an I2C receiver chip that decodes by itself: nothing to enable";
    const std::string what = r.driver.empty() ? "the card" : r.driver;
    return r.name + " decodes in hardware (a GPIO receiver): nothing to enable, but " + what +
           " reads the GPIO lines of the card type it took, so a wrong type hears nothing " +
           "(dmesg | grep " + (r.driver.empty() ? "card=" : r.driver) +
           " shows the card= it chose)";
}

std::string protocolHint(const Receiver& r, const ProtocolList& p) {
    if (p.available.empty() && !p.lirc)
        return hardwareHint(r);
    const std::string enable =
        "ir-keytable -s " + r.name + " -p " + suggested(p) + " " + availableText(p);
    if (p.enabled.empty() && p.lircEnabled)
        return "only lirc is enabled on " + r.name +
               ": a lirc daemon (or ir-keytable -p lirc) switched the kernel's decoders off, so "
               "no remote is decoded; as root, turn your remote's back on with " +
               enable;
    if (p.enabled.empty())
        return "no protocol is enabled on " + r.name +
               ", so it decodes no remote; as root, enable yours with " + enable;
    return r.name + " decodes " + shownJoined(p.enabled, ", ") +
           " in software: a remote of another protocol is not heard; as root, ir-keytable -s " +
           r.name + " -p <protocol> changes that " + availableText(p);
}

enum class Seen { Yes, Gone, Hidden };

// Held nodes go in the order of nodes, not of descriptors, so a line reads the same each time.
Seen nodesOpenIn(const std::string& fdDir, const std::vector<std::string>& nodes,
                 std::vector<std::string>& held, const ScanBounds& bounds, size_t& links) {
    DIR* dir = opendir(fdDir.c_str());
    if (dir == nullptr)
        return errno == ENOENT ? Seen::Gone : Seen::Hidden;
    std::vector<bool> open(nodes.size(), false);
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        if (bounds.over(links++))
            break; // what this process has open so far still counts
        const std::string target = readLink(fdDir + "/" + entry->d_name);
        for (size_t i = 0; i < nodes.size(); ++i)
            open[i] = open[i] || target == nodes[i];
    }
    closedir(dir);
    for (size_t i = 0; i < nodes.size(); ++i)
        if (open[i])
            held.push_back(nodes[i]);
    return Seen::Yes;
}

bool isPid(const char* name) {
    return *name != 0 && std::string(name).find_first_not_of("0123456789") == std::string::npos;
}

void checkProcess(const std::string& procRoot, const std::string& pid,
                  const std::vector<std::string>& nodes, Holders& h, const ScanBounds& bounds,
                  size_t& links) {
    std::vector<std::string> held;
    const Seen seen = nodesOpenIn(procRoot + "/" + pid + "/fd", nodes, held, bounds, links);
    if (seen == Seen::Hidden)
        ++h.hidden;
    if (held.empty())
        return;
    std::string command, unread; // a process gone meanwhile is named by its pid
    readAttribute(procRoot + "/" + pid + "/comm", command, unread);
    h.found.push_back((command.empty() ? "pid " + pid : shown(command) + " (pid " + pid + ")") +
                      " has " + shownJoined(held, " and ") + " open");
}

std::vector<std::string> nodesOf(const Receiver& r, const std::string& nodeRead) {
    std::vector<std::string> nodes;
    for (const std::string& node : {r.lircNode, r.eventNode})
        if (!node.empty())
            nodes.push_back(node);
    if (nodes.empty() && !nodeRead.empty())
        nodes.push_back(nodeRead);
    return nodes;
}

// The advice and the count first, then as many holders as kHoldersNamed: with thousands of
// holders, a list in front would push the advice out of the bounded line. "Nobody" only when
// every process could be looked at; otherwise say who could not.
std::string holdersHint(const std::vector<std::string>& nodes, const Holders& h) {
    const std::string fuser = "fuser -v " + shownJoined(nodes, " ") + " as root";
    if (!h.listed)
        return "cannot list the processes; " + fuser + " shows who has them open";
    std::vector<std::string> parts;
    if (!h.found.empty()) {
        const size_t n = h.found.size(), named = std::min(n, kHoldersNamed);
        std::string line =
            std::to_string(n) + (n == 1 ? " other process has " : " other processes have ") +
            shownJoined(nodes, " or ") +
            " open, and a reader that grabs the event device (as lircd does) "
            "silences it for everybody else: stop it and try again: " +
            joined({h.found.begin(), h.found.begin() + static_cast<long>(named)}, ", ");
        if (named < n)
            line += ", and " + std::to_string(n - named) + " more (" + fuser + " lists them)";
        parts.push_back(line);
    }
    if (h.hidden > 0)
        parts.push_back("cannot see other users' processes (" + std::to_string(h.hidden) + "); " +
                        fuser + " shows them");
    if (h.unseen > 0)
        parts.push_back(std::to_string(h.unseen) +
                        " processes not looked at (too many open descriptors to read in " +
                        std::to_string(kScanBudget.count() / 1000) + " s); " + fuser +
                        " shows them all");
    if (parts.empty())
        parts.push_back("nobody else has " + shownJoined(nodes, " or ") + " open");
    return joined(parts, "; ");
}

std::string lastResort(const Receiver& r) {
    const std::string check =
        "if none of this: the remote's battery and aim (a phone camera shows its LED)";
    if (r.driver == "ir_kbd_i2c")
        return check + ", and ir-kbd-i2c must be loaded (lsmod | grep ir_kbd_i2c)";
    return check + ", and the receiver's cable where the card has an external eye";
}

} // namespace

Holders nodeHolders(const std::vector<std::string>& nodes, const std::string& procRoot,
                    const ScanBounds& bounds) {
    Holders h;
    DIR* proc = opendir(procRoot.c_str());
    if (proc == nullptr) {
        h.listed = false;
        return h;
    }
    std::vector<long> pids; // in pid order, so the line reads the same on every call
    while (const dirent* entry = readdir(proc))
        if (isPid(entry->d_name))
            pids.push_back(std::strtol(entry->d_name, nullptr, 10));
    closedir(proc);
    std::sort(pids.begin(), pids.end());
    size_t links = 0;
    for (size_t i = 0; i < pids.size(); ++i) {
        if (bounds.over(links)) {
            h.unseen = pids.size() - i;
            break;
        }
        if (pids[i] != getpid())
            checkProcess(procRoot, std::to_string(pids[i]), nodes, h, bounds, links);
    }
    return h;
}

std::string whyNothingArrives(const Receiver& r, const std::string& nodeRead, int seconds,
                              const std::string& procRoot, const ScanBounds& bounds) {
    const std::vector<std::string> nodes = nodesOf(r, nodeRead);
    // Without raw light there is no evidence of where a press died: what is left is a list.
    std::string line =
        "no press in " + std::to_string(seconds) + " s from " + r.name + " (" + shown(nodeRead) +
        "): a checklist, as " + r.name +
        " shows no raw light to tell from: " + protocolHint(r, parseProtocols(currentProtocols(r)));
    if (!nodes.empty())
        line += "; " + holdersHint(nodes, nodeHolders(nodes, procRoot, bounds));
    return line + "; " + lastResort(r);
}

} // namespace rireruv
