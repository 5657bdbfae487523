// The terminal front end: what it draws from the windows, and what keys and clicks become.
#include "terminal/escape.h"
#include "tests/support/bounded.h"
#include "tests/terminal/terminal_fixture.h"

namespace {

using namespace terminal_test;

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

// Each item is chosen by a click on its row: the last (the About item), and the first (Restore,
// which only a minimised window can choose).
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
    app->sysCommand(SC_MINIMIZE);
    press(Key{Key::Menu});
    row = -1, x = -1;
    while (x < 0 && ++row < io.rows)
        x = find(row, "Restore");
    ASSERT_GE(x, 0);
    press(Key{Key::Click, 0, x, row});
    EXPECT_FALSE(front->menuOpen());
    EXPECT_FALSE(IsIconic(app->active())) << "Restore chosen";
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
    withMessages(pending);
    EXPECT_NE(io.last.row(22).find("rireruv: board: simulated"), std::string::npos) << statusLine();
    // Two bad settings are two reasons: the earlier one stays in sight above the newer.
    pending = {"rireruv: first reason", "rireruv: second reason"};
    screen();
    EXPECT_NE(io.last.row(22).find("first reason"), std::string::npos) << statusLine();
    EXPECT_NE(io.last.row(23).find("second reason"), std::string::npos) << statusLine();
    // A third hides the first: the line says how many are not in sight.
    pending = {"rireruv: third reason"};
    screen();
    EXPECT_NE(io.last.row(22).find("second reason"), std::string::npos) << statusLine();
    EXPECT_NE(io.last.row(23).find("third reason (+2 more after exit)"), std::string::npos)
        << statusLine();
    EXPECT_EQ(front->messages().size(), 4u) << "each kept, to be written out again at the end";
}

// A long reason keeps its beginning, which names the setting, and says it is cut; alone, it
// takes both rows.
TEST_F(Terminal, LongReasonsKeepTheirBeginnings) {
    const std::string first = "rireruv: RIRERUV_DATA: " + std::string(100, 'x') + " first end";
    const std::string second = "rireruv: RIRERUV_DELAY_MS: " + std::string(100, 'y') + " end";
    std::vector<std::string> pending = {first};
    withMessages(pending);
    EXPECT_EQ(io.last.row(22).find(" rireruv: RIRERUV_DATA: "), 0u) << statusLine();
    EXPECT_NE(io.last.row(23).find("xxx... "), std::string::npos) << statusLine();
    pending = {second};
    screen();
    EXPECT_EQ(io.last.row(22).find(" rireruv: RIRERUV_DATA: xxx"), 0u) << statusLine();
    EXPECT_NE(io.last.row(22).find("xx... "), std::string::npos) << statusLine();
    EXPECT_EQ(io.last.row(23).find(" rireruv: RIRERUV_DELAY_MS: yyy"), 0u) << statusLine();
}

// An '&' in a message is a character like the others (only labels have mnemonics): a reason
// as wide as the status line minus one is wrapped before its last word, not cut in it.
TEST_F(Terminal, AnAmpersandInAMessageTakesItsCell) {
    std::string reason = "rireruv: RIRERUV_DATA: token 1, \"A&B\", is not a hex byte";
    reason.insert(9, std::string(78 - reason.size(), '-') + " "); // 79 cells
    std::vector<std::string> pending = {reason};
    withMessages(pending);
    EXPECT_NE(io.last.row(22).find("is not a hex "), std::string::npos) << statusLine();
    EXPECT_EQ(io.last.row(23).find(" byte "), 0u) << statusLine();
}

// What the library writes may hold control characters and escape sequences, which the
// terminal would obey: each is shown escaped, and a message of any length is bounded.
TEST_F(Terminal, TheLibrarysControlCharactersAreShownEscaped) {
    const std::string longOne = "rireruv: \"" + std::string(100000, 'A') + "\" is not a receiver";
    std::vector<std::string> pending = {"rireruv: \"a\x7f"
                                        "b\x1b[2Jc\xc2\x9b"
                                        "d\xff\" is not a receiver",
                                        longOne};
    withMessages(pending);
    EXPECT_NE(io.last.row(22).find("\"a\\x7Fb\\x1B[2Jc\\u009Bd\\xFF\" is not"), std::string::npos)
        << statusLine();
    EXPECT_EQ(front->messages()[1].size(), terminal::kMaxShownBytes + 18);
    EXPECT_EQ(front->messages()[1].substr(terminal::kMaxShownBytes),
              "... (" + std::to_string(longOne.size()) + " bytes)");
}

