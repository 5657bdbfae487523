// e2e_driver.exe: drives the real Test_rireruv.EXE under Wine, scenario by scenario, and
// prints one verdict per scenario. The output directory receives report.txt and the
// screenshots (.bmp).
//   e2e_driver.exe OUTPUT_DIRECTORY                 the scenarios
//   e2e_driver.exe OUTPUT_DIRECTORY --scenario NAME the one scenario of that name
//   e2e_driver.exe OUTPUT_DIRECTORY --soak SECONDS  polling that long leaks nothing
//   e2e_driver.exe OUTPUT_DIRECTORY --bench SECONDS the benchmark's figures under Wine
// Run from bin/stdcall, where a copy sits beside the __stdcall stand-in, it drives the same
// EXE against that library. (Over 300 lines: the scenarios share their checks, and are read
// as one list.)
#include "res/resource.h"
#include "tests/e2e/legibility.h"
#include "tests/e2e/measure.h"
#include "tests/e2e/session.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>

namespace {

// The captions are the templates' (tests/program/test_resources.cpp checks their text).
const std::wstring kCaption = templateCaption(IDD_VERIFIER);
const std::wstring kAboutCaption = templateCaption(IDD_ABOUT);
const int kData = IDC_REMOTE_DATA, kButton = IDC_START_STOP;

std::wstring g_out;
FILE* g_report = nullptr;

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    if (g_report) {
        std::fprintf(g_report, "%s\n", line.c_str());
        std::fflush(g_report);
    }
}

// One scenario's findings, and what it measured (said whether it passes or not).
struct Check {
    std::vector<std::string> failures;
    std::vector<std::string> notes;
    bool expect(bool ok, const std::string& what) {
        if (!ok)
            failures.push_back(what);
        return ok;
    }
    bool equal(const std::wstring& actual, const std::wstring& expected, const std::string& what) {
        return expect(actual == expected,
                      what + ": expected \"" + utf8(expected) + "\", got \"" + utf8(actual) + "\"");
    }
};

std::string hex(unsigned long v) {
    char s[16];
    std::snprintf(s, sizeof s, "0x%08lX", v);
    return s;
}

// Polls counted in the trace over a stretch of real time.
int pollsDuring(Verifier& v, DWORD ms) {
    const int before = v.count("ZELK_GetRemoteData");
    pause(ms); // the span measured: the polls that come in it are the figure
    return v.count("ZELK_GetRemoteData") - before;
}

HWND openVerifier(Verifier& v, Check& c) {
    HWND d = v.waitWindow(kCaption);
    c.expect(d != nullptr, "the verifier window did not appear");
    return d;
}

// The library's calls in their order: ZELK_HWInit first, then only polls, then ZELK_Free,
// once and last. A call that left the stack off would end the sequence early.
bool closedAndReleased(Verifier& v, Check& c) {
    if (!c.expect(v.waitExit(5000), "the process did not end"))
        return false;
    const auto trace = v.trace();
    c.expect(v.count("ZELK_Free") == 1,
             "ZELK_Free should run once, ran " + std::to_string(v.count("ZELK_Free")));
    c.expect(!trace.empty() && trace.front().rfind("ZELK_HWInit ", 0) == 0,
             "ZELK_HWInit should be the first library call");
    for (size_t i = 1; i + 1 < trace.size(); ++i)
        c.expect(trace[i].rfind("ZELK_GetRemoteData ", 0) == 0,
                 "call " + std::to_string(i + 1) + " is \"" + trace[i] + "\", not a poll");
    return c.expect(!trace.empty() && trace.back() == "ZELK_Free",
                    "ZELK_Free should be the last library call");
}

bool showsStart(void* dialog) {
    return itemText(*static_cast<HWND*>(dialog), kButton) == L"Start";
}
bool showsStop(void* dialog) {
    return itemText(*static_cast<HWND*>(dialog), kButton) == L"Stop";
}
bool showsAByte(void* dialog) {
    return !itemText(*static_cast<HWND*>(dialog), kData).empty();
}
bool closed(void* window) {
    return !IsWindow(*static_cast<HWND*>(window));
}

// A message box that should offer one button: checks that it does, presses it, and waits for
// the process to end. False when the process runs on.
bool dismissedTheOnlyButton(Verifier& v, Check& c, HWND box) {
    HWND ok = FindWindowExW(box, nullptr, L"Button", nullptr);
    c.expect(ok != nullptr && FindWindowExW(box, ok, L"Button", nullptr) == nullptr,
             "the box should have one button");
    click(ok);
    return c.expect(v.waitExit(5000), "the process did not end after the message");
}

