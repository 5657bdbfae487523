// The real board on the described card (mock_card.h) when something is off: a node named
// directly or through a link, both nodes failing, names that would move a terminal's cursor or
// are missing, and an event device that overflows or gives part of an event. Run under
// umockdev-wrapper.
//
// Why on the described card: each of these is decided where the board opens, names or reads a
// node, which only a testbed with the card's /sys, /dev and ioctls lets it do.
#include "receivers/read.h"
#include "rireruv/notes.h"
#include "tests/rireruv/rccore/board_under_test.h"
#include "tests/rireruv/rccore/mock_card.h"
#include "tests/support/files.h"
#include "tests/support/listening.h"
#include "tests/support/wait.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <linux/lirc.h>
#include <map>

namespace {

// A file of the running test's own in the scratch folder: ctest runs the programs at once.
std::string ofThisTest(const std::string& what) {
    return scratch(std::string("mock_board.") +
                   testing::UnitTest::GetInstance()->current_test_info()->name() + "." + what);
}

// A copy of a described file with the lines that begin with each key replaced (or, replaced by
// "", left out), written for this test alone.
std::string variant(const std::string& file, const std::map<std::string, std::string>& lines) {
    std::string out;
    for (const std::string& line : linesOf(file)) {
        std::string replaced = line + "\n";
        for (const auto& [key, with] : lines)
            if (line.rfind(key, 0) == 0)
                replaced = with.empty() ? "" : with + "\n";
        out += replaced;
    }
    std::string path = ofThisTest(file.substr(file.rfind('/') + 1));
    std::ofstream(path) << out;
    return path;
}

// The card's event device under another name: its EVIOCGNAME answer, as card_ioctl.sh writes one.
std::string ioctlNamed(const std::string& name) {
    std::string hex;
    for (const unsigned char c : name) {
        char byte[3];
        std::snprintf(byte, sizeof byte, "%02X", c);
        hex += byte;
    }
    hex += std::string((255 - name.size()) * 2, '0');
    return variant(CARD_IOCTL, {{"EVIOCGNAME(0) ",
                                 "EVIOCGNAME(0) " + std::to_string(name.size() + 1) + " " + hex}});
}

// Each test's trace a file of its own, beside the test's variants of the described files.
struct Board : rccore_test::BoardUnderTest {
    explicit Board(const std::string& device) : BoardUnderTest(device, ofThisTest("trace")) {}
};

const char kBoardLine[] = "rireruv: board: rc0, saa7134, saa7134 IR (Pinnacle PCTV 110i), reading ";
// What the card's GPIO receiver takes, from its empty protocols file and its event device's
// autorepeat (EVIOCGREP, rc-core's default).
const std::string kTakes = "; decodes in hardware (no protocols to choose); autorepeat 500/125 ms";

TEST(MockedCard, ANamedLircNodeIsReadAsALircNode) {
    rccore_test::MockCard card(CARD_DEVICE, CARD_IOCTL);
    Board b("/dev/lirc0");
    const auto [status, err] = b.init();
    ASSERT_EQ(status, 0) << err;
    EXPECT_EQ(err,
              kBoardLine + std::string("/dev/lirc0, keymap rc-pinnacle-color") + kTakes + "\n");
    EXPECT_EQ(card.lircMode(), static_cast<uint32_t>(LIRC_MODE_SCANCODE));
    card.pressOnLirc(0x40c, RC_PROTO_NEC);
    b.pollUntilTraced("press scancode=0x40c protocol=nec repeat=0"); // a protocol: lirc's record
}

// udev names the event device again under /dev/input/by-path (and by-id), with a link.
TEST(MockedCard, AByPathLinkNamesTheEventDevice) {
    rccore_test::MockCard card(CARD_DEVICE, CARD_IOCTL);
    const std::string alias = "/dev/input/by-path/pci-0000:05:01.0-event-ir";
    card.link(alias, "../event5");
    Board b(alias);
    const auto [status, err] = b.init();
    ASSERT_EQ(status, 0) << err;
    EXPECT_EQ(err, kBoardLine + std::string("/dev/input/event5, keymap rc-pinnacle-color") +
                       kTakes + "\n");
    card.pressOnEventDevice(0x1f);
    b.pollUntilTraced("press scancode=0x1f protocol=- repeat=0");
}

// The lirc node's failure is why the event device was tried: a reason that drops it sends the
// reader to fix only half.
TEST(MockedCard, WhenBothNodesFailBothReasonsAreGiven) {
    rccore_test::MockCard card(CARD_DEVICE, CARD_IOCTL, false);
    card.grabbedElsewhere(true);
    Board b("auto");
    const auto [status, err] = b.init();
    EXPECT_EQ(status, 8);
    EXPECT_EQ(err.rfind("rireruv: rc0: /dev/lirc0 does not answer as a lirc device (Inappropriate "
                        "ioctl for device); and /dev/input/event5 (\"saa7134 IR (Pinnacle PCTV "
                        "110i)\") is held by another program's exclusive grab",
                        0),
              0u)
        << err;
}

struct Heard {
    std::vector<std::string> messages, keymaps;
};

void hear(void* context, int kind, const RireruvPress* press, const char* text) {
    auto* heard = static_cast<Heard*>(context);
    if (kind == RIRERUV_NOTE_MESSAGE)
        heard->messages.push_back(text);
    else if (kind == RIRERUV_NOTE_PRESS)
        heard->keymaps.push_back(press->keymap);
}

// The driver's names reach the status line, the press log and the summary: escaped there, and
// named when there are none.
TEST(MockedCard, TheBoardLineNamesTheBoardEscapedOrSaysWhatIsMissing) {
    const std::string hostile =
        variant(CARD_DEVICE, {{"E: DRV_NAME=", "E: DRV_NAME=saa\x1B[2J7134"},
                              {"E: DEV_NAME=", "E: DEV_NAME=IR \x7F(\x1B]0;title\x07)"},
                              {"E: NAME=rc-", "E: NAME=rc-\x1B[31mred"}});
    Heard heard;
    {
        Listening listening(&hear, &heard);
        rccore_test::MockCard card(hostile, CARD_IOCTL);
        Board b("auto");
        const auto [status, err] = b.init();
        ASSERT_EQ(status, 0) << err;
        const std::string line = "board: rc0, saa\\e[2J7134, IR \\x7F(\\e]0;title\\x07), reading "
                                 "/dev/lirc0, keymap rc-\\e[31mred" +
                                 kTakes;
        EXPECT_EQ(err, "rireruv: " + line + "\n");
        EXPECT_EQ(heard.messages, std::vector<std::string>{line});
        card.pressOnLirc(0x05, RC_PROTO_NEC);
        b.pollUntilTraced("press scancode=0x5");
        EXPECT_EQ(heard.keymaps, std::vector<std::string>{"rc-\\e[31mred"});
    }

    const std::string unnamed = variant(
        CARD_DEVICE, {{"E: DRV_NAME=", "E: DRV_NAME="}, {"E: DEV_NAME=", ""}, {"E: NAME=rc-", ""}});
    rccore_test::MockCard card(unnamed, CARD_IOCTL);
    Board b("auto");
    const auto [status, err] = b.init();
    ASSERT_EQ(status, 0) << err;
    EXPECT_EQ(err, "rireruv: board: rc0, unknown driver, unnamed board, reading /dev/lirc0" +
                       kTakes + "\n");
}

// A receiver that decodes raw light says so before any press, with the protocols it has
// enabled and those it could enable: what a remote of another protocol needs.
TEST(MockedCard, TheBoardLineSaysWhatARawReceiverWillTake) {
    const std::string raw =
        variant(CARD_DEVICE, {{"A: protocols=\\n", "A: protocols=rc-5 [nec] jvc [lirc]\\n"}});
    rccore_test::MockCard card(raw, CARD_IOCTL);
    Board b("auto");
    const auto [status, err] = b.init();
    ASSERT_EQ(status, 0) << err;
    EXPECT_NE(err.find("keymap rc-pinnacle-color; decodes raw light in software: enabled nec; "
                       "available rc-5 nec jvc; autorepeat 500/125 ms\n"),
              std::string::npos)
        << err;
}

// The event device's name is the device's own, whatever a driver or a uinput program gave it.
TEST(MockedCard, ANewlineInTheEventDevicesNameForgesNoLine) {
    rccore_test::MockCard card(CARD_DEVICE, ioctlNamed("x\nrireruv: board: rc9, forged\x1B[2J"),
                               false);
    card.grabbedElsewhere(true);
    Board b("auto");
    const auto [status, err] = b.init();
    EXPECT_EQ(status, 8);
    EXPECT_NE(err.find("/dev/input/event5 (\"x\\nrireruv: board: rc9, forged\\e[2J\") is held by "
                       "another program's exclusive grab"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line";
}

// Drains reader until it gives presses, pressing scancode every 50 ms meanwhile: a press that
// reaches the node in the same read as an overflow is discarded with it. No faster, or a reader
// that hears nothing would leave the node's stream to fill until the press could not be written.
std::vector<rireruv::Press> pressUntilRead(rccore_test::MockCard& card, rireruv::Reader& reader,
                                           uint32_t scancode) {
    std::vector<rireruv::Press> out;
    int tries = 0;
    waitUntil(
        [&] {
            EXPECT_EQ(reader.drain(out), rireruv::Drained::Ready) << reader.why();
            if (!out.empty())
                return true;
            if (tries++ % 10 == 9)
                card.pressOnEventDevice(scancode);
            return false;
        },
        std::chrono::seconds(10), std::chrono::milliseconds(5));
    return out;
}

std::vector<uint64_t> scancodes(const std::vector<rireruv::Press>& presses) {
    std::vector<uint64_t> out;
    out.reserve(presses.size());
    for (const auto& p : presses)
        out.push_back(p.scancode);
    return out;
}

// The kernel tells a reader that fell behind with SYN_DROPPED; libevdev then has the reader
// catch up with the device's state before it gives events again. A reader stuck catching up
// would hear nothing more for the rest of the session.
TEST(MockedEventDevice, PressesAfterAnOverflowAreStillRead) {
    rccore_test::MockCard card(CARD_DEVICE, CARD_IOCTL, false);
    rireruv::Opened opened = rireruv::openEvent("/dev/input/event5");
    ASSERT_NE(opened.reader, nullptr) << opened.error;
    EXPECT_EQ(scancodes(pressUntilRead(card, *opened.reader, 0x10)), std::vector<uint64_t>{0x10});
    for (const uint32_t scancode : {0x21u, 0x22u}) { // and again after a second overflow
        card.overflowOnEventDevice();
        const auto after = scancodes(pressUntilRead(card, *opened.reader, scancode));
        ASSERT_FALSE(after.empty()) << "nothing read after SYN_DROPPED";
        EXPECT_EQ(after, std::vector<uint64_t>(after.size(), scancode));
    }
}

// evdev gives whole events or none; libevdev answers a read that was not whole with EINVAL,
// which strerror would call "Invalid argument", as if the board had asked wrongly.
TEST(MockedEventDevice, PartOfAnEventIsNotCalledAnInvalidArgument) {
    rccore_test::MockCard card(CARD_DEVICE, CARD_IOCTL, false);
    Board b("/dev/input/event5");
    ASSERT_EQ(b.init().first, 0);
    card.partOfAnEventOnEventDevice();
    testing::internal::CaptureStderr();
    b.pollUntilTraced("error ");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "rireruv: rc0 (/dev/input/event5) gave part of an input event, which no kernel event "
              "device does: no more presses will be read. The verifier keeps running; start it "
              "again once the card is back\n");
}

} // namespace
