// Finding receivers through libudev, on /sys trees that umockdev makes up for this process
// (run under umockdev-wrapper): cards of ours and others, GPIO and I2C receivers, kernels
// with and without lirc.
#include "receivers/find.h"
#include "receivers/pick.h"

#include <gtest/gtest.h>
#include <umockdev.h>

namespace {

const char kPciBridge[] = "/devices/pci0000:00/0000:00:1e.0";

// A PCI function with a vendor and device id, as the card's driver binds it.
std::string pci(const std::string& slot, const std::string& vendor, const std::string& device) {
    return "P: " + std::string(kPciBridge) + "/" + slot + "\nE: SUBSYSTEM=pci\nA: vendor=0x" +
           vendor + "\nA: device=0x" + device + "\n\n";
}

// rcN under parent, with its event device and, when lirc >= 0, its lirc node.
std::string rc(const std::string& parent, int n, const std::string& driver, const std::string& card,
               const std::string& protocols, int event, int lirc) {
    const std::string rcPath = parent + "/rc/rc" + std::to_string(n);
    std::string s = "P: " + rcPath + "\nE: SUBSYSTEM=rc\nE: DRV_NAME=" + driver +
                    "\nE: DEV_NAME=" + card + "\nE: NAME=rc-empty\nA: protocols=" + protocols +
                    "\\n\n\n";
    const std::string input = rcPath + "/input" + std::to_string(20 + n);
    s += "P: " + input + "\nE: SUBSYSTEM=input\n\n";
    const std::string ev = std::to_string(event);
    s += "P: " + input + "/event" + ev + "\nN: input/event" + ev +
         "\nE: SUBSYSTEM=input\nE: DEVNAME=/dev/input/event" + ev +
         "\nA: dev=13:" + std::to_string(64 + event) + "\n\n";
    if (lirc >= 0) {
        const std::string l = std::to_string(lirc);
        s += "P: " + rcPath + "/lirc" + l + "\nN: lirc" + l +
             "\nE: SUBSYSTEM=lirc\nE: DEVNAME=/dev/lirc" + l + "\nA: dev=251:" + l + "\n\n";
    }
    return s;
}

std::string bridged(const std::string& slot) {
    return std::string(kPciBridge) + "/" + slot;
}

const std::string kSaa7134 =
    pci("0000:05:01.0", "1131", "7134") +
    rc(bridged("0000:05:01.0"), 0, "saa7134", "saa7134 IR (Pinnacle PCTV 110i)", "", 5, 0);
const std::string kBttvNoLirc =
    pci("0000:05:02.0", "109e", "036e") +
    rc(bridged("0000:05:02.0"), 0, "bttv", "bttv IR (card=34)", "", 6, -1);
const std::string kSaa7133I2c = pci("0000:06:02.0", "1131", "7133") +
                                "P: " + bridged("0000:06:02.0") +
                                "/i2c-4\nE: SUBSYSTEM=i2c\n\nP: " + bridged("0000:06:02.0") +
                                "/i2c-4/4-0047\nE: SUBSYSTEM=i2c\n\n" +
                                rc(bridged("0000:06:02.0") + "/i2c-4/4-0047", 2, "ir_kbd_i2c",
                                   "Pinnacle PCTV", "rc-5 [nec]", 8, 2);
const std::string kUsbReceiver =
    pci("0000:00:14.0", "8086", "1e31") + "P: " + bridged("0000:00:14.0") +
    "/usb1/1-2\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=0471\nA: idProduct=0815\n\n" +
    "P: " + bridged("0000:00:14.0") + "/usb1/1-2/1-2:1.0\nE: SUBSYSTEM=usb\n" +
    "E: DEVTYPE=usb_interface\n\n" +
    rc(bridged("0000:00:14.0") + "/usb1/1-2/1-2:1.0", 3, "mceusb",
       "Media Center Ed. eHome Infrared Remote Transceiver (0471:0815)", "[rc-6] nec", 3, 3);

// A /sys with exactly these devices, for as long as it lives.
class FakeSys {
  public:
    explicit FakeSys(const std::string& devices) : m_bed(umockdev_testbed_new()) {
        GError* error = nullptr;
        if (!devices.empty() && !umockdev_testbed_add_from_string(m_bed, devices.c_str(), &error))
            ADD_FAILURE() << error->message;
    }
    ~FakeSys() { g_object_unref(m_bed); }
    FakeSys(const FakeSys&) = delete;
    FakeSys& operator=(const FakeSys&) = delete;