// Polling at the verifier's period, 200 ms: about ten polls in two seconds.
void pollsAtItsPeriod(Verifier& v, Check& c) {
    const int polls = pollsDuring(v, 2000);
    c.expect(polls >= 8 && polls <= 12,
             "polls in 2 s: " + std::to_string(polls) + ", not about 10");
}

// A scenario that acts on the open verifier, then closes it as the system menu does: whatever
// the scenario did, the program must end having released the library. A verifier that never
// opens fails the scenario without running it.
void onTheDialog(Verifier& v, Check& c, const std::function<void(HWND)>& scenario) {
    HWND d = openVerifier(v, c);
    if (!d)
        return;
    scenario(d);
    sysCommand(d, SC_CLOSE);
    closedAndReleased(v, c);
}

// ---- scenarios ----------------------------------------------------------------------------

// What the probe saw in the verifier, sorted: its controls' lines, its system menu's, and the
// dialog's base units (the pixels of 4 by 8 dialog units).
struct Probed {
    std::set<std::string> lines;
    std::vector<std::string> controls, menu;
    long baseX = 0, baseY = 0;
};
Probed probed(Verifier& v, HWND d) {
    Probed p;
    for (const auto& l : v.probe(d)) {
        p.lines.insert(l);
        if (l.rfind("control ", 0) == 0)
            p.controls.push_back(l);
        else if (l.rfind("menu ", 0) == 0)
            p.menu.push_back(l);
        else if (l.rfind("base_units ", 0) == 0)
            std::sscanf(l.c_str(), "base_units %ld %ld", &p.baseX, &p.baseY);
    }
    return p;
}

// A control's class as GetClassName says it: a template names the system's by number.
std::string className(const model::ResId& cls) {
    static const char* const kByNumber[] = {"Button",  "Edit",      "Static",
                                            "ListBox", "ScrollBar", "ComboBox"};
    if (!cls.isNumber)
        return utf8(std::wstring(cls.name.begin(), cls.name.end()));
    if (cls.number >= 0x80 && cls.number <= 0x85)
        return kByNumber[cls.number - 0x80];
    return "#" + std::to_string(cls.number);
}

// The window styles (high word) and the control's type (low four bits): what makes the control
// it is. The class's options between are compared bit for bit in the template itself, by
// tests/program/test_resources.cpp.
const unsigned long kComparedStyle = 0xFFFF000F;

// A control the probe saw against the template's item: its id, class, style, and its rectangle
// in pixels, which the dialog units give through the base units, within a pixel for rounding.
bool asTheTemplateSays(const std::string& seen, const model::DialogItem& item, const Probed& p) {
    int id = 0;
    char cls[64] = "";
    unsigned long style = 0;
    long x = 0, y = 0, w = 0, h = 0;
    if (std::sscanf(seen.c_str(), "control %d %63s %lx %ld %ld %ld %ld", &id, cls, &style, &x, &y,
                    &w, &h) != 7)
        return false;
    auto within = [](long px, int du, long base, int per) {
        return std::labs(px - du * base / per) <= 1;
    };
    return id == item.id && cls == className(item.windowClass) &&
           (style & kComparedStyle) == (item.style & kComparedStyle) &&
           within(x, item.x, p.baseX, 4) && within(y, item.y, p.baseY, 8) &&
           within(w, item.cx, p.baseX, 4) && within(h, item.cy, p.baseY, 8);
}

std::string described(const model::DialogItem& item) {
    return std::to_string(item.id) + " " + className(item.windowClass) + " " + hex(item.style) +
           " at " + std::to_string(item.x) + "," + std::to_string(item.y) + " size " +
           std::to_string(item.cx) + "x" + std::to_string(item.cy) + " dialog units";
}

// The verifier's controls, in their order, are those of its template in the EXE it runs from:
// the window system made them from it, and the program moved or restyled none.
void controlsAsItsTemplateSays(Check& c, const Probed& p) {
    model::DialogTemplate t;
    try {
        t = dialogTemplate(exeDir() + L"Test_rireruv.EXE", IDD_VERIFIER);
    } catch (const std::exception& e) {
        c.expect(false, std::string("the verifier's template: ") + e.what());
        return;
    }
    if (!c.expect(p.controls.size() == t.items.size(), std::to_string(p.controls.size()) +
                                                           " controls, the template has " +
                                                           std::to_string(t.items.size())))
        return;
    for (size_t i = 0; i < t.items.size(); ++i)
        c.expect(asTheTemplateSays(p.controls[i], t.items[i], p),
                 "control " + std::to_string(i + 1) + " is \"" + p.controls[i] +
                     "\"; the template says " + described(t.items[i]) + ", base units " +
                     std::to_string(p.baseX) + " " + std::to_string(p.baseY));
}

