// Choosing a receiver from RIRERUV_DEVICE among those found, and every reason none fits; the
// permission message.
#include "receivers/find.h"
#include "receivers/pick.h"
#include "receivers/read.h"
#include "tests/support/files.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using rireruv::Receiver;

Receiver receiver(const std::string& name, const std::string& driver, const std::string& chip,
                  const std::string& lirc, const std::string& event) {
    Receiver r;
    r.name = name;
    r.driver = driver;
    r.card = driver + " IR (test card)";
    r.chip = chip;
    r.host = chip.empty() ? "USB 0471:0815" : "PCI 1131:7134";
    r.lircNode = lirc;
    r.eventNode = event;
    return r;
}

const std::vector<Receiver> kOtherOnly = {
    receiver("rc0", "mceusb", "", "/dev/lirc0", "/dev/input/event3")};
const std::vector<Receiver> kMixed = {
    receiver("rc0", "mceusb", "", "/dev/lirc0", "/dev/input/event3"),
    receiver("rc1", "bttv", "Bt878", "", "/dev/input/event6"),
    receiver("rc2", "saa7134", "SAA7134", "/dev/lirc2", "/dev/input/event7")};

TEST(PickReceiver, EachBadSettingSaysWhy) {
    std::ofstream(scratch("regular")) << "x";
    mkdir(scratch("folder").c_str(), 0755);
    std::remove(scratch("loop-a").c_str());
    std::remove(scratch("loop-b").c_str());
    symlink(scratch("loop-b").c_str(), scratch("loop-a").c_str());
    symlink(scratch("loop-a").c_str(), scratch("loop-b").c_str());
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"", "is not a receiver: give auto, rcN, /dev/lircK or /dev/input/eventK"},
        {"rc", "is not a receiver"},
        {"rcX", "is not a receiver"},
        {"lirc0", "is not a receiver"},
        {"Auto", "is not a receiver"},
        {"rc7", "RIRERUV_DEVICE=rc7: no such receiver; found rc0 (mceusb"},
        {"/dev/null", "/dev/null is a character device (1:3), but no remote receiver's node"},
        {scratch("regular"), "is a regular file, not a device"},
        {scratch("folder"), "is a folder, not a device"},
        {scratch("missing"), "does not exist"},
        {scratch("loop-a"), "is a loop of links"},
        {"/dev/lirc9", "does not exist; found rc0 (mceusb, mceusb IR (test card)) on USB "
                       "0471:0815, /dev/lirc0 /dev/input/event3; rc1"},
    };
    for (const auto& [device, reason] : bad) {
        SCOPED_TRACE(device);
        const auto target = rireruv::pickReceiver(device, kMixed);
        EXPECT_EQ(target.receiver, nullptr);
        EXPECT_NE(target.error.find(reason), std::string::npos) << target.error;
    }
}

TEST(PickReceiver, AutoWithoutOurCards) {
    const auto none = rireruv::pickReceiver("auto", {});
    EXPECT_EQ(none.receiver, nullptr);
    EXPECT_NE(none.error.find("no remote receiver at all"), std::string::npos);
    EXPECT_NE(none.error.find("Registered IR keymap"), std::string::npos) << none.error;

    // Named, on a system with none: the same reason, not a bare "none found".
    const auto named = rireruv::pickReceiver("rc0", {});
    EXPECT_NE(named.error.find("rc0: no such receiver; no remote receiver at all"),
              std::string::npos);
    EXPECT_NE(named.error.find("Registered IR keymap"), std::string::npos) << named.error;

    const auto other = rireruv::pickReceiver("auto", kOtherOnly);
    EXPECT_EQ(other.receiver, nullptr);
    EXPECT_NE(other.error.find("no receiver on a SAA713x or Bt878 card; found rc0 (mceusb"),
              std::string::npos)
        << other.error;
    EXPECT_NE(other.error.find("set RIRERUV_DEVICE=rc0"), std::string::npos) << other.error;
}

TEST(PickReceiver, ValidSettings) {
    const std::vector<std::tuple<std::string, std::string, std::string>> good = {
        {"auto", "rc1", ""}, // the first of ours, not the first of all
        {"rc0", "rc0", ""},  // named: whatever card it is on
        {"rc2", "rc2", ""},
        {"/dev/lirc2", "rc2", "/dev/lirc2"},
        {"/dev/input/event6", "rc1", "/dev/input/event6"},
    };
    for (const auto& [device, name, node] : good) {
        SCOPED_TRACE(device);
        const auto target = rireruv::pickReceiver(device, kMixed);
        ASSERT_NE(target.receiver, nullptr) << target.error;
        EXPECT_EQ(target.receiver->name, name);
        EXPECT_EQ(target.node, node);
    }
}

gid_t groupId(const char* name) {
    const group* g = getgrnam(name);
    return g != nullptr ? g->gr_gid : 0;
}

// The package's udev rule leads (it only needs applying); over SSH, a node its group may read
// needs the user in that group, and one only root may read (a lirc node on most systems) an
// ACL: no group to join would do.
TEST(PermissionMessage, NamesOwnerGroupModeAndTheFixForThatNode) {
    ASSERT_EQ(getuid(), 0u) << "these nodes are made with the owner and group of a real system";
    ASSERT_NE(groupId("input"), 0u);
    ASSERT_NE(groupId("video"), 0u);
    struct Case {
        std::string file;
        gid_t group;
        mode_t mode;
        bool lirc;
        std::string says, fix, notFix;
    };
    const std::vector<Case> cases = {
        {"lirc-root-only", 0, 0600, true, "(owner root, group root, mode -rw-------)", "",
         "usermod"},
        {"lirc-video-unreadable", groupId("video"), 0600, true, "group video, mode -rw-------", "",
         "usermod"},
        {"event-input", groupId("input"), 0660, false, "(owner root, group input, mode -rw-rw----)",
         "Over SSH it cannot apply: sudo usermod -aG input $USER", "setfacl"},
        {"event-root-only", 0, 0640, false, "group root, mode -rw-r-----", "", "usermod"},
    };
    const std::string rule = "). test-rireruv's udev rule (70-test-rireruv.rules, installed with "
                             "its package) gives the person at the seat access once it applies: "
                             "sudo udevadm trigger --action=change";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = scratch(c.file);
        std::ofstream(path) << "";
        ASSERT_EQ(chown(path.c_str(), 0, c.group), 0) << std::strerror(errno);
        ASSERT_EQ(chmod(path.c_str(), c.mode), 0) << std::strerror(errno);
        const std::string why = rireruv::openFailure(path, EACCES, c.lirc);
        EXPECT_EQ(why.rfind("no permission to read " + path + " ", 0), 0u) << why;
        EXPECT_NE(why.find(c.says), std::string::npos) << why;
        EXPECT_NE(why.find(c.fix), std::string::npos) << why;
        EXPECT_NE(why.find(rule), std::string::npos) << "the package's rule first: " << why;
        EXPECT_EQ(why.find(c.notFix), std::string::npos) << why;
        const bool rootOnly = c.notFix == "usermod";
        EXPECT_EQ(why.find("sudo setfacl -m u:$USER:r " + path) != std::string::npos, rootOnly)
            << why;
    }
    EXPECT_NE(rireruv::openFailure("/dev/lirc0", ENODEV, true).find("removed"), std::string::npos);
}

} // namespace
