// The Win32 model's front door: everything the tests and the terminal front end use of it.
//
// A Program runs one program (an entry function such as AfxWinMain) on the model and lets
// its caller be the program's user and its clock. The program runs on a stack of its own, on
// the caller's thread, and never at the same time as the caller: each action below hands the
// program control until it waits for input again (or is about to make a timer message, when
// input must come first), then returns. So a test reads like a session at the keyboard, is
// deterministic, and never sleeps: time passes only when the caller says so.
//
//     model::Program app(resources, [] { return AfxWinMain(model::moduleHandle(), ...); });
//     app.click(IDC_START_STOP);
//     app.advance(1000);  // five ticks of a 200 ms timer
//
// What it offers:
// - the user's actions: clicks, keys, the caption's close box, the system menu, a command
//   from the taskbar, a message from elsewhere;
// - the clock: virtual time advanced tick by tick (tests), or jumped to a real time as a real
//   thread that was busy sees it (the terminal), the time input arrives at, and when the next
//   timer falls due;
// - a read-only view of the screen: top-level windows, bottom first, each with a kind, a
//   caption, its state and its controls; focus; system menus with each item's enabled state.
//   All text in the view is UTF-8.
// - for doubles of what the program calls (a fake hardware library, a test's dialog
//   procedure): a record the caller reads back, and time that passes while the program is
//   busy.
// Rules: one Program at a time (the model is one desktop); view values are copies, valid
// until the next action; nothing outside platform/model includes the model's other headers
// but resources.h (the compiled-resource formats) and win32api.h (the API the program calls).
#pragma once

#include "platform/model/resources.h"
#include "platform/model/win32api.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace model {

enum class Kind { Dialog, MessageBox, PushButton, GroupBox, Text, Icon };

struct ControlView {
    HWND handle = nullptr;
    Kind kind = Kind::Text;
    int id = 0;
    std::string text;
    RECT rect{}; // in its window's client pixels
    bool visible = false, enabled = false, focused = false;
    bool noPrefix = false; // '&' is shown as it is, not as a mnemonic
};

struct WindowView {
    HWND handle = nullptr;
    Kind kind = Kind::Dialog;
    int templateId = 0; // of a dialog
    std::string caption;
    int width = 0, height = 0; // of the client area, in pixels
    bool visible = false, enabled = false, iconic = false, active = false;
    bool systemMenu = false;        // it has a system menu (and so a close box)
    bool needsPaint = false;        // invalidated and not painted yet
    std::string bigIcon, smallIcon; // "icon 128 32x32", or empty
    std::vector<ControlView> controls;

    const ControlView* control(int id) const {
        for (const ControlView& c : controls)
            if (c.id == id)
                return &c;
        return nullptr;
    }
};

struct MenuItemView {
    UINT_PTR id = 0;
    std::string text; // a tab separates the accelerator; '&' marks the mnemonic
    bool separator = false, enabled = false;
};

struct TimerView {
    HWND window = nullptr;
    UINT_PTR id = 0;
    UINT period = 0;
    uint64_t due = 0;
};

// The dialog base units of the model's one font: one dialog unit is a quarter of the average
// character width (kCharWidth pixels) and an eighth of its height (kCharHeight pixels).
const int kCharWidth = 6;
const int kCharHeight = 12;

struct ProgramOptions {
    std::string modulePath = "C:\\Program Files\\Test_rireruv\\Test_rireruv.EXE";
    // COM state of the UI thread before the program starts: 0 none; an apartment already
    // initialised (CoInitialize then gives S_FALSE); or a multithreaded one (it fails).
    enum class Com { None, Apartment, Multithreaded } com = Com::None;
    std::string commandLine;
};

HINSTANCE moduleHandle();

class Program {
  public:
    // Loads the resources, starts entry and returns when the program first waits for input
    // (or has ended).
    Program(ResourceSet resources, std::function<int()> entry, const ProgramOptions& options = {});
    // Ends whatever is still open (each modal window as with Esc) and waits for the end; a
    // program that will not end is unwound.
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool running() const;
    int exitCode() const;

    // ---- the user: each returns when the program waits again ----
    void click(int id);                // a left click on a control of the active window
    void clickIn(HWND window, int id); // ... of a given window, enabled or not
    void clickControl(HWND control);
    void key(int vk, bool shift = false); // a key press, to the focus
    void closeBox(HWND window = nullptr); // the caption's close button (the active window's)
    // The system menu as the window system opens it: its items, the standard ones made if the
    // program never asked for the menu. Empty for a window without one.
    std::vector<MenuItemView> openSystemMenu(HWND window = nullptr);
    // Chooses an item; false when it is missing or greyed.
    bool chooseSystemMenu(UINT_PTR id, HWND window = nullptr);
    void sysCommand(UINT_PTR id);              // WM_SYSCOMMAND as the taskbar sends it
    void post(UINT msg, WPARAM wp, LPARAM lp); // a message from elsewhere, to the active window
    void invalidate();                         // the active window needs repainting
    void setIconicClient(int width, int height);

    // ---- the clock, in milliseconds ----
    void advance(uint64_t ms); // runs every timer tick due in that time, in order
    // Jumps to time t, as a real thread that was busy finds the clock, and lets the program
    // handle what is due: one tick of each late timer, however many were missed.
    void advanceTo(uint64_t t);
    // Moves the clock to time t without running the program: the next action is the user's,
    // at t. So a timer it sets is due a period after t, and the input comes before any tick
    // that fell due by t (a real front end calls it as each key arrives).
    void inputAt(uint64_t t);
    uint64_t now() const;
    std::optional<uint64_t> nextDue() const;
    std::vector<TimerView> timers() const;

    // ---- what the user sees ----
    std::vector<WindowView> windows() const; // visible or not, bottom first
    std::optional<WindowView> window(HWND h) const;
    HWND active() const; // the innermost modal window, or null
    HWND find(int templateId) const;
    std::string text(int id) const; // of a control of the active window
    std::string caption() const;
    int focusId() const; // id of the control with the focus, or 0
    // The active window's system menu as it stands: "0x10 text" per item, "-" a separator;
    // empty when it has none yet.
    std::vector<std::string> systemMenu() const;
    static std::vector<std::string> systemMenuOf(HWND window);
    static std::string describeIcon(HICON icon); // "icon 128 32x32"
    int comInitializations() const;              // of the UI thread, not yet undone
    std::vector<std::string> takeRecord();

  private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

// ---- for doubles of what the program calls, on the program's side ----
void note(const std::string& line); // appends to the record
void busy(unsigned ms);             // the program is busy while this much time passes
void invalidate(HWND window);       // the window needs repainting
void setFocus(HWND window);         // the keyboard focus goes to it, as SetFocus
void postMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp);

// ---- text ----
std::string utf8(const std::u16string& s);
std::string utf8(const std::u32string& s);       // what is no character becomes U+FFFD (appendUtf8)
std::u32string decodeUtf8(const std::string& s); // invalid bytes become U+FFFD
void appendUtf8(std::string& out, char32_t c);

} // namespace model