void dialogAtOpen(Check& c) {
    Verifier v(Settings{});
    HWND d = openVerifier(v, c);
    if (!d)
        return;
    const LONG style = GetWindowLongW(d, GWL_STYLE), exStyle = GetWindowLongW(d, GWL_EXSTYLE);
    const LONG wanted = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    c.expect((style & wanted) == wanted,
             "window style " + hex(style) + " lacks part of " + hex(wanted));
    c.expect((style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)) == 0,
             "no minimise, maximise or sizing: " + hex(style));
    c.expect((exStyle & WS_EX_APPWINDOW) != 0, "WS_EX_APPWINDOW missing: " + hex(exStyle));
    c.equal(itemText(d, kData), L"", "data field");
    c.equal(itemText(d, kButton), L"Start", "button");
    c.expect(focusOf(v.threadId()) == item(d, kButton),
             "the focus is not on the Start/Stop button");

    const Probed p = probed(v, d);
    const std::string focus = "focus " + std::to_string(kButton);
    for (const std::string& line : {std::string("icon_big app"), std::string("icon_small app"),
                                    std::string("drag_icon app"), focus})
        c.expect(p.lines.count(line) == 1, "probe: \"" + line + "\" missing");
    c.expect(p.menu.size() >= 2 &&
                 p.menu[p.menu.size() - 2].find("separator") != std::string::npos &&
                 p.menu.back().find("0x10 string 關於 Test_rireruv(&A)...") != std::string::npos,
             "the system menu does not end with a separator and the About item");
    controlsAsItsTemplateSays(c, p);
    sysCommand(d, SC_CLOSE);
    closedAndReleased(v, c);
}

void pollsTheDataInTurn(Check& c) {
    Verifier v(Settings{{"RIRERUV_DATA", "00 05 0A 1F AB FF"}});
    onTheDialog(v, c, [&](HWND d) {
        click(item(d, kButton));
        waitFor(3000, showsStop, &d);
        c.equal(itemText(d, kButton), L"Stop", "button while polling");
        // Watch the field closely for three seconds: each value follows its predecessor.
        const std::vector<std::wstring> cycle = {L"0", L"5", L"A", L"1F", L"AB", L"FF"};
        std::vector<std::wstring> seen;
        for (int i = 0; i < 300; ++i) {
            const std::wstring now = itemText(d, kData);
            if (!now.empty() && (seen.empty() || seen.back() != now))
                seen.push_back(now);
            pause(10); // a span of the three seconds watched, not a wait
        }
        std::string shown;
        for (const auto& s : seen)
            shown += utf8(s) + " ";
        std::set<std::wstring> distinct(seen.begin(), seen.end());
        c.expect(distinct.size() == cycle.size(), "values shown: " + shown);
        for (size_t i = 1; i < seen.size(); ++i) {
            size_t k = 0;
            while (k < cycle.size() && cycle[k] != seen[i - 1])
                ++k;
            c.expect(k < cycle.size() && cycle[(k + 1) % cycle.size()] == seen[i],
                     "out of turn: " + shown);
        }
        pollsAtItsPeriod(v, c);
        screenshot(g_out + L"\\polling.bmp", {d});
    });
}

void stopKeepsTheValue(Check& c) {
    Verifier v(Settings{{"RIRERUV_DATA", "1F AB"}});
    HWND d = openVerifier(v, c);
    if (!d)
        return;
    click(item(d, kButton));
    c.expect(waitFor(3000, showsAByte, &d), "no byte shown within 3 s of Start");
    click(item(d, kButton));
    c.expect(waitFor(3000, showsStart, &d),
             "button after Stop: expected \"Start\", got \"" + utf8(itemText(d, kButton)) + "\"");
    const std::wstring kept = itemText(d, kData);
    c.expect(kept == L"1F" || kept == L"AB", "field after Stop: " + utf8(kept));
    // Nothing should happen: a second in which to see it does not.
    c.expect(pollsDuring(v, 1000) == 0, "polls went on after Stop");
    c.equal(itemText(d, kData), kept, "field a second after Stop");
    // A new Start clears nothing: until its first poll, a period later, the field keeps the
    // byte. The field is read before the trace, so with no new poll traced it was read before
    // any; one already traced (a machine slower than the period) leaves nothing to compare.
    const int polled = v.count("ZELK_GetRemoteData");
    click(item(d, kButton));
    c.expect(waitFor(3000, showsStop, &d), "the button did not say Stop after a new Start");
    const std::wstring afterStart = itemText(d, kData);
    c.expect(afterStart == kept || v.count("ZELK_GetRemoteData") > polled,
             "field just after a new Start: \"" + utf8(afterStart) + "\", not \"" + utf8(kept) +
                 "\"");
    pressKey(focusOf(v.threadId()), VK_ESCAPE);
    closedAndReleased(v, c);
}

