// The framework's own rules, where the program leans on them without showing it: which message
// Default() hands on, who owns a dialog, and where a command that no window handles ends up.
#include "platform/afx/afxwin.h"
#include "res/resource.h"
#include "tests/support/verifier.h"

namespace {

// Before letting the system command have its default processing, the handler sends its own
// window another message, as OnPaint sends WM_ICONERASEBKGND.
class SendingDlg : public CDialog {
  public:
    SendingDlg() : CDialog(IDD_ABOUT) {}

  protected:
    afx_msg void OnSysCommand(UINT /*nID*/, LPARAM /*lParam*/) {
        SendMessage(WM_NULL);
        Default();
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(SendingDlg, CDialog)
ON_WM_SYSCOMMAND() // void OnSysCommand(UINT nID, LPARAM lParam)
END_MESSAGE_MAP()

using Framework = VerifierTest;

TEST_F(Framework, DefaultAfterANestedSendProcessesTheMessageBeingHandled) {
    model::Program app(programResources(), [] {
        SendingDlg dlg;
        model::note("DoModal " + std::to_string(dlg.DoModal()));
        return 0;
    });
    ASSERT_TRUE(app.running());
    app.sysCommand(SC_CLOSE);
    EXPECT_FALSE(app.running()) << "the close went to default processing";
    EXPECT_EQ(only(app.takeRecord(), {"DoModal"}), std::vector<std::string>{"DoModal 2"});
}

// On any system command, opens a dialog that names it as its parent; no main window is set.
class ParentDlg : public CDialog {
  public:
    ParentDlg() : CDialog(IDD_ABOUT) {}

  protected:
    afx_msg void OnSysCommand(UINT /*nID*/, LPARAM /*lParam*/) {
        CDialog child(IDD_VERIFIER, this);
        child.DoModal();
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ParentDlg, CDialog)
ON_WM_SYSCOMMAND() // void OnSysCommand(UINT nID, LPARAM lParam)
END_MESSAGE_MAP()

TEST_F(Framework, AGivenParentOwnsTheDialogAndIsDisabledMeanwhile) {
    model::Program app(programResources(), [] {
        ParentDlg dlg;
        return static_cast<int>(dlg.DoModal());
    });
    app.sysCommand(SC_RESTORE);
    ASSERT_EQ(app.active(), app.find(IDD_VERIFIER));
    app.takeRecord();
    app.clickIn(app.find(IDD_ABOUT), IDOK);
    EXPECT_TRUE(only(app.takeRecord(), {"EndDialog"}).empty()) << "a click on a disabled owner";
    app.key(VK_ESCAPE);
    EXPECT_EQ(app.active(), app.find(IDD_ABOUT));
    app.clickIn(app.find(IDD_ABOUT), IDOK);
    EXPECT_FALSE(app.running());
}

TEST_F(Framework, ACommandNoDialogHandlesGoesOnToTheApplication) {
    // The dialog's map has no ID_HELP; the application's has.
    CDialog dlg(IDD_ABOUT);
    EXPECT_TRUE(dlg.OnCmdMsg(ID_HELP, 0));
}

// A dialog that will not go: every end is answered by opening it again.
class StubbornDlg : public CDialog {
  public:
    StubbornDlg() : CDialog(IDD_ABOUT) {}
};

bool g_unwound = false;
struct Unwound {
    ~Unwound() { g_unwound = true; }
};

// A program that never ends is unwound when its Program goes: its frames' destructors run,
// and the next program starts on a clean desktop.
TEST_F(Framework, AProgramThatWillNotEndIsUnwound) {
    g_unwound = false;
    {
        model::Program app(programResources(), [] {
            Unwound guard;
            for (;;) {
                StubbornDlg dlg;
                dlg.DoModal();
            }
            return 0;
        });
        ASSERT_TRUE(app.running());
        app.takeRecord();
    } // the destructor ends the dialog sixteen times, then unwinds
    EXPECT_TRUE(g_unwound);
    auto app = startVerifier();
    EXPECT_EQ(app->caption(), "VOR Odiruvid Aru VAV713A / 878");
    EXPECT_EQ(app->windows().size(), 1u) << "nothing of the unwound program is left";
    app->click(IDC_START_STOP);
    EXPECT_EQ(app->text(IDC_START_STOP), "Stop") << "the new dialog answers its own messages";
}

} // namespace