  private:
    UMockdevTestbed* m_bed;
};

// "rc0 SAA7134 /dev/lirc0 /dev/input/event5": what matters of each receiver found.
std::vector<std::string> found() {
    std::vector<std::string> out;
    for (const auto& r : rireruv::listReceivers())
        out.push_back(r.name + " " + (r.chip.empty() ? r.host : r.chip) + " " +
                      (r.lircNode.empty() ? "-" : r.lircNode) + " " + r.eventNode);
    return out;
}

using Found = std::vector<std::string>;

TEST(Discovery, OneCard) {
    FakeSys sys(kSaa7134);
    const auto all = rireruv::listReceivers();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].describe(), "rc0 (saa7134, saa7134 IR (Pinnacle PCTV 110i))");
    EXPECT_EQ(all[0].protocols, "") << "a GPIO receiver declares no protocols";
    EXPECT_EQ(found(), Found{"rc0 SAA7134 /dev/lirc0 /dev/input/event5"});
    const auto target = rireruv::pickReceiver("auto", all);
    ASSERT_NE(target.receiver, nullptr) << target.error;
    EXPECT_EQ(target.receiver->name, "rc0");
}

TEST(Discovery, TwoCardsInRcOrder) {
    // rc10 sorts after rc2, not before it as text would
    FakeSys sys(pci("0000:05:01.0", "1131", "7130") +
                rc(bridged("0000:05:01.0"), 10, "saa7134", "saa7134 IR (A)", "", 11, 10) +
                pci("0000:05:02.0", "109e", "036f") +
                rc(bridged("0000:05:02.0"), 2, "bttv", "bttv IR (card=2)", "", 12, 4));
    EXPECT_EQ(found(), (Found{"rc2 Bt879 /dev/lirc4 /dev/input/event12",
                              "rc10 SAA7130 /dev/lirc10 /dev/input/event11"}));
    const auto all = rireruv::listReceivers();
    EXPECT_EQ(rireruv::pickReceiver("auto", all).receiver->name, "rc2");
    EXPECT_EQ(rireruv::pickReceiver("rc10", all).receiver->name, "rc10");
    EXPECT_EQ(rireruv::pickReceiver("/dev/input/event11", all).receiver->name, "rc10");
}

TEST(Discovery, AReceiverOnOtherHardwareIsNamedButNotChosen) {
    FakeSys sys(kUsbReceiver);
    EXPECT_EQ(found(), Found{"rc3 USB 0471:0815 /dev/lirc3 /dev/input/event3"});
    const auto all = rireruv::listReceivers();
    const auto target = rireruv::pickReceiver("auto", all);
    EXPECT_EQ(target.receiver, nullptr);
    EXPECT_NE(target.error.find("no receiver on a SAA713x or Bt878 card; found rc3 (mceusb, Media "
                                "Center Ed. eHome Infrared Remote Transceiver (0471:0815)) on "
                                "USB 0471:0815, /dev/lirc3 /dev/input/event3"),
              std::string::npos)
        << target.error;
    EXPECT_EQ(rireruv::pickReceiver("rc3", all).receiver->name, "rc3") << "named: used anyway";
}

TEST(Discovery, AnI2cReceiverBelongsToItsCard) {
    FakeSys sys(kUsbReceiver + kSaa7133I2c);
    EXPECT_EQ(found(), (Found{"rc2 SAA7133 /dev/lirc2 /dev/input/event8",
                              "rc3 USB 0471:0815 /dev/lirc3 /dev/input/event3"}));
    const auto all = rireruv::listReceivers();
    EXPECT_EQ(all[0].protocols, "rc-5 [nec]");
    EXPECT_EQ(rireruv::pickReceiver("auto", all).receiver->name, "rc2");
}

TEST(Discovery, AKernelWithoutLircGivesTheEventDeviceOnly) {
    FakeSys sys(kBttvNoLirc);
    EXPECT_EQ(found(), Found{"rc0 Bt878 - /dev/input/event6"});
}

TEST(Discovery, NoReceiverAtAll) {
    FakeSys sys(pci("0000:05:01.0", "1131", "7134"));
    EXPECT_EQ(found(), Found{});
    const auto target = rireruv::pickReceiver("auto", rireruv::listReceivers());
    EXPECT_NE(target.error.find("no remote receiver at all"), std::string::npos);
}

// A receiver on the card with these ids, as its sysfs gives them ("0x1131", "junk").
std::string onCard(const std::string& vendor, const std::string& device) {
    return "P: " + bridged("0000:05:01.0") + "\nE: SUBSYSTEM=pci\nA: vendor=" + vendor +
           "\nA: device=" + device + "\n\n" +
           rc(bridged("0000:05:01.0"), 0, "saa7134", "saa7134 IR (A)", "", 5, 0);
}

