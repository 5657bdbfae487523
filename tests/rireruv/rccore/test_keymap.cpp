// The receiver's keymap as the board reads it from the event device (receivers/keymap.h), the
// names of its keys, and the event device's grab as the board's reader meets it: on the
// described card (mock_card.h, under umockdev-wrapper), and under umockdev-run from the
// card's recorded answers alone, where ir-keytable -r, the kernel's own tool, must agree.
//
// Why on the mocked card rather than on a fake fd: the keymap is only read through ioctls on
// a node, and the grab is only seen through another holder, neither of which a pipe can act.
#include "receivers/keymap.h"
#include "receivers/read.h"
#include "tests/rireruv/rccore/mock_card.h"
#include "tests/support/files.h"
#include "tests/support/wait.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace rccore_test {

// Where std::vector's == and gtest's printing look for them.
bool operator==(const MockKey& a, const MockKey& b) {
    return a.scancode == b.scancode && a.keycode == b.keycode;
}

void PrintTo(const MockKey& k, std::ostream* os) {
    *os << "{0x" << std::hex << k.scancode << ", " << std::dec << k.keycode << "}";
}

} // namespace rccore_test

namespace {

const char kEventNode[] = "/dev/input/event5";

std::vector<rccore_test::MockKey> asMockKeys(const std::vector<rireruv::KeymapEntry>& entries) {
    std::vector<rccore_test::MockKey> out;
    for (const auto& e : entries)
        out.push_back({static_cast<uint32_t>(e.scancode), e.keycode});
    return out;
}

TEST(Keymap, ReadsTheCardsTableInIndexOrder) {
    rccore_test::MockCard card(CARD_DEVICE, CARD_IOCTL);
    std::string error = "left from before";
    const auto entries = rireruv::readKeymap(kEventNode, &error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(asMockKeys(entries), rccore_test::cardKeymap());
}

// The card's answers with each keymap entry's scancode in 8 bytes, as a kernel whose keymaps hold
// u64 scancodes gives them: the card's code with bit 32 set, so a reader that took 4 bytes shows.
std::string answersWithEightByteScancodes() {
    const std::string path = std::string(BUILD_SCRATCH) + "/card-event5-u64.ioctl";
    std::ofstream out(path);
    for (std::string line : linesOf(CARD_IOCTL)) {
        const size_t hex = line.rfind(' ') + 1; // flags, len, index, keycode, scancode[32]
        if (line.rfind("EVIOCGKEYCODE_V2 0 ", 0) == 0)
            line.replace(hex + 2, 2, "08").replace(hex + 24, 2, "01");
        out << line << "\n";
    }
    return path;
}

TEST(Keymap, ReadsScancodesOfEightBytes) {
    rccore_test::MockCard card(CARD_DEVICE, answersWithEightByteScancodes());
    std::string error = "left from before";
    const auto entries = rireruv::readKeymap(kEventNode, &error);
    EXPECT_EQ(error, "");
    const auto& keys = rccore_test::cardKeymap();
    ASSERT_EQ(entries.size(), keys.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].scancode, (uint64_t{1} << 32) | keys[i].scancode) << i;
        EXPECT_EQ(entries[i].keycode, keys[i].keycode) << i;
    }
}

// rc-core sets the key bit of every key its keymap maps; a described card whose bits and
// keymap disagree would let a reader that trusts either pass for the wrong reason.
TEST(Keymap, EveryKeyTheCardMapsIsOneItsDeviceSaysItSends) {
    rccore_test::MockCard card(CARD_DEVICE, CARD_IOCTL);
    const int fd = open(kEventNode, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    libevdev* dev = nullptr;
    ASSERT_EQ(libevdev_new_from_fd(fd, &dev), 0);
    for (const auto& key : rccore_test::cardKeymap())
        EXPECT_TRUE(libevdev_has_event_code(dev, EV_KEY, key.keycode))
            << rireruv::keyName(key.keycode);
    EXPECT_TRUE(libevdev_has_event_code(dev, EV_MSC, MSC_SCAN));
    libevdev_free(dev);
    close(fd);
}

TEST(Keymap, WhatIsNoEventDeviceGivesNoTableAndSaysWhy) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::string error;
    EXPECT_TRUE(rireruv::readKeymap(ends[0], &error).empty());
    EXPECT_EQ(error, std::string("EVIOCGKEYCODE_V2: ") + std::strerror(ENOTTY));
    close(ends[0]);
    close(ends[1]);

    const std::string missing = std::string(BUILD_SCRATCH) + "/no-such-event-device";
    EXPECT_TRUE(rireruv::readKeymap(missing, &error).empty());
    EXPECT_NE(error.find(missing), std::string::npos) << error;
    EXPECT_NE(error.find(std::strerror(ENOENT)), std::string::npos) << error;
}

