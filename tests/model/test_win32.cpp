// The Win32 behaviour our framework and program rely on, pinned down once and run twice: on
// the model (tests/CMakeLists.txt) and on Wine's user32 (cross-built, under Wine). Where the
// two knowingly differ, the test says so where it stands.
#include "tests/model/harness.h"

#include <gtest/gtest.h>

namespace fidelity {
void runDialog() {
    const INT_PTR r = DialogBoxParamW(module(), MAKEINTRESOURCEW(100), nullptr, dialogProc, 0);
    note("DialogBox returned " + std::to_string(r));
}
} // namespace fidelity

namespace {

using namespace fidelity;

const UINT kApp = 0x8000; // WM_APP: messages of our own

int count(const std::vector<std::string>& record, const std::string& line) {
    int n = 0;
    for (const auto& r : record)
        n += r == line;
    return n;
}

// Ends the dialog with the command's id, as a dialog procedure does.
INT_PTR endOnCommand(HWND h, UINT msg, WPARAM wp) {
    if (msg == WM_COMMAND) {
        EndDialog(h, LOWORD(wp));
        return TRUE;
    }
    return msg == WM_INITDIALOG;
}

TEST(Win32, TimerTicksAtItsPeriodAndSettingItAgainReplacesIt) {
    Session s([](HWND h, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG || msg == kApp)
            SetTimer(h, 7, 100, nullptr);
        if (msg == kApp + 1) {
            note(KillTimer(h, 7) ? "killed" : "no timer");
            note(KillTimer(h, 7) ? "killed" : "no timer");
        }
        return msg == WM_INITDIALOG;
    });
    s.take();
    s.wait(1000);
    EXPECT_NEAR(count(s.take(), "WM_TIMER 7"), 10, 2);
    s.post(kApp, 0, 0); // the same id again: it restarts, it is not a second timer
    s.take();
    s.wait(1000);
    EXPECT_NEAR(count(s.take(), "WM_TIMER 7"), 10, 2);
    s.post(kApp + 1, 0, 0);
    EXPECT_EQ(only(s.take(), {"killed", "no timer"}),
              (std::vector<std::string>{"killed", "no timer"}));
    s.wait(500);
    EXPECT_EQ(count(s.take(), "WM_TIMER 7"), 0);
}

TEST(Win32, ABusyProgramGetsOneTickNotAPile) {
    Session s([](HWND h, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG)
            SetTimer(h, 1, 100, nullptr);
        if (msg == kApp) {
            busy(1000); // ten ticks fall due meanwhile
            note("busy done");
        }
        return msg == WM_INITDIALOG;
    });
    s.post(kApp, 0, 0);
    s.wait(40);
    const auto record = only(s.take(), {"busy done", "WM_TIMER"});
    const auto done = std::find(record.begin(), record.end(), "busy done");
    ASSERT_NE(done, record.end());
    // The ten due ticks come as one. A second one may be the next period's own: the busy second
    // starts wherever in a period the post found the timer, so the next tick can fall due in
    // the 40 ms. A pile would be ten.
    const auto ticks = record.end() - done - 1;
    EXPECT_GE(ticks, 1) << "no tick in the 40 ms after a busy second";
    EXPECT_LE(ticks, 2) << "ticks in the 40 ms after a busy second: the due ones piled up";
}

TEST(Win32, PostedMessagesComeBeforePaintAndPaintBeforeTimers) {
    Session s([](HWND h, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
        if (msg == kApp)
            SetTimer(h, 2, 10, nullptr);
        // Handled inside the time the test lets pass, so that timer 3 is due on the model too
        // (its clock runs only as far as the test allows) and all three wait on return.
        if (msg == WM_TIMER && wp == 2) {
            KillTimer(h, 2);
            SetTimer(h, 3, 10, nullptr);
            busy(50);
            invalidate(h);
            postMessage(h, kApp + 1, 0, 0);
        }
        if (msg == kApp + 1)
            note("WM_APP+1");
        return msg == WM_INITDIALOG || msg >= kApp;
    });
    s.wait(100);
    s.post(kApp, 0, 0);
    s.take();
    s.wait(200);
    auto record = only(s.take(), {"WM_APP", "WM_PAINT", "WM_TIMER 3"});
    record.resize(std::min<size_t>(record.size(), 3));
    EXPECT_EQ(record, (std::vector<std::string>{"WM_APP+1", "WM_PAINT", "WM_TIMER 3"}));
}

// The program's handler sets a timer, then is busy past its due time.
INT_PTR busyPastATick(HWND h, UINT msg, WPARAM wp) {
    if (msg == kApp) {
        SetTimer(h, 1, 10, nullptr);
        busy(100);
    }
    if (msg == WM_COMMAND)
        note("key " + std::to_string(LOWORD(wp)));
    return msg == WM_INITDIALOG || msg == kApp || msg == WM_COMMAND;
}

