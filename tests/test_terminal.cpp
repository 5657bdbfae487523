// The terminal front end: what it draws from the windows, and what keys and clicks become.
#include "verifier.h"

#include "frontend.h"
#include "resource.h"

namespace {

using terminal::Key;

// A terminal of a fixed size that keeps what was drawn last.
class FakeIo : public terminal::Io {
  public:
    FakeIo(int cols, int rows) : cols(cols), rows(rows), last(cols, rows) {}
    void size(int& c, int& r) override {
        c = cols;
        r = rows;
    }
    void draw(const terminal::ScreenBuffer& screen) override { last = screen; }
    bool read(Key&, int) override { return false; }
    int cols, rows;
    terminal::ScreenBuffer last;
};

class Terminal : public VerifierTest {
  protected:
    void SetUp() override {
        VerifierTest::SetUp();
        fake_zelk::data = {0xAB};
        start();
    }
    void start() {
        front.reset();
        app.reset(); // one program at a time: the model is one desktop
        app = startVerifier();
        front = std::make_unique<terminal::FrontEnd>(io, *app);
    }
    // A key or click through the front end; it returns with the program's answer.
    void press(Key key) { front->handle(key); }
    std::string screen() {
        front->redraw();
        return io.last.dump();
    }
    // The column where the text starts on that row of the screen, or -1.
    int find(int row, const std::string& text) {
        front->redraw();
        const auto& s = io.last;
        for (int x = 0; x < s.cols(); ++x) {
            std::string run;
            for (int k = x; k < s.cols() && run.size() < text.size(); ++k)
                if (!s.at(k, row).continuation)
                    run += model::utf8(std::u16string(1, static_cast<char16_t>(s.at(k, row).ch)));
            if (run == text)
                return x;
        }
        return -1;
    }