// auto takes a receiver on exactly the chips of the cards this verifier is for: the SAA713x
// family and the Bt878/879's video function, not its audio one nor a neighbour's id.
TEST(Discovery, AutoTakesTheSixChipsOfOurCardsAndNoOther) {
    const std::vector<std::tuple<std::string, std::string, std::string>> cards = {
        {"0x1131", "0x7130", "SAA7130"}, {"0x1131", "0x7133", "SAA7133"},
        {"0x1131", "0x7134", "SAA7134"}, {"0x1131", "0x7135", "SAA7135"},
        {"0x109e", "0x036e", "Bt878"},   {"0x109e", "0x036f", "Bt879"},
        {"0x109e", "0x0878", ""}, // the Bt878's audio function
        {"0x109e", "0x0879", ""},        {"0x109e", "0x036d", ""},
        {"0x109e", "0x0350", ""}, // Bt848
        {"0x1131", "0x7131", ""},        {"0x1131", "0x7136", ""},
        {"0x1131", "0x712f", ""},        {"0x1131", "0x7146", ""}, // SAA7146: no receiver of ours
        {"0x1131", "0x7160", ""},        {"0x1132", "0x7134", ""},
        {"0x109f", "0x036e", ""},        {"0x14f1", "0x8800", ""}, // a cx88 card
    };
    for (const auto& [vendor, device, chip] : cards) {
        SCOPED_TRACE(vendor + ":" + device);
        FakeSys sys(onCard(vendor, device));
        const auto all = rireruv::listReceivers();
        ASSERT_EQ(all.size(), 1u);
        EXPECT_EQ(all[0].chip, chip);
        const auto target = rireruv::pickReceiver("auto", all);
        EXPECT_EQ(target.receiver != nullptr, !chip.empty()) << target.error;
    }
}

// An id that is not one must not read as 0000:0000, a device that does not exist.
TEST(Discovery, IdsThatAreNotIdsAreSaidToBeUnreadable) {
    const std::vector<std::pair<std::string, std::string>> cards = {
        {"junk", "0x7134"}, {"0x1131", ""},        {"0x1131", "0x"},
        {"0x", "0x7134"},   {"0x11310", "0x7134"}, {"0x1131", "0x7134 7135"},
    };
    for (const auto& [vendor, device] : cards) {
        SCOPED_TRACE(vendor + ":" + device);
        FakeSys sys(onCard(vendor, device));
        EXPECT_EQ(found(), Found{"rc0 PCI, ids unreadable /dev/lirc0 /dev/input/event5"});
        const auto target = rireruv::pickReceiver("auto", rireruv::listReceivers());
        EXPECT_NE(target.error.find("found rc0 (saa7134, saa7134 IR (A)) on PCI, ids unreadable, "
                                    "/dev/lirc0"),
                  std::string::npos)
            << target.error;
    }
    FakeSys usb(pci("0000:00:14.0", "8086", "1e31") + "P: " + bridged("0000:00:14.0") +
                "/usb1/1-2\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=zz\n"
                "A: idProduct=0815\n\n" +
                rc(bridged("0000:00:14.0") + "/usb1/1-2", 3, "mceusb", "MCE", "", 3, 3));
    EXPECT_EQ(found(), Found{"rc3 USB, ids unreadable /dev/lirc3 /dev/input/event3"});
}

// The driver's names reach a terminal through every message that lists receivers.
TEST(Discovery, NamesFromSysfsAreEscaped) {
    const std::string rcPath = bridged("0000:05:01.0") + "/rc/rc0";
    FakeSys sys(pci("0000:05:01.0", "1131", "7134") + "P: " + rcPath +
                "\nE: SUBSYSTEM=rc\nE: DRV_NAME=saa\x7F_7134\nE: DEV_NAME=IR \x1B]0;owned\x07" +
                std::string(200, 'x') + "\nE: NAME=rc-\xC2\x9Bmap\n\n");
    const auto all = rireruv::listReceivers();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].keymap, "rc-\\xC2\\x9Bmap"); // a C1 control: valid UTF-8, still obeyed
    const std::string expected =
        "rc0 (saa\\x7F_7134, IR \\e]0;owned\\x07" + std::string(107, 'x') + "... (213 bytes))";
    EXPECT_EQ(all[0].describe(), expected);
    const auto target = rireruv::pickReceiver("rc1", all);
    EXPECT_NE(target.error.find("found " + expected + " on SAA7134, no nodes"), std::string::npos)
        << target.error;
}

} // namespace