// Keys pressed while the program is busy come before the tick that fell due meanwhile, each
// of them: however slow a handler (a library call), it never puts a tick before the user.
TEST(Win32, KeysPressedWhileBusyComeBeforeTheTickThatFellDue) {
    Session s([](HWND h, UINT msg, WPARAM wp, LPARAM) { return busyPastATick(h, msg, wp); });
    s.wait(50);
    s.take();
    s.postMeanwhile(kApp, {VK_RETURN, VK_RETURN}, false);
    s.wait(50);
    auto record = only(s.take(), {"key", "WM_TIMER"});
    record.resize(std::min<size_t>(record.size(), 3));
    EXPECT_EQ(record, (std::vector<std::string>{"key 1", "key 1", "WM_TIMER 1"}));
}

// A window uncovered while the program is busy is painted before the tick that fell due
// meanwhile: WM_PAINT comes before WM_TIMER whenever both wait.
TEST(Win32, AWindowUncoveredWhileBusyIsPaintedBeforeTheTickThatFellDue) {
    Session s([](HWND h, UINT msg, WPARAM wp, LPARAM) { return busyPastATick(h, msg, wp); });
    s.wait(50);
    s.take();
    s.postMeanwhile(kApp, {}, true);
    s.wait(50);
    auto record = only(s.take(), {"WM_PAINT", "WM_TIMER"});
    record.resize(std::min<size_t>(record.size(), 2));
    EXPECT_EQ(record, (std::vector<std::string>{"WM_PAINT", "WM_TIMER 1"}));
}

TEST(Win32, NoTickAfterTheWindowIsDestroyed) {
    static int opened;
    opened = 0;
    Session s(
        [](HWND h, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
            if (msg == WM_INITDIALOG && ++opened == 1)
                SetTimer(h, 1, 50, nullptr);
            if (msg == WM_DESTROY)
                note("destroyed");
            return endOnCommand(h, msg, wp);
        },
        [] {
            runDialog();
            runDialog(); // a second modal loop, where a dead window's tick would show
        });
    s.wait(120);
    s.key(VK_ESCAPE);
    s.wait(300);
    const auto record = only(s.take(), {"destroyed", "WM_TIMER", "DialogBox"});
    const auto destroyed = std::find(record.begin(), record.end(), "destroyed");
    ASSERT_NE(destroyed, record.end());
    EXPECT_GE(destroyed - record.begin(), 1) << "ticks before the close";
    EXPECT_EQ(std::count(destroyed, record.end(), "WM_TIMER 1"), 0);
}

TEST(Win32, EscAndTheCloseCommandEndWithCancelAndEnterWithTheDefaultButton) {
    const auto handler = [](HWND h, UINT msg, WPARAM wp, LPARAM) {
        return endOnCommand(h, msg, wp);
    };
    struct Case {
        int how;
        const char* result;
    };
    for (const Case& c : {Case{0, "DialogBox returned 2"}, Case{1, "DialogBox returned 2"},
                          Case{2, "DialogBox returned 1"}}) {
        Session s(handler);
        if (c.how == 0)
            s.key(VK_ESCAPE);
        else if (c.how == 1)
            s.sysCommand(SC_CLOSE);
        else
            s.key(VK_RETURN);
        s.wait(50);
        EXPECT_TRUE(s.finished()) << c.how;
        EXPECT_EQ(only(s.take(), {"DialogBox"}), std::vector<std::string>{c.result}) << c.how;
    }
}

TEST(Win32, AppendedItemsEndTheSystemMenuAndSendTheirIds) {
    Session s([](HWND h, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG) {
            HMENU menu = GetSystemMenu(h, FALSE);
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(menu, MF_STRING, 0x10, wide("About").c_str());
            return TRUE;
        }
        if (msg == WM_SYSCOMMAND)
            note("WM_SYSCOMMAND " + std::to_string(wp));
        return FALSE;
    });
    const auto menu = systemMenu(s.dialog());
    ASSERT_GE(menu.size(), 3u);
    EXPECT_EQ(menu[menu.size() - 2], "-");
    EXPECT_EQ(menu.back(), "0x10 About");
    EXPECT_NE(std::find_if(menu.begin(), menu.end(),
                           [](const std::string& m) { return m.rfind("0xF060 ", 0) == 0; }),
              menu.end())
        << "Close";
    // Wine adds an item of its own ("About Wine") before ours; the model has only the
    // standard ones. Both end with what the program appended, which is what it relies on.
    s.sysCommand(0x10);
    EXPECT_EQ(only(s.take(), {"WM_SYSCOMMAND"}), std::vector<std::string>{"WM_SYSCOMMAND 16"});
}

TEST(Win32, MinimiseAndRestore) {
    Session s([](HWND, UINT msg, WPARAM, LPARAM) -> INT_PTR { return msg == WM_INITDIALOG; });
    HWND d = s.dialog();
    // A window not yet shown by the window manager is not minimised by it either.
    ASSERT_TRUE(s.waitUntil([d] { return visible(d); }));
    s.sysCommand(SC_MINIMIZE);
    EXPECT_TRUE(s.waitUntil([d] { return IsIconic(d) != FALSE; }));
    s.sysCommand(SC_RESTORE);
    EXPECT_TRUE(s.waitUntil([d] { return IsIconic(d) == FALSE; }));
}

