// The press log under the dialog, as the front end draws it from the library's presses.
#include "tests/terminal/terminal_fixture.h"

namespace {

using namespace terminal_test;

// The press log under the dialog: the library's presses with everything known of them.
class PressLogView : public Terminal {
  protected:
    void SetUp() override {
        Terminal::SetUp();
        io.cols = 100;
        io.rows = 32;
        front = std::make_unique<terminal::FrontEnd>(io, *app, nullptr, &log);
    }
    static terminal::LogRow row(unsigned n, uint64_t scancode, const std::string& key,
                                bool shown = true) {
        terminal::LogRow r;
        r.number = n;
        r.ms = 1200 * n;
        r.scancode = scancode;
        r.protocol = "nec";
        r.repeat = 0;
        r.key = key;
        r.byte = static_cast<int>(scancode & 0xFF);
        r.shown = shown;
        return r;
    }
    int rowOf(const std::string& text) {
        const std::string s = screen();
        for (int y = 0; y < io.last.rows(); ++y)
            if (io.last.row(y).find(text) != std::string::npos)
                return y;
        return -1;
    }
    terminal::PressLog log;
};

TEST_F(PressLogView, RowsUnderTheDialogNewestLastWithEveryField) {
    EXPECT_NE(screen().find("no press yet"), std::string::npos) << io.last.dump();
    log.add(row(1, 0x40c, "KEY_POWER", false));
    log.add(row(2, 0x40c, "not in rc-pinnacle-color"));
    const int first = rowOf("0x40c");
    ASSERT_GT(first, 0) << io.last.dump();
    const std::string one = io.last.row(first), two = io.last.row(first + 1);
    for (const char* field : {"1", "1.200", "0x40c", "nec", "KEY_POWER", "(0C)"})
        EXPECT_NE(one.find(field), std::string::npos) << field << " in " << one;
    for (const char* field : {"2", "2.400", "not in rc-pinnacle-color", " 0C"})
        EXPECT_NE(two.find(field), std::string::npos) << field << " in " << two;
    EXPECT_NE(screen().find("Press log: 2 presses"), std::string::npos);
    EXPECT_LT(rowOf("Remote"), rowOf("Press log")) << "the dialog stays whole above the log";
    EXPECT_GE(rowOf("Press log"), 0);
    // A full log shows its newest rows, the oldest scrolled away; it keeps a bounded number.
    for (unsigned n = 3; n <= 100000; ++n)
        log.add(row(n, n, "KEY_1"));
    EXPECT_EQ(log.rows().size(), terminal::PressLog::kKept);
    EXPECT_EQ(rowOf("not in rc-pinnacle"), -1);
    EXPECT_EQ(rowOf("120000.000"), 32 - terminal::kStatusRows - 1) << "newest at the bottom";
}

// A key held is one row that grows, then shows how long it was held; times are the kernel's,
// from the first press, to the millisecond.
TEST_F(PressLogView, AHeldKeyIsOneRowWithItsFramesAndItsRelease) {
    terminal::LogRow first = row(1, 0x40c, "KEY_POWER");
    first.timed = true;
    first.kernelUs = 5000000;
    log.add(first);
    terminal::LogRow held = row(2, 0x0c, "KEY_1");
    held.timed = true;
    held.kernelUs = 6234400;
    log.add(held);
    held.frames = 14;
    log.update(held);
    EXPECT_GE(rowOf("1.234"), 0) << io.last.dump();
    EXPECT_GE(rowOf("down x14"), 0) << io.last.dump();
    held.released = true;
    held.heldUs = 1400000;
    log.update(held);
    EXPECT_EQ(rowOf("1.234"), rowOf("1.40s x14")) << io.last.dump();
    EXPECT_EQ(rowOf("0.000"), rowOf("KEY_POWER")) << "the first press is time 0";
    EXPECT_NE(screen().find("Press log: 2 presses"), std::string::npos);
}

TEST_F(PressLogView, ATerminalTooSmallForTheLogLeavesItOutAndSaysSo) {
    io.cols = 80;
    io.rows = 17;
    log.add(row(1, 0x05, "KEY_POWER"));
    const std::string s = screen();
    EXPECT_EQ(s.find("Press log"), std::string::npos) << s;
    EXPECT_NE(s.find("press log left out: it needs"), std::string::npos) << s;
    EXPECT_NE(s.find("VOR Odiruvid"), std::string::npos) << "the dialog as before";
}

TEST_F(PressLogView, TheHintStandsInTheLogUntilWithdrawn) {
    log.setHint("no press in 8 s from rc0 (/dev/lirc0): only lirc is enabled on rc0; if none of "
                "this: the remote's battery");
    std::string s = screen();
    EXPECT_NE(s.find("only lirc is enabled"), std::string::npos) << s;
    EXPECT_NE((io.last.row(30) + io.last.row(31)).find("what to check is above"), std::string::npos)
        << s;
    // Without the log's rows, the status line carries the hint itself, from its beginning.
    io.rows = 17;
    s = screen();
    EXPECT_NE((io.last.row(15) + io.last.row(16)).find("no press in 8 s from rc0"),
              std::string::npos)
        << s;
    log.setHint("");
    io.rows = 32;
    s = screen();
    EXPECT_EQ(s.find("what to check"), std::string::npos) << s;
    EXPECT_EQ(s.find("only lirc"), std::string::npos) << s;
}

// After a failed set-up nothing will be pressed: the log's rows give the reason whole, where the
// status line has room for its start only.
TEST_F(PressLogView, AFailedSetUpGivesItsWholeReasonInTheLog) {
    const std::string reason =
        "rireruv: no card's receiver (RIRERUV_DEVICE unset, so the verifier looked for one): no "
        "remote receiver at all (/sys/class/rc is empty). Usually the card was not recognised "
        "(load saa7134 or bttv with card=N), its IR is off (disable_ir=1), ir-kbd-i2c is not "
        "loaded; for a receiver that works, dmesg shows \"Registered IR keymap\". To try the "
        "verifier without a card: RIRERUV_DEVICE=simulated";
    fake_zelk::status = 8;
    start();
    bool said = false;
    front = std::make_unique<terminal::FrontEnd>(
        io, *app,
        [&] {
            const bool first = !said;
            said = true;
            return first ? std::vector<std::string>{reason} : std::vector<std::string>{};
        },
        &log);
    screen();
    std::string s;
    for (int y = 0; y < io.last.rows(); ++y)
        s += io.last.row(y) + " ";
    std::string joined; // the screen's rows as one line, runs of blanks as one
    for (char c : s)
        if (c != ' ' || joined.empty() || joined.back() != ' ')
            joined += c;
    EXPECT_NE(joined.find("Registered IR keymap\". To try the verifier without a card: "
                          "RIRERUV_DEVICE=simulated"),
              std::string::npos)
        << io.last.dump();
    EXPECT_EQ(s.find("no press yet"), std::string::npos) << "nothing will be pressed";
}

} // namespace