void startStopStartLeavesOneTimer(Check& c) {
    Verifier v(Settings{{"RIRERUV_DATA", "01"}});
    onTheDialog(v, c, [&](HWND d) {
        for (int i = 0; i < 3; ++i)
            click(item(d, kButton));
        c.expect(v.caughtUp(d), "the verifier did not take the three clicks");
        c.equal(itemText(d, kButton), L"Stop", "button after Start, Stop, Start");
        pollsAtItsPeriod(v, c);
    });
}

void foreignTimerIsIgnored(Check& c) {
    Verifier v(Settings{{"RIRERUV_DATA", "AB"}});
    onTheDialog(v, c, [&](HWND d) {
        for (WPARAM id : {0u, 2u, 7u, 0x10001u})
            PostMessageW(d, WM_TIMER, id, 0);
        c.expect(v.caughtUp(d), "the verifier did not take the timer messages");
        c.expect(v.count("ZELK_GetRemoteData") == 0, "a foreign timer id polled the library");
        c.equal(itemText(d, kData), L"", "field after foreign timers");
    });
}

// Where the verifier's thread has its activation and keyboard focus, for a failure's message.
std::string focusState(const Verifier& v, HWND d) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(v.threadId(), &info);
    auto name = [d](HWND h) -> std::string {
        if (h == nullptr)
            return "none";
        if (h == d)
            return "the verifier itself";
        if (GetParent(h) == d)
            return "its control " + std::to_string(GetDlgCtrlID(h));
        return "\"" + utf8(textOf(h)) + "\"";
    };
    return "active window " + name(info.hwndActive) + ", focus " + name(info.hwndFocus);
}

struct VerifierWindow {
    const Verifier* v;
    HWND d;
};
// As after the About box on Windows: the verifier is active again, and the dialog manager has
// given the focus back to the control that had it, Start/Stop.
bool focusBackOnTheButton(void* context) {
    const auto* w = static_cast<VerifierWindow*>(context);
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(w->v->threadId(), &info) && info.hwndActive == w->d &&
           info.hwndFocus == item(w->d, kButton);
}

void aboutBox(Check& c) {
    Verifier v(Settings{{"RIRERUV_DATA", "01 02 03"}});
    HWND d = openVerifier(v, c);
    if (!d)
        return;
    click(item(d, kButton));
    struct Way {
        WPARAM command;
        int dismiss; // 0 its button, 1 Esc, 2 the close command
    };
    for (const Way& way : {Way{0x10, 0}, Way{0x13, 1}, Way{0x1F, 2}}) {
        const std::string tag = "About from " + hex(way.command) + ": ";
        sysCommand(d, way.command);
        HWND about = v.waitWindow(kAboutCaption, 3000);
        if (!c.expect(about != nullptr, tag + "no About box"))
            return;
        c.equal(itemText(about, IDOK), L"確定", tag + "button");
        c.expect(GetWindow(about, GW_OWNER) == d, tag + "not owned by the verifier");
        c.expect(!IsWindowEnabled(d), tag + "the verifier stays enabled behind it");
        c.expect(pollsDuring(v, 1000) >= 4, tag + "polling stopped behind the About box");
        if (way.command == 0x10)
            screenshot(g_out + L"\\about.bmp", {about, d});
        if (way.dismiss == 0)
            click(item(about, IDOK));
        else if (way.dismiss == 1)
            pressKey(focusOf(v.threadId()), VK_ESCAPE);
        else
            sysCommand(about, SC_CLOSE);
        waitFor(3000, closed, &about);
        c.expect(!IsWindow(about), tag + "still open after dismissal");
        c.expect(IsWindowEnabled(d), tag + "the verifier is not enabled again");
        VerifierWindow w{&v, d};
        c.expect(waitFor(3000, focusBackOnTheButton, &w),
                 tag + "the focus did not come back to Start/Stop: " + focusState(v, d));
        c.equal(itemText(d, kButton), L"Stop", tag + "button afterwards");
    }
    sysCommand(d, 0x20);
    // Hidden ones too: a modal box is shown only once its loop has taken what was queued.
    c.expect(v.caughtUp(d), "the verifier did not take the command 0x20");
    c.expect(v.findAnyWindow(kAboutCaption) == nullptr, "0x20 opened the About box");
    sysCommand(d, SC_CLOSE);
    closedAndReleased(v, c);
}

