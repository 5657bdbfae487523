// Which receiver RIRERUV_DEVICE names, and for every way it can fail, a reason that says what
// was found and what to do.
#include "rccore_find.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace rireruv {

namespace {

const char kHowToName[] = "give auto, rcN, /dev/lircK or /dev/input/eventK";

std::string nodesOf(const Receiver& r) {
    std::string nodes = r.lircNode;
    if (!r.eventNode.empty())
        nodes += (nodes.empty() ? "" : " ") + r.eventNode;
    return nodes.empty() ? "no nodes" : nodes;
}

// "found rc0 (cx88xx, cx88 IR (...)) on PCI 14f1:8800, /dev/lirc0 /dev/input/event5; ..."
std::string foundList(const std::vector<Receiver>& found) {
    if (found.empty())
        return "there are no receivers at all";
    std::string list = "found ";
    for (size_t i = 0; i < found.size(); ++i) {
        const Receiver& r = found[i];
        list += (i == 0 ? "" : "; ") + r.describe() + " on " + (r.chip.empty() ? r.host : r.chip) +
                ", " + nodesOf(r);
    }
    return list;
}

Target failure(std::string reason) {
    Target t;
    t.error = std::move(reason);
    return t;
}

Target pickAuto(const std::vector<Receiver>& found) {
    if (found.empty())
        return failure(
            "RIRERUV_DEVICE=auto: no remote receiver at all (/sys/class/rc is empty). Usually "
            "the card was not recognised (load saa7134 or bttv with card=N), its IR is off "
            "(disable_ir=1), ir-kbd-i2c is not loaded, or the kernel has no rc-core; for a "
            "receiver that works, dmesg shows \"Registered IR keymap\"");
    for (const Receiver& r : found) {
        if (!r.chip.empty()) {
            Target t;
            t.receiver = &r;
            return t;
        }
    }
    return failure("RIRERUV_DEVICE=auto: no receiver on a SAA713x or Bt878 card; " +
                   foundList(found) +
                   ". To read one of these anyway, set RIRERUV_DEVICE=" + found.front().name);
}

Target pickByName(const std::string& name, const std::vector<Receiver>& found) {
    for (const Receiver& r : found) {
        if (r.name == name) {
            Target t;
            t.receiver = &r;
            return t;
        }
    }
    return failure("RIRERUV_DEVICE=" + name + ": no such receiver; " + foundList(found));
}

// Why a path that no receiver reads through is not one, from what it is.
std::string notAReceiver(const std::string& path, const std::vector<Receiver>& found) {
    struct stat st {};
    std::string what;
    if (stat(path.c_str(), &st) != 0)
        what = "does not exist";
    else if (S_ISDIR(st.st_mode))
        what = "is a folder, not a device";
    else if (S_ISREG(st.st_mode))
        what = "is a regular file, not a device";
    else if (S_ISCHR(st.st_mode))
        what = "is a character device (" + std::to_string(major(st.st_rdev)) + ":" +
               std::to_string(minor(st.st_rdev)) + "), but no remote receiver's node";
    else
        what = "is not a character device";
    return "RIRERUV_DEVICE=" + path + " " + what + "; " + foundList(found);
}

// The same device under another name (/dev/input/by-path/...-event-ir): the same device
// number. Compared by number rather than by resolving links, which umockdev's realpath mangles.
bool sameDevice(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return a == b || (stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 &&
                      S_ISCHR(sa.st_mode) && S_ISCHR(sb.st_mode) && sa.st_rdev == sb.st_rdev);
}

Target pickByNode(const std::string& path, const std::vector<Receiver>& found) {
    for (const Receiver& r : found) {
        for (const std::string* node : {&r.lircNode, &r.eventNode}) {
            if (!node->empty() && sameDevice(path, *node)) {
                Target t;
                t.receiver = &r;
                t.node = *node;
                return t;
            }
        }
    }
    return failure(notAReceiver(path, found));
}

bool isRcName(const std::string& s) {
    return s.size() > 2 && s.size() < 9 && s.compare(0, 2, "rc") == 0 &&
           s.find_first_not_of("0123456789", 2) == std::string::npos;
}

} // namespace

Target pickReceiver(const std::string& device, const std::vector<Receiver>& found) {
    if (device == "auto")
        return pickAuto(found);
    if (isRcName(device))
        return pickByName(device, found);
    if (!device.empty() && device[0] == '/')
        return pickByNode(device, found);
    return failure("RIRERUV_DEVICE=\"" + device + "\" is not a receiver: " + kHowToName +
                   ", or unset it for the simulated board");
}

} // namespace rireruv