    FakeIo io{80, 24};
    std::unique_ptr<model::Program> app;
    std::unique_ptr<terminal::FrontEnd> front;
};

// The verifier is 174 x 64 dialog units: 44 x 8 cells of client area, centred on 80 x 22 (the
// status line takes the last two rows), in a frame of one column each side and four rows
// (border, caption, rule, border).
TEST_F(Terminal, VerifierLayoutFollowsTheTemplate) {
    const int left = (80 - 46) / 2, top = (22 - 12) / 2; // 17, 5
    front->redraw();
    const auto& s = io.last;
    EXPECT_EQ(s.at(left, top).ch, U'┌');
    EXPECT_EQ(find(top + 1, "▣ VOR Odiruvid Aru VAV713A / 878"), left + 2);
    EXPECT_EQ(s.at(left + 2, top + 1).attr & terminal::kReverse, terminal::kReverse) << "active";
    EXPECT_EQ(find(top + 1, "[X]"), left + 46 - 4);
    // Client origin (left + 1, top + 3); each control at (x / 4, y / 8) of its dialog units.
    const int cx = left + 1, cy = top + 3;
    EXPECT_EQ(find(cy + 1, "┌Remote Function"), cx + 2);                                   // 11, 13
    EXPECT_EQ(find(cy + 3, "Remote"), cx + 4) << "wrapped in its 11 cells, as on Windows"; // 17, 29
    EXPECT_EQ(find(cy + 4, "Data:"), cx + 4);
    EXPECT_EQ(find(cy + 3, ">Start<"), cx + 30) << "the focused button, marked"; // 123, 26
    press(Key{Key::Enter});
    app->advance(200);
    EXPECT_EQ(find(cy + 3, "AB"), cx + 16); // 67, 27
    EXPECT_EQ(find(cy + 3, ">Stop<"), cx + 30);
}

TEST_F(Terminal, ChineseTextsAreDoubleWidthAndLineUp) {
    press(Key{Key::Menu});
    ASSERT_TRUE(front->menuOpen());
    EXPECT_NE(screen().find("關於 Test_rireruv(A)..."), std::string::npos);
    press(Key{Key::Char, U'a'});
    ASSERT_EQ(app->active(), app->find(IDD_ABOUT));
    const int left = (80 - 61) / 2, top = (22 - 11) / 2;
    front->redraw();
    const auto& s = io.last;
    EXPECT_EQ(s.at(left + 2, top + 1).ch, U'關');
    EXPECT_TRUE(s.at(left + 3, top + 1).continuation);
    EXPECT_EQ(s.at(left + 4, top + 1).ch, U'於');
    EXPECT_EQ(s.at(left + 6, top + 1).ch, U' ');
    EXPECT_EQ(s.at(left + 7, top + 1).ch, U'T');
    const std::string row = s.row(top + 3);
    EXPECT_NE(row.find(">確定<"), std::string::npos) << row;
    EXPECT_EQ(find(top + 4, "Test_rireruv Version 1.0"), left + 1 + 40 * 6 / 4 / 6);
    EXPECT_EQ(find(top + 6, "[TV]"), left + 1 + 11 * 6 / 4 / 6) << "the icon"; // 11, 17
    press(Key{Key::Escape});
    EXPECT_EQ(app->active(), app->find(IDD_VERIFIER));
}

TEST_F(Terminal, SystemMenuByArrowsAndEnter) {
    press(Key{Key::Menu});
    // The first item that can be chosen is Move; Close, then the About item, follow.
    press(Key{Key::Down});
    press(Key{Key::Down});
    press(Key{Key::Enter});
    EXPECT_EQ(app->active(), app->find(IDD_ABOUT));
    press(Key{Key::Enter});
    EXPECT_EQ(app->active(), app->find(IDD_VERIFIER));
    press(Key{Key::Menu});
    press(Key{Key::Escape}); // closes the menu only
    EXPECT_FALSE(front->menuOpen());
    EXPECT_TRUE(app->running());
    press(Key{Key::Menu});
    press(Key{Key::Char, U'c'});
    EXPECT_FALSE(app->running());
}

TEST_F(Terminal, KeysAndClicksReachTheDialog) {
    press(Key{Key::Char, U' '});
    EXPECT_EQ(app->text(IDC_START_STOP), "Stop");
    press(Key{Key::Tab});
    press(Key{Key::BackTab});
    EXPECT_EQ(app->focusId(), IDC_START_STOP) << "the only tab stop";
    const int left = 17, top = 5;
    const int bx = find(top + 6, ">Stop<");
    ASSERT_GE(bx, 0);
    press(Key{Key::Click, 0, bx + 1, top + 6});
    EXPECT_EQ(app->text(IDC_START_STOP), "Start");
    press(Key{Key::Click, 0, left + 6, top + 6}); // the label: nothing
    EXPECT_EQ(app->text(IDC_START_STOP), "Start");
    press(Key{Key::Click, 0, left + 46 - 3, top + 1}); // the close box
    EXPECT_FALSE(app->running());
}

// Every cell of "[X]" is the close box; the caption before it and the frame after it are not.
TEST_F(Terminal, TheWholeCloseGlyphClosesAndNothingBesideIt) {
    for (int dx = -1; dx <= 3; ++dx) {
        SCOPED_TRACE(dx);
        int row = -1, glyph = -1;
        while (glyph < 0 && ++row < io.rows)
            glyph = find(row, "[X]");
        ASSERT_GE(glyph, 0);
        press(Key{Key::Click, 0, glyph + dx, row});
        EXPECT_EQ(app->running(), dx < 0 || dx > 2);
        start();
    }
}

TEST_F(Terminal, MinimisedWindowIsABarAndComesBack) {
    app->sysCommand(SC_MINIMIZE);
    const std::string s = screen();
    EXPECT_EQ(io.last.row(21).rfind("[▣ VOR Odiruvid", 0), 0u) << s << "above the status line";
    press(Key{Key::Menu});
    press(Key{Key::Char, U'r'});
    EXPECT_FALSE(IsIconic(app->active()));
}

TEST_F(Terminal, MenuItemsAreChosenByAClick) {
    press(Key{Key::Menu});
    int row = -1, x = -1;
    while (x < 0 && ++row < io.rows)
        x = find(row, "關於 Test_rireruv(A)...");
    ASSERT_GE(x, 0);
    press(Key{Key::Click, 0, x + 2, row});
    EXPECT_FALSE(front->menuOpen());
    EXPECT_EQ(app->active(), app->find(IDD_ABOUT));
    press(Key{Key::Escape});
    press(Key{Key::Menu});
    press(Key{Key::Click, 0, 0, 0}); // outside the menu: it closes, and nothing is chosen
    EXPECT_FALSE(front->menuOpen());
    EXPECT_EQ(app->active(), app->find(IDD_VERIFIER));
}

// Alt+F4 closes the active window as its close box does: the About box, then the verifier.
TEST_F(Terminal, AltF4ClosesTheActiveWindow) {
    ASSERT_TRUE(app->chooseSystemMenu(0x10));
    press(Key{Key::AltF4});
    EXPECT_EQ(app->active(), app->find(IDD_VERIFIER));
    press(Key{Key::AltF4});
    EXPECT_FALSE(app->running());
}

// The menu's Move follows the arrow keys until Enter; the dialog answers keys again after.
TEST_F(Terminal, MoveMovesTheWindowWithTheArrows) {
    const int before = find(6, "VOR Odiruvid");
    ASSERT_GE(before, 0);
    press(Key{Key::Menu});
    press(Key{Key::Char, U'm'});
    ASSERT_TRUE(front->moving());
    EXPECT_NE(screen().find("arrow keys"), std::string::npos) << "the status line says how";
    for (auto k : {Key::Right, Key::Right, Key::Right, Key::Down})
        press(Key{k});
    press(Key{Key::Enter});
    EXPECT_FALSE(front->moving());
    EXPECT_EQ(find(7, "VOR Odiruvid"), before + 3);
    EXPECT_EQ(app->text(IDC_START_STOP), "Start") << "Enter ended the move, not the dialog";
    press(Key{Key::Enter});
    EXPECT_EQ(app->text(IDC_START_STOP), "Stop");
}

TEST_F(Terminal, TheLibrarysMessagesAreOnTheStatusLine) {
    std::vector<std::string> pending = {"rireruv: board: simulated (demo remote)"};
    front = std::make_unique<terminal::FrontEnd>(io, *app, [&pending] {
        std::vector<std::string> out;
        out.swap(pending);
        return out;
    });
    screen();
    EXPECT_NE(io.last.row(22).find("rireruv: board: simulated"), std::string::npos)
        << io.last.dump();
    // Two bad settings are two reasons: the earlier one stays in sight above the newer.
    pending = {"rireruv: first reason", "rireruv: second reason"};
    screen();
    EXPECT_NE(io.last.row(22).find("first reason"), std::string::npos) << io.last.dump();
    EXPECT_NE(io.last.row(23).find("second reason"), std::string::npos) << io.last.dump();
    // A long message is wrapped over the status line's rows, and its end is kept.
    pending = {std::string(100, 'x') + " " + std::string(100, 'y') +
               " the end that says what to do"};
    screen();
    EXPECT_NE(io.last.row(23).find("the end that says what to do"), std::string::npos)
        << io.last.dump();
    EXPECT_EQ(io.last.dump().find("second reason"), std::string::npos) << "only whole messages";
    EXPECT_EQ(front->messages().size(), 4u) << "each kept, to be written out again at the end";
}

// At 30 x 8 the notice is wrapped to the width, and none of it is cut.
TEST_F(Terminal, TooSmallNoticeFitsAnySize) {
    io.cols = 30;
    io.rows = 8;
    for (const char* line : {"too small", "46x15", "30x8.", "comes back."}) {
        const std::string s = screen();
        EXPECT_NE(s.find(line), std::string::npos) << s;
    }
}

TEST_F(Terminal, TooSmallSaysSoAndRecovers) {
    io.cols = 40;
    io.rows = 10;
    EXPECT_NE(screen().find("too small"), std::string::npos);
    EXPECT_NE(screen().find("It needs 46x15"), std::string::npos);
    io.cols = 80;
    io.rows = 24;
    front->redraw();
    EXPECT_EQ(screen().find("too small"), std::string::npos);
    EXPECT_NE(screen().find("VOR Odiruvid"), std::string::npos);
}

TEST_F(Terminal, FailureMessageIsABoxOverEverything) {
    fake_zelk::status = 8;
    start();
    const std::string s = screen();
    EXPECT_NE(s.find("Test_rireruv"), std::string::npos);
    EXPECT_NE(s.find("ZELK_HWInit() failed!"), std::string::npos);
    EXPECT_NE(s.find(">OK<"), std::string::npos);
    press(Key{Key::Enter});
    EXPECT_FALSE(app->running());
}

} // namespace