TEST(Keymap, NamesKeysAsLibevdevDoesAndNumbersTheRest) {
    EXPECT_EQ(rireruv::keyName(KEY_POWER), "KEY_POWER");
    EXPECT_EQ(rireruv::keyName(KEY_NUMERIC_0), "KEY_NUMERIC_0");
    EXPECT_EQ(rireruv::keyName(KEY_RESERVED), "") << "0 is a scancode the keymap does not map";
    ASSERT_EQ(libevdev_event_code_get_name(EV_KEY, 84), nullptr) << "84 has become a key";
    EXPECT_EQ(rireruv::keyName(84), "KEY_84");
    EXPECT_EQ(rireruv::keyName(KEY_MAX + 1), "KEY_" + std::to_string(KEY_MAX + 1));
}

// Drains reader until a press arrives (the deadline turns a lost one into a failure).
std::vector<rireruv::Press> firstPresses(rireruv::Reader& reader) {
    std::vector<rireruv::Press> out;
    waitUntil(
        [&] {
            EXPECT_EQ(reader.drain(out), rireruv::Drained::Ready) << reader.why();
            return !out.empty();
        },
        std::chrono::seconds(10), std::chrono::milliseconds(5));
    return out;
}

TEST(MockedEventDevice, TheReaderLetsGoOfItsTrialGrabAndGetsMappedKeys) {
    rccore_test::MockCard card(CARD_DEVICE, CARD_IOCTL, false);
    rireruv::Opened opened = rireruv::openEvent(kEventNode);
    ASSERT_NE(opened.reader, nullptr) << opened.error;

    // Held on, the trial grab would silence the device for every other program.
    const int other = open(kEventNode, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(other, 0) << std::strerror(errno);
    EXPECT_EQ(ioctl(other, EVIOCGRAB, 1), 0) << std::strerror(errno);
    EXPECT_EQ(ioctl(other, EVIOCGRAB, 0), 0) << std::strerror(errno);
    close(other);

    card.pressKeyOnEventDevice(0x05);
    const std::vector<rireruv::Press> presses = firstPresses(*opened.reader);
    ASSERT_EQ(presses.size(), 2u) << "the key down, then its key up";
    EXPECT_EQ(presses[0].scancode, 0x05u);
    EXPECT_EQ(presses[0].keycode, static_cast<uint32_t>(KEY_POWER));
    EXPECT_FALSE(presses[0].repeat);
    EXPECT_TRUE(presses[1].keyUp);
    EXPECT_EQ(presses[1].scancode, 0x05u);
    EXPECT_GE(presses[1].kernelUs, presses[0].kernelUs) << "kernel times go forward";
}

TEST(MockedEventDevice, AGrabElsewhereIsNamedWithWhoToAsk) {
    rccore_test::MockCard card(CARD_DEVICE, CARD_IOCTL, false);
    card.grabbedElsewhere(true);
    rireruv::Opened opened = rireruv::openEvent(kEventNode);
    EXPECT_EQ(opened.reader, nullptr);
    EXPECT_NE(opened.error.find("exclusive grab"), std::string::npos) << opened.error;
    EXPECT_NE(opened.error.find("fuser -v /dev/input/event5"), std::string::npos) << opened.error;

    card.grabbedElsewhere(false);
    opened = rireruv::openEvent(kEventNode);
    EXPECT_NE(opened.reader, nullptr) << opened.error;
}

// ir-keytable -r's lines ("scancode 0x0005 = KEY_POWER (0x74)"), from its output or made the
// same way from a table and the names keyName gives.
std::vector<std::string> keytableLines(const std::vector<rireruv::KeymapEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries) {
        char line[128];
        std::snprintf(line, sizeof line, "scancode 0x%04llx = %s (0x%02x)",
                      static_cast<unsigned long long>(e.scancode),
                      rireruv::keyName(e.keycode).c_str(), e.keycode);
        out.push_back(line);
    }
    return out;
}

std::vector<std::string> keytableLines(const std::string& command) {
    std::vector<std::string> out;
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr)
        return out;
    char line[256];
    while (std::fgets(line, sizeof line, p) != nullptr)
        if (std::strncmp(line, "scancode ", 9) == 0)
            out.push_back(std::string(line, std::strcspn(line, "\n")));
    pclose(p);
    return out;
}

// Run under umockdev-run with card_ioctl.sh's answers, which give the keymap's entries in
// turn rather than by index: a sequential reader still gets the card's table.
TEST(KeymapReplayed, IrKeytableListsTheTableTheBoardReads) {
    std::string error;
    const auto entries = rireruv::readKeymap(kEventNode, &error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(asMockKeys(entries), rccore_test::cardKeymap());
    EXPECT_EQ(keytableLines(std::string(IR_KEYTABLE) + " -r -s rc0"), keytableLines(entries));
}

} // namespace
