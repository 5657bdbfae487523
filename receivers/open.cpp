// Opening a receiver's node, and why it would not open: the permission it lacks, with the fix
// for the person at the seat.
#include "receivers/find.h"
#include "receivers/read.h"
#include "rireruv/shown.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <linux/lirc.h>
#include <pwd.h>
#include <sys/stat.h>

namespace rireruv {

namespace {

// The mode as ls shows it: "crw-rw----".
std::string modeText(mode_t mode) {
    std::string s = S_ISCHR(mode) ? "c" : S_ISDIR(mode) ? "d" : S_ISREG(mode) ? "-" : "?";
    const char* rwx = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit)
        s += (mode & (0400 >> bit)) != 0 ? rwx[bit] : '-';
    return s;
}

std::string userName(uid_t uid) {
    const passwd* pw = getpwuid(uid);
    return pw != nullptr ? pw->pw_name : std::to_string(uid);
}

std::string groupName(gid_t gid) {
    const group* gr = getgrgid(gid);
    return gr != nullptr ? gr->gr_name : std::to_string(gid);
}

// The package's udev rule first: it gives the person at the seat every receiver's nodes, and
// needs only to be applied. Over SSH it cannot apply (no seat), so the fixes that do follow:
// the node's group where the group may read it (event devices are group input's), otherwise
// an ACL for this session, as only root may read it.
std::string permissionFix(const std::string& path, const struct stat& st) {
    const std::string rule =
        "test-rireruv's udev rule (70-test-rireruv.rules, installed with its package) gives "
        "the person at the seat access once it applies: sudo udevadm trigger --action=change "
        "--subsystem-match=lirc --subsystem-match=input, or log in again at the seat. Over SSH "
        "it cannot apply: ";
    if ((st.st_mode & S_IRGRP) != 0 && st.st_gid != 0)
        return rule + "sudo usermod -aG " + shown(groupName(st.st_gid)) +
               " $USER, then log in again";
    return rule + "sudo setfacl -m u:$USER:r " + shown(path) + " for this session";
}

} // namespace

int openNode(const std::string& node, Opened& opened, bool lirc) {
    const int fd = open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        opened.denied = errno == EACCES || errno == EPERM;
        opened.error = openFailure(node, errno, lirc);
    }
    return fd;
}

std::string openFailure(const std::string& path, int err, bool /*lirc*/) {
    struct stat st {};
    if ((err == EACCES || err == EPERM) && stat(path.c_str(), &st) == 0)
        return "no permission to read " + shown(path) + " (owner " + shown(userName(st.st_uid)) +
               ", group " + shown(groupName(st.st_gid)) + ", mode " + modeText(st.st_mode) + "). " +
               permissionFix(path, st);
    if (err == ENODEV || err == ENXIO)
        return shown(path) +
               " has no device behind it: the card was removed or its driver unloaded";
    return "cannot open " + shown(path) + ": " + std::strerror(err);
}

Opened openPresses(const Receiver& r, const std::string& wanted, std::string& node) {
    if (!wanted.empty()) {
        node = wanted;
        return wanted == r.lircNode ? openLirc(wanted) : openEvent(wanted);
    }
    Opened lirc;
    if (!r.lircNode.empty()) {
        lirc = openLirc(node = r.lircNode);
        if (lirc.reader || r.eventNode.empty())
            return lirc;
    }
    if (r.eventNode.empty()) {
        lirc.error = r.describe() + " has neither a lirc node nor an event device: its driver "
                                    "registered no input (dmesg says why)";
        return lirc;
    }
    Opened event = openEvent(node = r.eventNode);
    if (!event.reader && !lirc.error.empty())
        event.error = lirc.error + "; and " + event.error;
    return event;
}

} // namespace rireruv