namespace {

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
    for (const char* field : {"1", "1.2 s", "0x40c", "nec", "KEY_POWER", "(0C)"})
        EXPECT_NE(one.find(field), std::string::npos) << field << " in " << one;
    for (const char* field : {"2", "2.4 s", "not in rc-pinnacle-color", " 0C"})
        EXPECT_NE(two.find(field), std::string::npos) << field << " in " << two;
    EXPECT_NE(screen().find("Press log: 2 presses"), std::string::npos);
    EXPECT_LT(rowOf("Remote"), rowOf("Press log")) << "the dialog stays whole above the log";
    EXPECT_GE(rowOf("Press log"), 0);
    // A full log shows its newest rows, the oldest scrolled away; it keeps a bounded number.
    for (unsigned n = 3; n <= 100000; ++n)
        log.add(row(n, n, "KEY_1"));
    EXPECT_EQ(log.rows().size(), terminal::PressLog::kKept);
    EXPECT_EQ(rowOf("not in rc-pinnacle"), -1);
    EXPECT_EQ(rowOf("120000.0 s"), 32 - terminal::kStatusRows - 1) << "newest at the bottom";
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
    // Without the log's rows, the status line carries the hint itself.
    io.rows = 17;
    s = screen();
    EXPECT_NE(s.find("battery"), std::string::npos) << s;
    log.setHint("");
    io.rows = 32;
    s = screen();
    EXPECT_EQ(s.find("what to check"), std::string::npos) << s;
    EXPECT_EQ(s.find("only lirc"), std::string::npos) << s;
}

TEST_F(Terminal, TheFailureBoxIsTheVerdict) {
    EXPECT_FALSE((screen(), front->initFailed()));
    fake_zelk::status = 8;
    start();
    screen();
    EXPECT_TRUE(front->initFailed());
}

} // namespace
