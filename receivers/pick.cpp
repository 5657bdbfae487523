// Which receiver RIRERUV_DEVICE names, and for every way it can fail, a reason that says what
// was found and what to do.
#include "receivers/pick.h"

#include "receivers/find.h"
#include "rireruv/shown.h"

#include <cerrno>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace rireruv {

namespace {

const char kHowToName[] = "give auto, rcN, /dev/lircK or /dev/input/eventK";

std::string nodesOf(const Receiver& r) {
    std::string nodes = r.lircNode.empty() ? "" : shown(r.lircNode);
    if (!r.eventNode.empty())
        nodes += (nodes.empty() ? "" : " ") + shown(r.eventNode);
    return nodes.empty() ? "no nodes" : nodes;
}

// With no receiver at all, naming one cannot help: what keeps a card's receiver away is.
const char kNoneAtAll[] =
    "no remote receiver at all (/sys/class/rc is empty). Usually the card was not recognised "
    "(load saa7134 or bttv with card=N), its IR is off (disable_ir=1), ir-kbd-i2c is not "
    "loaded, or the kernel has no rc-core; for a receiver that works, dmesg shows \"Registered "
    "IR keymap\"";

// "found rc0 (cx88xx, cx88 IR (...)) on PCI 14f1:8800, /dev/lirc0 /dev/input/event5; ..."
std::string foundList(const std::vector<Receiver>& found) {
    if (found.empty())
        return kNoneAtAll;
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
        return failure(std::string("RIRERUV_DEVICE=auto: ") + kNoneAtAll);
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
    if (stat(path.c_str(), &st) != 0 && errno == ELOOP)
        what = "is a loop of links (or more than 40 of them)";
    else if (stat(path.c_str(), &st) != 0)
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
    return "RIRERUV_DEVICE=" + shown(path) + " " + what + "; " + foundList(found);
}

// "/dev/input/by-path/../event5" as "/dev/input/event5".
std::string normalised(const std::string& path) {
    std::vector<std::string> parts;
    for (size_t start = 0; start < path.size();) {
        size_t end = path.find('/', start);
        end = end == std::string::npos ? path.size() : end;
        const std::string part = path.substr(start, end - start);
        if (part == ".." && !parts.empty())
            parts.pop_back();
        else if (!part.empty() && part != "." && part != "..")
            parts.push_back(part);
        start = end + 1;
    }
    std::string out;
    for (const std::string& part : parts)
        out += "/" + part;
    return out.empty() ? "/" : out;
}

// Where the link at path points, taken from its folder when relative; "" when it is no link,
// or when its target may have been cut, since a cut one would lead somewhere else.
std::string linkTarget(const std::string& path) {
    const std::string to = readLink(path);
    if (to.empty() || to.size() == kLinkMax)
        return "";
    return to[0] == '/' ? to : path.substr(0, path.rfind('/') + 1) + to;
}

// Whether path is node or leads to it through links, as udev's /dev/input/by-path and
// /dev/input/by-id names do. Followed link by link because umockdev's realpath takes a mocked
// node on to the pty behind it, and its stat gives a link to one no device number.
bool leadsTo(std::string path, const std::string& node) {
    for (int hop = 0; hop < 40 && !path.empty(); ++hop) { // 40: the kernel's own limit
        if (normalised(path) == node)
            return true;
        path = linkTarget(path);
    }
    return false;
}

// The same device under another name: a link to it, or the same device number (a copy of the
// node made with mknod, a link through a folder that is one).
bool sameDevice(const std::string& path, const std::string& node) {
    struct stat sa {
    }, sb{};
    return leadsTo(path, node) ||
           (stat(path.c_str(), &sa) == 0 && stat(node.c_str(), &sb) == 0 && S_ISCHR(sa.st_mode) &&
            S_ISCHR(sb.st_mode) && sa.st_rdev == sb.st_rdev);
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

} // namespace

Target pickReceiver(const std::string& device, const std::vector<Receiver>& found) {
    if (device == "auto")
        return pickAuto(found);
    if (rcNumber(device) >= 0)
        return pickByName(device, found);
    if (!device.empty() && device[0] == '/')
        return pickByNode(device, found);
    return failure("RIRERUV_DEVICE=" + quoted(device, kShownMax) +
                   " is not a receiver: " + kHowToName + ", or simulated for the simulated board");
}

} // namespace rireruv
