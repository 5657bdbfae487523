// The model's test driver: runs a program on the model and acts as its user and its clock.
//
// The program runs on a thread of its own, but never at the same time as the test: when it
// waits for input (its message loop finds nothing to do) control comes back to the test, and
// each action of the test hands control to the program until it waits again. So a test reads
// like a session at the keyboard, and is deterministic: time passes only when the test says
// so, and tests never sleep.
//
//     model::Program app(resources, [] { return AfxWinMain(model::moduleHandle(), ...); });
//     app.click(IDC_START_STOP);
//     app.advance(1000);  // five ticks of a 200 ms timer
//
// Only one Program exists at a time: the model is one desktop.
#pragma once

#include "desktop.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace model {

struct ProgramOptions {
    std::string modulePath = "C:\\Program Files\\Test_rireruv\\Test_rireruv.EXE";
    // COM state of the UI thread before the program starts: 0 none; an apartment already
    // initialised (CoInitialize then gives S_FALSE); or a multithreaded one (it fails).
    enum class Com { None, Apartment, Multithreaded } com = Com::None;
};

HINSTANCE moduleHandle();

// A window's system menu as a test reads it: "0x10 text" per item, "-" for a separator;
// empty when the window has none yet.
std::vector<std::string> systemMenuOf(HWND window);

class Program {
  public:
    // Loads the resources, starts entry on the program's thread and returns when the program
    // first waits for input (or has ended).
    Program(ResourceSet resources, std::function<int()> entry, const ProgramOptions& options = {});
    // Ends whatever is still open (each modal window as with Esc) and waits for the end.
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool running() const { return !m_done; }
    int exitCode() const { return m_exitCode; }

    // ---- the user: each returns when the program waits again ----
    void click(int id);                  // a left click on a control of the active window
    void clickIn(HWND window, int id);   // ... of a given window, enabled or not
    void key(int vk);                    // a key press, to the focus
    void closeBox();                     // the caption's close button of the active window
    bool chooseSystemMenu(UINT_PTR id);  // false when the item is missing or greyed
    void sysCommand(UINT_PTR id);        // WM_SYSCOMMAND as the taskbar sends it
    void post(UINT msg, WPARAM wp, LPARAM lp); // a message from elsewhere, to the active window
    void invalidate();                   // the active window needs repainting
    void setIconicClient(int width, int height);

    // ---- the clock ----
    void advance(uint64_t ms); // runs every timer tick due in that time, in order
    uint64_t now() const { return desktop().now; }

    // ---- what the user sees ----
    HWND active() const; // the innermost modal window, or null
    HWND find(int templateId) const;
    std::string text(int id) const; // of a control of the active window, in UTF-8
    std::string caption() const;
    int focusId() const; // id of the control with the focus, or 0
    std::vector<std::string> systemMenu() const; // "0x10 text" per item, "-" a separator
    std::vector<std::string> takeRecord();

  private:
    void resume(); // hand control to the program until it waits again
    void waitForProgram(std::unique_lock<std::mutex>& lock);

    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_programTurn = true;
    bool m_done = false;
    bool m_aborting = false;
    int m_exitCode = 0;
    std::thread m_thread;
};

} // namespace model