void failedInitialisation(Check& c) {
    Verifier v(Settings{{"RIRERUV_INIT_STATUS", "8"}, {"RIRERUV_DATA", "01"}});
    HWND box = v.waitWindow(L"Test_rireruv");
    if (!c.expect(box != nullptr, "no message box captioned \"Test_rireruv\""))
        return;
    c.equal(itemText(box, 0xFFFF), L"ZELK_HWInit() failed!", "message");
    c.expect(v.findWindow(kCaption) == nullptr, "the verifier is visible behind the message box");
    screenshot(g_out + L"\\failure.bmp", {box});
    if (!dismissedTheOnlyButton(v, c, box))
        return;
    // The reason, where a Windows user can read it (the trace; the debugger's output too).
    const auto trace = v.trace();
    c.expect(trace == std::vector<std::string>{"error the simulated board fails its set-up, as "
                                               "RIRERUV_INIT_STATUS=8 asks",
                                               "ZELK_HWInit 8"},
             "library calls: " + std::to_string(trace.size()) +
                 ", expected the reason and ZELK_HWInit only");
}

struct ChildText {
    std::wstring text;
    HWND found;
};
BOOL CALLBACK findChildText(HWND h, LPARAM lp) {
    auto* ctx = reinterpret_cast<ChildText*>(lp);
    if (textOf(h) != ctx->text)
        return TRUE;
    ctx->found = h;
    return FALSE;
}
HWND childWithText(HWND parent, const std::wstring& text) {
    ChildText ctx{text, nullptr};
    EnumChildWindows(parent, findChildText, reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}

bool showsAB(void* dialog) {
    return itemText(*static_cast<HWND*>(dialog), kData) == L"AB";
}

// Keys as a person types them: through the window system's input, to the foreground window.
void typeKeys(std::initializer_list<std::pair<WORD, bool>> keys) {
    for (const auto& [vk, down] : keys) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = vk;
        in.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
        SendInput(1, &in, sizeof in);
    }
}
void tap(WORD vk) {
    typeKeys({{vk, true}, {vk, false}});
}

bool inForeground(void* window) {
    return GetForegroundWindow() == *static_cast<HWND*>(window);
}
bool inItsSystemMenu(void* context) {
    const auto* w = static_cast<VerifierWindow*>(context);
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(w->v->threadId(), &info) && (info.flags & GUI_INMENUMODE) != 0 &&
           info.hwndMenuOwner == w->d;
}

// The About box from the keyboard alone, and the keyboard in the verifier after it: Alt+Space
// opens the system menu, Up reaches its last item, the About box, and Enter opens it; Enter
// closes it; then Space presses Start, since the focus is back on the button.
void keyboardThroughTheAboutBox(Check& c) {
    Verifier v(Settings{{"RIRERUV_DATA", "01"}});
    onTheDialog(v, c, [&](HWND d) {
        VerifierWindow w{&v, d};
        SetForegroundWindow(d);
        if (c.expect(waitFor(3000, inForeground, &d), "the verifier is not in the foreground")) {
            typeKeys({{VK_MENU, true}, {VK_SPACE, true}, {VK_SPACE, false}, {VK_MENU, false}});
            c.expect(waitFor(3000, inItsSystemMenu, &w), "Alt+Space opened no system menu");
            tap(VK_UP);
            tap(VK_RETURN);
            HWND about = v.waitWindow(kAboutCaption, 3000);
            if (c.expect(about != nullptr, "Up and Enter in the system menu opened no About box")) {
                c.expect(waitFor(3000, inForeground, &about),
                         "the About box is not in the foreground");
                tap(VK_RETURN);
                c.expect(waitFor(3000, closed, &about), "Enter did not close the About box");
                if (c.expect(waitFor(3000, focusBackOnTheButton, &w),
                             "after the About box: " + focusState(v, d))) {
                    tap(VK_SPACE);
                    c.expect(waitFor(3000, showsStop, &d),
                             "Space after the About box did not press Start: " + focusState(v, d));
                }
            }
        }
    });
}

