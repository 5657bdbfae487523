// The About box from the system menu, the other system commands, and the minimised icon.
#include "res/resource.h"
#include "tests/support/verifier.h"

namespace {

using About = VerifierTest;

TEST_F(About, AboutCommandsOpenIt) {
    for (UINT_PTR id : {UINT_PTR{0x10}, UINT_PTR{0x13}, UINT_PTR{0x1F}}) {
        SCOPED_TRACE(id);
        auto app = startVerifier();
        HWND verifier = app->active();
        app->sysCommand(id);
        ASSERT_NE(app->active(), verifier);
        EXPECT_EQ(app->active(), app->find(IDD_ABOUT));
        EXPECT_EQ(app->caption(), "關於 Test_rireruv");
        EXPECT_EQ(app->text(IDOK), "確定");
        EXPECT_EQ(app->focusId(), IDOK);
    }
}

TEST_F(About, OtherCommandsDoNot) {
    auto app = startVerifier();
    app->takeRecord();
    for (UINT_PTR id : {UINT_PTR{0x0F}, UINT_PTR{0x20}, UINT_PTR{0x100}}) {
        app->sysCommand(id);
        EXPECT_EQ(app->find(IDD_ABOUT), nullptr);
    }
    EXPECT_TRUE(app->takeRecord().empty());
}

TEST_F(About, ChosenFromTheMenuAndDismissedAnyWay) {
    for (int how = 0; how < 4; ++how) {
        SCOPED_TRACE(how);
        auto app = startVerifier();
        HWND verifier = app->active();
        ASSERT_TRUE(app->chooseSystemMenu(0x10));
        ASSERT_EQ(app->active(), app->find(IDD_ABOUT));
        app->clickIn(verifier, IDC_START_STOP); // the verifier is disabled meanwhile
        EXPECT_EQ(app->active(), app->find(IDD_ABOUT));
        app->takeRecord();
        if (how == 0)
            app->click(IDOK);
        else if (how == 1)
            app->key(VK_ESCAPE);
        else if (how == 2)
            app->closeBox();
        else
            app->key(VK_RETURN);
        EXPECT_EQ(app->active(), verifier);
        EXPECT_EQ(app->find(IDD_ABOUT), nullptr);
        EXPECT_EQ(only(app->takeRecord(), {"ZELK", "Co", "WM_DESTROY"}),
                  std::vector<std::string>{"WM_DESTROY dialog 100"});
        EXPECT_EQ(app->text(IDC_START_STOP), "Start");
        EXPECT_EQ(app->focusId(), IDC_START_STOP);
    }
}

TEST_F(About, PollingGoesOnBehindIt) {
    fake_zelk::data = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
    auto app = startVerifier();
    HWND verifier = app->active();
    app->click(IDC_START_STOP);
    app->advance(200);
    app->chooseSystemMenu(0x10);
    app->takeRecord();
    app->advance(1000);
    EXPECT_EQ(only(app->takeRecord(), {"ZELK_GetRemoteData"}).size(), 5u);
    EXPECT_EQ(app->window(verifier)->control(IDC_REMOTE_DATA)->text, "6");
    app->key(VK_ESCAPE);
    EXPECT_EQ(app->text(IDC_START_STOP), "Stop");
}

TEST_F(About, StandardCommandsKeepTheirEffect) {
    auto app = startVerifier();
    HWND verifier = app->active();
    app->takeRecord();
    EXPECT_FALSE(app->chooseSystemMenu(SC_MINIMIZE)) << "no minimise box";
    ASSERT_TRUE(app->chooseSystemMenu(SC_MOVE));
    app->sysCommand(SC_MINIMIZE); // as the taskbar button does
    EXPECT_TRUE(IsIconic(verifier));
    ASSERT_TRUE(app->chooseSystemMenu(SC_RESTORE));
    EXPECT_FALSE(IsIconic(verifier));
    EXPECT_EQ(only(app->takeRecord(), {"move", "minimised", "restored"}),
              (std::vector<std::string>{"move loop dialog 102", "minimised dialog 102",
                                        "restored dialog 102"}));
    ASSERT_TRUE(app->chooseSystemMenu(SC_CLOSE));
    EXPECT_FALSE(app->running());
}

TEST_F(About, MinimisedPaintDrawsTheIconCentred) {
    struct Case {
        int width, height;
        const char* drawn;
    };
    // (width - 32 + 1) / 2, truncated toward zero: 28 gives -1, not -2.
    for (const Case& c : {Case{100, 50, "DrawIcon 34,9 icon 128 32x32 on dialog 102"},
                          Case{28, 28, "DrawIcon -1,-1 icon 128 32x32 on dialog 102"},
                          Case{32, 32, "DrawIcon 0,0 icon 128 32x32 on dialog 102"},
                          Case{0, 0, "DrawIcon -15,-15 icon 128 32x32 on dialog 102"},
                          Case{33, 31, "DrawIcon 1,0 icon 128 32x32 on dialog 102"}}) {
        SCOPED_TRACE(c.drawn);
        auto app = startVerifier();
        app->setIconicClient(c.width, c.height);
        app->takeRecord();
        app->sysCommand(SC_MINIMIZE);
        EXPECT_CALLS((std::vector<std::string>{
                         "minimised dialog 102",
                         "BeginPaint dialog 102",
                         "WM_ICONERASEBKGND dialog 102 with a device context",
                         "erase icon background dialog 102",
                         c.drawn,
                         "EndPaint dialog 102",
                     }),
                     app->takeRecord());
    }
}

TEST_F(About, RestoredPaintIsDefault) {
    auto app = startVerifier();
    app->takeRecord();
    app->invalidate();
    EXPECT_TRUE(app->takeRecord().empty());
    EXPECT_FALSE(app->window(app->active())->needsPaint);
}

TEST_F(About, DragIconIsTheApplicationIcon) {
    auto app = startVerifier();
    HWND verifier = app->active();
    const LRESULT icon = SendMessageA(verifier, WM_QUERYDRAGICON, 0, 0);
    EXPECT_EQ(model::Program::describeIcon(reinterpret_cast<HICON>(icon)), "icon 128 32x32");
    EXPECT_EQ(model::Program::describeIcon(reinterpret_cast<HICON>(icon)),
              app->window(verifier)->bigIcon);
}

} // namespace
