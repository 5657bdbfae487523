// What the rc-core board says in words: why a node would not open, and a press in the trace.
#include "rireruv/rccore/read.h"

#include "rireruv/report.h"

#include <linux/lirc.h>

#include <cerrno>
#include <fcntl.h>
#include <cstdio>
#include <cstring>
#include <grp.h>
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

// The lasting fix: join the node's group where the group may read it (event devices are group
// input's); otherwise (lirc nodes are root's alone on most systems) no group to join would
// help, so a udev rule gives the node one first, for the kind of node it is.
std::string permissionFix(const std::string& path, const struct stat& st, bool lirc) {
    const std::string group = groupName(st.st_gid);
    if ((st.st_mode & S_IRGRP) != 0 && st.st_gid != 0)
        return "add yourself to its group: sudo usermod -aG " + shown(group) +
               " $USER, then log out and in again";
    return "only root may read it: for this session, sudo setfacl -m u:$USER:r " + shown(path) +
           "; for good, a udev rule " +
           (lirc ? "SUBSYSTEM==\"lirc\"" : "KERNEL==\"event*\", SUBSYSTEMS==\"rc\"") +
           ", GROUP=\"video\", MODE=\"0660\" in /etc/udev/rules.d/70-remote.rules and "
           "membership of group video";
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

std::string openFailure(const std::string& path, int err, bool lirc) {
    struct stat st {};
    if ((err == EACCES || err == EPERM) && stat(path.c_str(), &st) == 0)
        return "no permission to read " + shown(path) + " (owner " + shown(userName(st.st_uid)) +
               ", group " + shown(groupName(st.st_gid)) + ", mode " + modeText(st.st_mode) + "); " +
               permissionFix(path, st, lirc);
    if (err == ENODEV || err == ENXIO)
        return shown(path) +
               " has no device behind it: the card was removed or its driver unloaded";
    return "cannot open " + shown(path) + ": " + std::strerror(err);
}

std::string goneBecause(const std::string& cause) {
    return "is gone (" + cause + ")";
}

std::string protocolName(int protocol) {
    // The kernel's own names (rc-main.c), in enum rc_proto order.
    static const char* const kNames[] = {
        "unknown",   "other",   "rc-5",       "rc-5x-20",   "rc-5-sz",    "jvc",      "sony-12",
        "sony-15",   "sony-20", "nec",        "necx",       "nec-32",     "sanyo",    "mcir2-kbd",
        "mcir2-mse", "rc-6-0",  "rc-6-6a-20", "rc-6-6a-24", "rc-6-6a-32", "rc-6-mce", "sharp",
        "xmp",       "cec",     "imon",       "rc-mm-12",   "rc-mm-24",   "rc-mm-32", "xbox-dvd"};
    if (protocol == kProtocolUnknown)
        return "-";
    if (protocol >= 0 && protocol < static_cast<int>(sizeof kNames / sizeof kNames[0]))
        return kNames[protocol];
    return std::to_string(protocol);
}

std::string pressLine(const Press& press) {
    char scancode[24];
    std::snprintf(scancode, sizeof scancode, "0x%llx",
                  static_cast<unsigned long long>(press.scancode));
    return std::string("press scancode=") + scancode + " protocol=" + protocolName(press.protocol) +
           " repeat=" + (press.repeat ? "1" : "0");
}

} // namespace rireruv