// Each text a person reads, as Wine drew it on the screen: a quarter of its pixels at least
// 4.5:1 against the face behind it, the least WCAG asks of body text. The darkest pixel alone
// would not do: the smoothed hairlines of a light Ming face (AR PL UMing, which stood in for
// 新細明體 before) have a few dark pixels, and read about 2.4:1 at their quarter.
void textsAreLegible(Check& c) {
    auto legible = [&c](HWND control, const std::string& what) {
        if (!c.expect(control != nullptr, what + ": not found"))
            return;
        const Ink ink = inkOf(control);
        if (c.expect(ink.pixels >= 20 && contrast(ink.quarter, ink.background) >= 4.5,
                     what + " is hard to read: " + describe(ink)))
            c.notes.push_back(what + ": " + describe(ink));
    };
    {
        Verifier v(Settings{{"RIRERUV_DATA", "AB"}});
        HWND d = openVerifier(v, c);
        if (!d)
            return;
        legible(childWithText(d, L"Remote Data:"), "the dialog's label");
        click(item(d, kButton));
        if (c.expect(waitFor(3000, showsAB, &d), "the field did not show AB"))
            legible(item(d, kData), "the byte shown");
        sysCommand(d, 0x10);
        HWND about = v.waitWindow(kAboutCaption, 3000);
        if (c.expect(about != nullptr, "no About box")) {
            legible(childWithText(about, L"Test_rireruv Version 1.0"), "the About box's version");
            legible(childWithText(about, L"Copyright (C) 2026"), "the About box's copyright");
            click(item(about, IDOK));
            c.expect(waitFor(3000, closed, &about), "the About box stayed open");
        }
        sysCommand(d, SC_CLOSE);
        closedAndReleased(v, c);
    }
    Verifier v(Settings{{"RIRERUV_INIT_STATUS", "8"}});
    HWND box = v.waitWindow(L"Test_rireruv");
    if (!c.expect(box != nullptr, "no failure message"))
        return;
    legible(item(box, 0xFFFF), "the failure message");
    click(FindWindowExW(box, nullptr, L"Button", nullptr));
    c.expect(v.waitExit(5000), "the process did not end after the message");
}

void otherStatusesOpen(Check& c) {
    for (const char* status : {"0", "1", "7", "9", "-1"}) {
        Verifier v(Settings{{"RIRERUV_INIT_STATUS", status}});
        HWND d = v.waitWindow(kCaption);
        if (!c.expect(d != nullptr, std::string("status ") + status + ": no window"))
            continue;
        c.expect(v.findWindow(L"Test_rireruv") == nullptr,
                 std::string("status ") + status + ": a message");
        pressKey(focusOf(v.threadId()), VK_ESCAPE);
        closedAndReleased(v, c);
    }
}

void closingWhilePolling(Check& c) {
    for (int how = 0; how < 2; ++how) {
        Verifier v(Settings{{"RIRERUV_DATA", "01 02"}});
        HWND d = openVerifier(v, c);
        if (!d)
            return;
        const int polled = v.count("ZELK_GetRemoteData");
        click(item(d, kButton));
        v.waitTraced("ZELK_GetRemoteData", polled, 3000);
        if (how == 0)
            sysCommand(d, SC_CLOSE);
        else
            pressKey(focusOf(v.threadId()), VK_ESCAPE);
        if (closedAndReleased(v, c))
            c.expect(v.count("ZELK_GetRemoteData") >= 1, "no poll happened before the close");
    }
}

// Each call takes longer than the 200 ms period: polls follow one another without piling up,
// Stop is honoured once the call in progress returns, and closing still releases the library.
void slowLibrary(Check& c) {
    Verifier v(Settings{{"RIRERUV_DATA", "0A 0B"}, {"RIRERUV_DELAY_MS", "300"}});
    onTheDialog(v, c, [&](HWND d) {
        click(item(d, kButton));
        const int polls = pollsDuring(v, 3000);
        c.expect(polls >= 5 && polls <= 10,
                 "polls in 3 s of 300 ms calls: " + std::to_string(polls));
        const std::wstring shown = itemText(d, kData);
        c.expect(shown == L"A" || shown == L"B", "field while polling: " + utf8(shown));
        click(item(d, kButton));
        c.expect(waitFor(2000, showsStart, &d), "Stop was not honoured within 2 s");
        const int afterStop = v.count("ZELK_GetRemoteData");
        pause(1000); // nothing should happen: a second in which to see it does not
        c.expect(v.count("ZELK_GetRemoteData") == afterStop, "polls went on after Stop");
        click(item(d, kButton));
        c.expect(v.waitTraced("ZELK_GetRemoteData", afterStop, 2000), "no poll after a new Start");
        // Then closed, most likely while a call is in progress.
    });
}

