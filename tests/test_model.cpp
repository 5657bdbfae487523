// The model's own Win32 behaviour where the program depends on it: timers, message order,
// modal loops, dialog keys, COM. Each test drives a bare dialog procedure, not our framework.
#include "verifier.h"

#include "resource.h"

#include <functional>

namespace {

using Model = VerifierTest;

// The procedure under test, and what it saw.
std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> g_onMessage;

INT_PTR CALLBACK testProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER)
        model::note("WM_TIMER " + std::to_string(wp) + " at " + std::to_string(model::desktop().now));
    if (msg == WM_PAINT)
        model::note("WM_PAINT");
    return g_onMessage ? g_onMessage(h, msg, wp, lp) : FALSE;
}

int runBareDialog() {
    const INT_PTR r = DialogBoxParamW(model::moduleHandle(), MAKEINTRESOURCEW(IDD_ABOUT), nullptr,
                                      testProc, 0);
    model::note("DialogBox returned " + std::to_string(r));
    return 0;
}

std::vector<std::string> ticks(const std::vector<std::string>& record) {
    return only(record, {"WM_TIMER"});
}

TEST_F(Model, TimerTicksAtItsPeriodAndSettingAgainRestartsIt) {
    g_onMessage = [](HWND h, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG)
            SetTimer(h, 7, 300, nullptr);
        return FALSE;
    };
    model::Program app(programResources(), runBareDialog);
    app.advance(650);
    EXPECT_EQ(ticks(app.takeRecord()), (std::vector<std::string>{"WM_TIMER 7 at 300", "WM_TIMER 7 at 600"}));
    SetTimer(app.active(), 7, 100, nullptr); // at 650: replaces, counting from now
    app.advance(200);
    EXPECT_EQ(ticks(app.takeRecord()), (std::vector<std::string>{"WM_TIMER 7 at 750", "WM_TIMER 7 at 850"}));
    EXPECT_EQ(model::desktop().timers.size(), 1u);
    EXPECT_TRUE(KillTimer(app.active(), 7));
    EXPECT_FALSE(KillTimer(app.active(), 7));
    app.advance(1000);
    EXPECT_TRUE(ticks(app.takeRecord()).empty());
    g_onMessage = nullptr;
}

TEST_F(Model, BusyProgramGetsOneTickNotAPile) {
    g_onMessage = [](HWND h, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG)
            SetTimer(h, 1, 200, nullptr);
        if (msg == WM_TIMER && model::desktop().now == 200)
            model::desktop().now += 1000; // the handler took a second
        return FALSE;
    };
    model::Program app(programResources(), runBareDialog);
    app.advance(1500);
    // Due at 400..1200 while busy: one tick at 1200, then the timer keeps its phase.
    EXPECT_EQ(ticks(app.takeRecord()),
              (std::vector<std::string>{"WM_TIMER 1 at 200", "WM_TIMER 1 at 1200",
                                        "WM_TIMER 1 at 1400"}));
    g_onMessage = nullptr;
}

TEST_F(Model, PostedMessagesComeBeforePaintAndPaintBeforeTimers) {
    g_onMessage = [](HWND h, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG)
            SetTimer(h, 3, 10, nullptr);
        if (msg == WM_COMMAND)
            model::note("WM_COMMAND");
        return FALSE;
    };
    model::Program app(programResources(), runBareDialog);
    EXPECT_EQ(only(app.takeRecord(), {"WM_"}), (std::vector<std::string>{"WM_PAINT"}));
    // All three are waiting when the program next looks at its queue.
    model::window(app.active())->needsPaint = true;
    model::post(app.active(), WM_COMMAND, 999, 0);
    app.advance(10);
    EXPECT_EQ(only(app.takeRecord(), {"WM_"}),
              (std::vector<std::string>{"WM_COMMAND", "WM_PAINT", "WM_TIMER 3 at 10"}));
    g_onMessage = nullptr;
}

TEST_F(Model, NoTickAfterTheWindowIsDestroyed) {
    g_onMessage = [](HWND h, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG)
            SetTimer(h, 1, 200, nullptr);
        if (msg == WM_COMMAND)
            EndDialog(h, 5);
        return FALSE;
    };
    model::Program app(programResources(), [] {
        runBareDialog();
        model::note("after");
        return runBareDialog(); // a second modal run: only its own timer may tick
    });
    app.advance(199);
    app.click(IDOK);
    app.takeRecord();
    app.advance(199);
    EXPECT_TRUE(ticks(app.takeRecord()).empty());
    g_onMessage = nullptr;
}

TEST_F(Model, DialogKeysAndCloseBoxEndWithCancel) {
    g_onMessage = [](HWND h, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
        if (msg == WM_COMMAND) {
            EndDialog(h, LOWORD(wp));
            return TRUE;
        }
        return msg == WM_INITDIALOG;
    };
    for (int how = 0; how < 3; ++how) {
        model::Program app(programResources(), runBareDialog);
        if (how == 0)
            app.key(VK_ESCAPE);
        else if (how == 1)
            app.closeBox();
        else
            app.chooseSystemMenu(SC_CLOSE);
        EXPECT_EQ(app.takeRecord().back(), "DialogBox returned 2") << how;
    }
    model::Program app(programResources(), runBareDialog);
    app.key(VK_RETURN); // the default push button
    EXPECT_EQ(app.takeRecord().back(), "DialogBox returned 1");
    g_onMessage = nullptr;
}

TEST_F(Model, ComCountsLikeTheRealOne) {
    model::Program app(programResources(), [] {
        model::note(std::to_string(CoInitialize(nullptr)));
        model::note(std::to_string(CoInitialize(nullptr)));
        model::note(std::to_string(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        CoUninitialize();
        CoUninitialize();
        CoUninitialize();
        return 0;
    });
    EXPECT_EQ(app.takeRecord(),
              (std::vector<std::string>{"CoInitialize S_OK", "0", "CoInitialize S_FALSE", "1",
                                        std::to_string(RPC_E_CHANGED_MODE), "CoUninitialize",
                                        "CoUninitialize", "CoUninitialize unbalanced"}));
}

TEST_F(Model, AnsiTextLosesWhatTheCodePageCannotHold) {
    model::Program app(programResources(), [] {
        char buffer[64];
        LoadStringA(model::moduleHandle(), IDS_ABOUT_MENU, buffer, sizeof buffer);
        model::note(buffer);
        return 0;
    });
    EXPECT_EQ(app.takeRecord(), std::vector<std::string>{"?? Test_rireruv(&A)..."});
}

} // namespace