// Nothing that reaches the terminal is a control character, whatever the text: the
// executable's name, which the windows' captions take, is the user's.
TEST_F(Terminal, NoControlCharacterReachesTheTerminal) {
    model::ProgramOptions options;
    options.modulePath = "C:\\bin\\Test\x1b[2J\x07\x9b_rireruv.EXE";
    fake_zelk::status = 8; // the failure box's caption is the name
    front.reset();
    app.reset();
    app = startVerifier(options);
    front = std::make_unique<terminal::FrontEnd>(io, *app);
    const std::string s = screen();
    EXPECT_NE(s.find("ZELK_HWInit() failed!"), std::string::npos) << s;
    int controls = 0;
    for (int y = 0; y < io.rows; ++y)
        for (int x = 0; x < io.cols; ++x) {
            const char32_t c = io.last.at(x, y).ch;
            controls += c < 0x20 || (c >= 0x7F && c < 0xA0);
        }
    EXPECT_EQ(controls, 0) << s;
}

// Where the locale cannot show UTF-8, the terminal is sent ASCII: frames of + - |, and a '?'
// in each cell of a character it cannot show, so that the About box's OK is ">????<", not
// ">    <".
TEST_F(Terminal, WithoutUtf8TheScreenIsAscii) {
    ASSERT_TRUE(app->chooseSystemMenu(0x10));
    front->redraw();
    const std::string s = io.last.dump(false);
    EXPECT_EQ(std::count_if(s.begin(), s.end(), [](char c) { return (c & 0x80) != 0; }), 0) << s;
    for (const char* text :
         {">\?\?\?\?<", "| ???? Test_rireruv", "+-----", "Test_rireruv Version 1.0"})
        EXPECT_NE(s.find(text), std::string::npos) << text << " in\n" << s;
}

// The terminal must hold every window the program may open, the About box (61 x 11 cells)
// among them, not only those open now.
TEST_F(Terminal, TooSmallNoticeFitsAnySize) {
    io.cols = 30;
    io.rows = 8;
    for (const char* line : {"too small", "61x15", "30x8.", "comes back."}) {
        const std::string s = screen();
        EXPECT_NE(s.find(line), std::string::npos) << s;
    }
}

TEST_F(Terminal, TooSmallSaysSoAndRecovers) {
    io.cols = 50;
    io.rows = 24;
    EXPECT_NE(screen().find("61x15"), std::string::npos) << "the About box may open";
    io.cols = 80;
    io.rows = 24;
    front->redraw();
    EXPECT_EQ(screen().find("too small"), std::string::npos);
    EXPECT_NE(screen().find("VOR Odiruvid"), std::string::npos);
}

// A key that ends a long idle wait is handled at its own time: the timer Start sets is first
// due a period after it, as on Windows, not at once because the clock was last read before
// the wait.
TEST_F(Terminal, AfterAnIdleWaitTheFirstPollIsAPeriodAfterStart) {
    const uint64_t start = 5190;
    ScriptedIo script({{start, Key{Key::Enter}}, {start + 910, Key{Key::Escape}}});
    std::vector<uint64_t> polls; // ms after Start
    script.beforeRead = [this, &polls] {
        for (const std::string& line : app->takeRecord())
            if (line.rfind("ZELK_GetRemoteData", 0) == 0)
                polls.push_back(app->now() - start);
    };
    terminal::FrontEnd(script, *app).run();
    EXPECT_FALSE(app->running());
    EXPECT_EQ(polls, (std::vector<uint64_t>{200, 400, 600, 800}));
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

TEST_F(Terminal, TheFailureBoxIsTheVerdict) {
    EXPECT_FALSE((screen(), front->initFailed()));
    fake_zelk::status = 8;
    start();
    screen();
    EXPECT_TRUE(front->initFailed());
}

} // namespace