// ---- a library that crashes --------------------------------------------------------------

// Where a function a library exports begins, as an offset from the library's base: the fault's
// offset in a report must fall just after it. 0 when the library or the function cannot be
// found. A __stdcall function of one argument may be exported decorated.
unsigned long entryOffset(const std::wstring& library, const std::string& function) {
    HMODULE m = LoadLibraryExW(library.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (m == nullptr)
        return 0;
    FARPROC found = GetProcAddress(m, function.c_str());
    if (found == nullptr)
        found = GetProcAddress(m, (function + "@4").c_str());
    const auto* at = reinterpret_cast<const char*>(found);
    const unsigned long offset = at != nullptr ? at - reinterpret_cast<const char*>(m) : 0;
    FreeLibrary(m);
    return offset;
}

// How the test's rireruv.dll crashes (tests/e2e/crashing_library.cpp), and what the program
// must say of it.
struct Crash {
    const char* how;      // its E2E_CRASH_IN
    const char* entry;    // the entry the program was in, or null: none
    const char* function; // where in the library the fault is
    DWORD code;
    const char* what;
};
const Crash kNullRead = {nullptr, nullptr, nullptr, EXCEPTION_ACCESS_VIOLATION,
                         "exception 0xC0000005 (access violation reading 0x00000000)"};

// The library crashes: the program says so, naming the library, the entry it was in (or that it
// was in none) and where in the library the fault was, then ends with the exception's code,
// calling the library no more.
void libraryCrashes(Check& c, const Crash& crash) {
    Verifier v(Settings{{"E2E_CRASH_IN", crash.how}}, "", L"crashing\\Test_rireruv.EXE");
    const std::string entry = crash.entry != nullptr ? crash.entry : "";
    std::vector<std::string> calls = {"ZELK_HWInit"};
    if (entry == "ZELK_GetRemoteData" || entry == "ZELK_Free") {
        HWND d = openVerifier(v, c);
        if (!d)
            return;
        if (entry == "ZELK_GetRemoteData")
            click(item(d, kButton));
        else
            sysCommand(d, SC_CLOSE);
        calls.push_back(entry);
    }
    HWND box = v.waitWindow(L"Test_rireruv");
    if (!c.expect(box != nullptr, "no message box captioned \"Test_rireruv\"; " +
                                      (v.waitExit(0) ? "the process ended with " + hex(v.exitCode())
                                                     : std::string("the process runs on"))))
        return;
    c.expect(entry != "ZELK_HWInit" || v.findWindow(kCaption) == nullptr,
             "the verifier is visible behind the message box");
    const std::string text = utf8(itemText(box, 0xFFFF));
    const std::string head =
        "rireruv.dll crashed " +
        (entry.empty() ? "outside the program's calls" : "in " + entry + "()") + ": " + crash.what +
        " at rireruv.dll+0x";
    const std::string tail = ". The program ends.";
    char* end = nullptr;
    const unsigned long offset =
        text.rfind(head, 0) == 0 ? std::strtoul(text.c_str() + head.size(), &end, 16) : 0;
    if (c.expect(end != nullptr && end != text.c_str() + head.size() && std::string(end) == tail,
                 "message: \"" + text + "\"")) {
        const std::string function = crash.function != nullptr ? crash.function : entry;
        const unsigned long begins = entryOffset(exeDir() + L"crashing\\rireruv.dll", function);
        c.expect(begins != 0 && offset >= begins && offset < begins + 0x100,
                 "the fault is at rireruv.dll+" + hex(offset) + ", not in " + function +
                     ", which begins at +" + hex(begins));
    }
    if (!dismissedTheOnlyButton(v, c, box))
        return;
    c.expect(v.exitCode() == crash.code,
             "exit status " + hex(v.exitCode()) + ", not the exception's " + hex(crash.code));
    std::string made;
    for (const auto& line : v.trace())
        made += line + " ";
    c.expect(v.trace() == calls, "library calls: " + made);
}

// A null pointer read in the entry, which E2E_CRASH_IN names.
void libraryCrashesIn(Check& c, const char* entry) {
    Crash crash = kNullRead;
    crash.how = crash.entry = entry;
    libraryCrashes(c, crash);
}

void commandLineChangesNothing(Check& c) {
    Verifier v(Settings{}, "/about --data=FF \"C:\\no such file\" 8");
    onTheDialog(v, c, [&](HWND d) {
        c.equal(itemText(d, kData), L"", "data field");
        c.equal(itemText(d, kButton), L"Start", "button");
        // Whatever the program posted itself while it started has been taken by now; a box it
        // opened may not be shown yet.
        c.expect(v.caughtUp(d), "the verifier did not take a posted message");
        c.expect(v.findAnyWindow(kAboutCaption) == nullptr, "an About box opened");
        c.expect(v.trace() == std::vector<std::string>{"ZELK_HWInit 0"}, "library calls differ");
    });
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    g_out = argc > 1 ? argv[1] : L".";
    const std::wstring mode = argc > 2 ? argv[2] : L"";
    const unsigned seconds = argc > 3 ? static_cast<unsigned>(_wtoi(argv[3])) : 60;
    const std::string only = mode == L"--scenario" && argc > 3 ? utf8(argv[3]) : "";
    // Binary, so the report's lines end in LF alone and the shell reads them as they are.
    g_report = _wfopen((g_out + L"\\report.txt").c_str(), L"wb");
    if (mode == L"--soak" || mode == L"--bench") {
        bool ok = true;
        if (mode == L"--soak")
            ok = soak(seconds, say);
        else
            benchmark(seconds, say);
        say(ok ? "ALL PASSED" : "1 FAILED");
        std::fclose(g_report);
        return ok ? 0 : 1;
    }
    const std::vector<std::pair<const char*, std::function<void(Check&)>>> scenarios = {
        {"dialog at open", dialogAtOpen},
        {"polling shows each byte in turn", pollsTheDataInTurn},
        {"Stop keeps the value", stopKeepsTheValue},
        {"Start, Stop, Start leaves one timer", startStopStartLeavesOneTimer},
        {"a foreign timer id is ignored", foreignTimerIsIgnored},
        {"About box from 0x10, 0x13, 0x1F, not 0x20", aboutBox},
        {"the keyboard through the About box and back", keyboardThroughTheAboutBox},
        {"failed initialisation", failedInitialisation},
        {"other statuses open normally", otherStatusesOpen},
        {"closing while polling", closingWhilePolling},
        {"a slow library", slowLibrary},
        {"command-line arguments change nothing", commandLineChangesNothing},
        {"every text is legible on the screen", textsAreLegible},
        {"a library that crashes in ZELK_HWInit",
         [](Check& c) { libraryCrashesIn(c, "ZELK_HWInit"); }},
        {"a library that crashes in ZELK_GetRemoteData",
         [](Check& c) { libraryCrashesIn(c, "ZELK_GetRemoteData"); }},
        {"a library that crashes in ZELK_Free", [](Check& c) { libraryCrashesIn(c, "ZELK_Free"); }},
        {"a library that crashes in a thread of its own",
         [](Check& c) {
             Crash crash = kNullRead;
             crash.how = "thread";
             crash.function = "crashingThread";
             libraryCrashes(c, crash);
         }},
        {"a library that overflows its stack",
         [](Check& c) {
             libraryCrashes(c, {"overflow", "ZELK_GetRemoteData", "overflowingRecursion",
                                EXCEPTION_STACK_OVERFLOW, "exception 0xC00000FD (stack overflow)"});
         }},
    };
    int failed = 0, ran = 0;
    for (const auto& [name, run] : scenarios) {
        if (!only.empty() && only != name)
            continue;
        ++ran;
        const DWORD start = GetTickCount();
        Check c;
        run(c);
        const std::string took = " (" + std::to_string(GetTickCount() - start) + " ms)";
        say((c.failures.empty() ? "PASS " : "FAIL ") + std::string(name) + took);
        for (const auto& f : c.failures)
            say("     " + f);
        for (const auto& n : c.notes)
            say("     measured: " + n);
        failed += !c.failures.empty();
    }
    if (ran == 0) {
        say("no scenario is called \"" + only + "\"");
        failed = 1;
    }
    say(failed == 0 ? "ALL PASSED" : std::to_string(failed) + " FAILED");
    if (g_report)
        std::fclose(g_report);
    return failed == 0 ? 0 : 1;
}
