// Start-up, set-up and teardown of the verifier dialog: the order of the calls, the failure
// report, COM and the library kept balanced, the ways to close it.
#include "dialog/VerifierDlg.h"
#include "platform/afx/afxwin.h"
#include "res/resource.h"
#include "tests/support/verifier.h"

namespace {

const std::vector<std::string> kSetUp = {
    "AppendMenu separator",
    "AppendMenu 0x10 關於 Test_rireruv(&A)...",
    "WM_SETICON big icon 128 32x32",
    "WM_SETICON small icon 128 32x32",
    "CoInitialize S_OK",
    "ZELK_HWInit 0",
};

// Closing after a successful set-up: the library, then COM, are released in the teardown.
const std::vector<std::string> kCloseAfterSetUp = {
    "EndDialog dialog 102 IDCANCEL",
    "WM_DESTROY dialog 102",
    "ZELK_Free",
    "CoUninitialize",
};

// A verifier whose base data exchange shows where the base set-up runs.
class ObservedDlg : public CVerifierDlg {
    void DoDataExchange(CDataExchange* pDX) override {
        model::note("DoDataExchange");
        CVerifierDlg::DoDataExchange(pDX);
    }
};

using Lifetime = VerifierTest;

TEST_F(Lifetime, RunsInOrderAndFocusesTheButton) {
    auto app = startVerifier();
    ASSERT_TRUE(app->running());
    EXPECT_CALLS(kSetUp, app->takeRecord());
    EXPECT_EQ(app->caption(), "VOR Odiruvid Aru VAV713A / 878");
    EXPECT_EQ(app->focusId(), IDC_START_STOP);
    EXPECT_EQ(app->text(IDC_REMOTE_DATA), "");
    EXPECT_EQ(app->text(IDC_START_STOP), "Start");
}

TEST_F(Lifetime, BaseSetUpRunsFirst) {
    model::Program app(programResources(), [] {
        ObservedDlg dlg;
        return static_cast<int>(dlg.DoModal());
    });
    const auto record = app.takeRecord();
    ASSERT_FALSE(record.empty());
    EXPECT_EQ(record.front(), "DoDataExchange");
    EXPECT_EQ(record.at(1), "AppendMenu separator");
}

TEST_F(Lifetime, AboutItemIsAppendedAfterTheStandardItems) {
    auto app = startVerifier();
    const auto menu = app->systemMenu();
    ASSERT_GE(menu.size(), 2u);
    EXPECT_EQ(menu[menu.size() - 2], "-");
    EXPECT_EQ(menu.back(), "0x10 關於 Test_rireruv(&A)...");
}

TEST_F(Lifetime, FailedInitReportsOnceAndEndsTheProgram) {
    fake_zelk::status = 8;
    auto app = startVerifier();
    ASSERT_TRUE(app->running()); // the message box waits for the user
    EXPECT_EQ(app->caption(), "Test_rireruv");
    app->key(VK_RETURN);
    EXPECT_FALSE(app->running());
    EXPECT_EQ(app->exitCode(), 0);
    EXPECT_CALLS((std::vector<std::string>{
                     "AppendMenu separator",
                     "AppendMenu 0x10 關於 Test_rireruv(&A)...",
                     "WM_SETICON big icon 128 32x32",
                     "WM_SETICON small icon 128 32x32",
                     "CoInitialize S_OK",
                     "ZELK_HWInit 8",
                     "MessageBox \"ZELK_HWInit() failed!\" \"Test_rireruv\" MB_OK",
                     "EndDialog message box IDOK",
                     "WM_DESTROY message box",
                     "CoUninitialize",
                     "EndDialog dialog 102 IDCANCEL",
                     "WM_DESTROY dialog 102",
                 }),
                 app->takeRecord());
}

TEST_F(Lifetime, FailureBoxCanBeDismissedAnyWay) {
    for (int how = 0; how < 3; ++how) {
        SCOPED_TRACE(how);
        fake_zelk::status = 8;
        auto app = startVerifier();
        if (how == 0)
            app->click(IDOK);
        else if (how == 1)
            app->key(VK_ESCAPE);
        else
            app->closeBox();
        EXPECT_FALSE(app->running());
        const auto record = app->takeRecord();
        EXPECT_EQ(only(record, {"MessageBox"}).size(), 1u);
        EXPECT_EQ(only(record, {"CoUninitialize"}).size(), 1u);
        EXPECT_TRUE(only(record, {"ZELK_Free"}).empty());
    }
}

TEST_F(Lifetime, OnlyStatusEightIsAFailure) {
    for (int status : {0, 1, 7, 9, -1, 255, 0x7FFFFFFF, -8}) {
        SCOPED_TRACE(status);
        fake_zelk::status = status;
        auto app = startVerifier();
        EXPECT_EQ(app->caption(), "VOR Odiruvid Aru VAV713A / 878");
        EXPECT_TRUE(only(app->takeRecord(), {"MessageBox"}).empty());
        app->key(VK_ESCAPE);
        EXPECT_FALSE(app->running());
        EXPECT_CALLS(kCloseAfterSetUp, app->takeRecord());
    }
}

// COM already initialised on the thread (S_FALSE) or in another mode (a failure): the
// library is left alone, and COM is uninitialised exactly when the call succeeded.
TEST_F(Lifetime, ComOtherThanOkSkipsTheLibrary) {
    struct Case {
        model::ProgramOptions::Com com;
        const char* result;
        bool uninitialise;
    };
    for (const Case& c : {Case{model::ProgramOptions::Com::Apartment, "CoInitialize S_FALSE", true},
                          Case{model::ProgramOptions::Com::Multithreaded,
                               "CoInitialize RPC_E_CHANGED_MODE", false}}) {
        SCOPED_TRACE(c.result);
        model::ProgramOptions options;
        options.com = c.com;
        auto app = startVerifier(options);
        const auto record = app->takeRecord();
        EXPECT_EQ(only(record, {"CoInitialize", "ZELK"}), std::vector<std::string>{c.result});
        EXPECT_EQ(app->caption(), "VOR Odiruvid Aru VAV713A / 878");
        app->closeBox();
        EXPECT_FALSE(app->running());
        EXPECT_EQ(only(app->takeRecord(), {"ZELK", "CoUninitialize"}),
                  c.uninitialise ? std::vector<std::string>{"CoUninitialize"}
                                 : std::vector<std::string>{});
        EXPECT_EQ(app->comInitializations(), 1) << "the thread's own initialisation stays";
    }
}

TEST_F(Lifetime, EveryWayOfClosingTearsDownOnce) {
    for (int how = 0; how < 3; ++how) {
        SCOPED_TRACE(how);
        auto app = startVerifier();
        app->takeRecord();
        if (how == 0)
            app->key(VK_ESCAPE);
        else if (how == 1)
            app->closeBox();
        else
            ASSERT_TRUE(app->chooseSystemMenu(SC_CLOSE));
        EXPECT_FALSE(app->running());
        EXPECT_CALLS(kCloseAfterSetUp, app->takeRecord());
        EXPECT_EQ(app->comInitializations(), 0);
        EXPECT_TRUE(app->windows().empty());
    }
}

TEST_F(Lifetime, DoModalReturnsAfterTheTeardown) {
    model::Program app(programResources(), [] {
        CVerifierDlg dlg;
        const INT_PTR result = dlg.DoModal();
        model::note("DoModal " + std::to_string(result));
        return 0;
    });
    app.key(VK_ESCAPE);
    const auto record = app.takeRecord();
    ASSERT_GE(record.size(), 2u);
    EXPECT_EQ(record[record.size() - 2], "CoUninitialize");
    EXPECT_EQ(record.back(), "DoModal 2");
}

// Resources altered the way a different build could have them.
TEST_F(Lifetime, NoSystemMenuOrNoAboutTextAppendsNothing) {
    auto noSysMenu = programResources();
    auto dialog = noSysMenu.find(model::kRtDialog, IDD_VERIFIER)->data;
    dialog[14] &= static_cast<uint8_t>(~(WS_SYSMENU >> 16)); // style word of the DIALOGEX header
    noSysMenu.replace(model::kRtDialog, IDD_VERIFIER, dialog);

    auto noText = programResources();
    std::vector<uint8_t> emptyBlock(32, 0); // sixteen empty strings: ids 96 to 111
    noText.replace(model::kRtString, IDS_ABOUT_MENU / 16 + 1, emptyBlock);

    for (auto* resources : {&noSysMenu, &noText}) {
        auto app = startVerifier({}, *resources);
        const auto record = app->takeRecord();
        EXPECT_TRUE(only(record, {"AppendMenu"}).empty());
        EXPECT_EQ(only(record, {"ZELK_HWInit"}).size(), 1u);
        EXPECT_EQ(app->focusId(), IDC_START_STOP);
    }
}

TEST_F(Lifetime, TitleIsTheStringOrElseTheExecutableName) {
    fake_zelk::status = 8;
    model::ProgramOptions options;
    struct Case {
        const char* path;
        const char* title;
    };
    // The native program's own path has '/', which ends the folders as '\\' does.
    for (const Case& c : {Case{"D:\\tools\\v1.2\\Verify.Board.exe", "Verify.Board"},
                          Case{"/usr/local/bin/Test_rireruv", "Test_rireruv"},
                          Case{"/opt/v1.2/Verify", "Verify"}}) {
        options.modulePath = c.path;
        auto app = startVerifier(options);
        EXPECT_EQ(app->caption(), c.title) << c.path;
    }
    // A string-table block of sixteen strings; the title is the first of ids 0xE000 to 0xE00F.
    std::vector<uint8_t> block = {2, 0, 'T', 0, 'V', 0};
    block.resize(block.size() + 15 * 2, 0);
    auto titled = programResources();
    titled.replace(model::kRtString, AFX_IDS_APP_TITLE / 16 + 1, block);
    auto app = startVerifier(options, titled);
    EXPECT_EQ(app->caption(), "TV");
}

TEST_F(Lifetime, CommandLineChangesNothing) {
    static char args[] = "/about -x --data=FF \"C:\\some file\"";
    model::Program app(programResources(),
                       [] { return AfxWinMain(model::moduleHandle(), nullptr, args, 1); });
    EXPECT_CALLS(kSetUp, app.takeRecord());
}

} // namespace