TEST(Win32, ANestedDialogDisablesItsOwnerWhoseTimersGoOn) {
    static HWND outer;
    outer = nullptr;
    Session s([](HWND h, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG && outer == nullptr) {
            outer = h;
            SetTimer(h, 5, 100, nullptr);
        }
        if (msg == kApp && h == outer) {
            DialogBoxParamW(module(), MAKEINTRESOURCEW(100), h, dialogProc, 0);
            note("nested returned");
            return TRUE;
        }
        return endOnCommand(h, msg, wp);
    });
    s.post(kApp, 0, 0);
    ASSERT_NE(s.dialog(), outer);
    EXPECT_FALSE(enabled(outer));
    s.take();
    s.wait(1000);
    EXPECT_NEAR(count(s.take(), "WM_TIMER 5"), 10, 2);
    s.key(VK_ESCAPE);
    s.wait(50);
    EXPECT_EQ(only(s.take(), {"nested"}), std::vector<std::string>{"nested returned"});
    EXPECT_EQ(s.dialog(), outer);
    EXPECT_TRUE(enabled(outer));
}

// Which of a dialog's windows h is, for a failure's message.
std::string whichOf(HWND h, HWND dialog) {
    if (h == nullptr)
        return "no window";
    if (h == dialog)
        return "the dialog itself";
    for (int id : {IDOK, IDCANCEL, 1008, 1009})
        if (h == GetDlgItem(dialog, id))
            return "control " + std::to_string(id);
    return "another window";
}

// After a modal dialog owned by a dialog ends, the owner is the active window again and the
// control that had the focus has it again: the dialog manager saves a dialog's focus when the
// dialog is deactivated and restores it when it is activated (DefDlgProc, WM_ACTIVATE). So the
// keyboard goes on where it was, without a click. The focus is first moved off the owner's
// first tab stop, where a dialog that had lost it would put it back.
TEST(Win32, AfterANestedDialogItsOwnerIsActiveWithTheFocusItHad) {
    static HWND outer;
    outer = nullptr;
    const int kField = 1008, kButton = 1009; // of template 102: a static, the only tab stop
    Session s(
        [](HWND h, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
            if (msg == WM_INITDIALOG && outer == nullptr)
                outer = h;
            if (msg == kApp && h == outer)
                focusOn(GetDlgItem(h, static_cast<int>(wp)));
            if (msg == kApp + 1 && h == outer) {
                DialogBoxParamW(module(), MAKEINTRESOURCEW(100), h, dialogProc, 0);
                note("nested returned");
            }
            return msg >= kApp || endOnCommand(h, msg, wp);
        },
        [] { DialogBoxParamW(module(), MAKEINTRESOURCEW(102), nullptr, dialogProc, 0); });
    ASSERT_NE(outer, nullptr);
    ASSERT_TRUE(s.waitUntil([&] { return s.activeWindow() == outer; }));
    EXPECT_EQ(whichOf(s.focus(), outer), "control " + std::to_string(kButton));
    s.post(kApp, kField, 0);
    ASSERT_EQ(whichOf(s.focus(), outer), "control " + std::to_string(kField));
    s.post(kApp + 1, 0, 0);
    HWND inner = s.dialog();
    ASSERT_NE(inner, outer);
    EXPECT_TRUE(s.waitUntil([&] { return s.activeWindow() == inner; }));
    s.key(VK_ESCAPE);
    EXPECT_EQ(only(s.take(), {"nested"}), std::vector<std::string>{"nested returned"});
    EXPECT_TRUE(s.waitUntil([&] { return s.activeWindow() == outer; }))
        << "the active window is " << whichOf(s.activeWindow(), outer);
    EXPECT_TRUE(s.waitUntil([&] { return s.focus() == GetDlgItem(outer, kField); }))
        << "the focus is on " << whichOf(s.focus(), outer) << ", not on control " << kField;
}

TEST(Win32, ComCountsItsInitialisations) {
    Session s(nullptr, [] {
        note("hr CoInitialize " + std::to_string(CoInitialize(nullptr)));
        note("hr CoInitialize " + std::to_string(CoInitialize(nullptr)));
        note("hr CoInitializeEx " + std::to_string(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        CoUninitialize();
        CoUninitialize();
    });
    s.wait(50);
    EXPECT_EQ(
        only(s.take(), {"hr "}),
        (std::vector<std::string>{"hr CoInitialize 0", "hr CoInitialize 1",
                                  "hr CoInitializeEx " + std::to_string(RPC_E_CHANGED_MODE)}));
}

// Run under code page 1252 (LANG=C under Wine): the "A" functions lose what it cannot hold.
TEST(Win32, AnsiTextLosesWhatTheCodePageCannotHold) {
    Session s(nullptr, [] {
        char buffer[64] = "";
        LoadStringA(module(), 101, buffer, sizeof buffer);
        note(std::string("text ") + buffer);
    });
    s.wait(50);
    EXPECT_EQ(only(s.take(), {"text"}), std::vector<std::string>{"text ?? Test_rireruv(&A)..."});
}

} // namespace
