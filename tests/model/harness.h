// A bare dialog on its own UI thread, acted on from the test: the same tests run on the
// model (virtual time, deterministic) and on a real user32 (Wine's, real time), so the model
// is checked against the real thing wherever the program relies on it.
//
// Two files supply it: harness_model.cpp (the model's driver) and harness_win32.cpp (a real
// thread and real time). Times given to wait() are virtual on the model and real on Win32;
// tests that count timer ticks allow for the difference.
#pragma once

#include "platform/win32api.h"
#include "tests/support/record.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace fidelity {

// The dialog procedure under test. Return TRUE for handled, FALSE for default processing.
using Handler = std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)>;

// Appends to the record of what the program saw; callable from the program's thread.
void note(const std::string& line);
// Runs the program's thread busy, handling nothing, for ms (virtual or real).
void busy(unsigned ms);
// Marks the window as needing a repaint, from the program's thread.
void invalidate(HWND h);
HINSTANCE module();
// From the program's thread: PostMessage.
void postMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp);
// From the program's thread: SetFocus.
void focusOn(HWND h);
// From either thread: what the window system says of a window.
bool enabled(HWND h);
bool visible(HWND h);
std::vector<std::string> systemMenu(HWND h); // "0x10 text" per item, "-" for a separator
inline std::basic_string<WCHAR> wide(const char* ascii) {
    return std::basic_string<WCHAR>(ascii, ascii + std::char_traits<char>::length(ascii));
}
// The procedure the harness installs; it records WM_TIMER and WM_PAINT, then calls the
// handler. Tests pass it to DialogBoxParamW for nested dialogs.
INT_PTR CALLBACK dialogProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
// How each harness's dialogProc ends, after its own bookkeeping: one copy, so that the model
// and user32 are compared on the same record.
inline INT_PTR recordedThenHandled(const Handler& handler, HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER)
        note("WM_TIMER " + std::to_string(wp));
    if (msg == WM_PAINT)
        note("WM_PAINT");
    return handler ? handler(h, msg, wp, lp) : FALSE;
}

class Session {
  public:
    // Runs the program: by default one modal dialog from template 100 with the handler.
    explicit Session(Handler handler, std::function<void()> program = {});
    ~Session(); // ends every dialog still open, as Esc would
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    HWND dialog() const; // the innermost dialog still open, or null
    // What the window system says of the program's thread: its active window, and the window
    // with the keyboard focus (null for none).
    HWND activeWindow() const;
    HWND focus() const;
    bool finished() const;
    void key(UINT vk);                         // a key press, to the focus
    void sysCommand(WPARAM id);                // as the taskbar or the system menu sends it
    void post(UINT msg, WPARAM wp, LPARAM lp); // to the innermost dialog
    void wait(unsigned ms);                    // lets ms pass, then until the program is idle
    // Posts msg to the innermost dialog and, while the program handles it, presses keys and
    // uncovers the dialog (so that it needs repainting), as a user and the window manager
    // would; then waits until the program has caught up with the keys. What came meanwhile
    // waits, with any tick that fell due, until the handler returns.
    void postMeanwhile(UINT msg, const std::vector<UINT>& keys, bool uncover);
    // Until what the window system says meets condition, for up to ms: a real window manager
    // may act after the message that asked it to has been handled. False if it never did.
    bool waitUntil(const std::function<bool()>& condition, unsigned ms = 2000);
    std::vector<std::string> take(); // the record so far, cleared

  private:
    struct Impl;
    Impl* m_impl;
};

// Runs one modal dialog from template 100 with the session's handler; notes its result.
void runDialog();

} // namespace fidelity
