// The model's state: one thread's windows, message queue, timers, menus and icons, the
// virtual clock, and the record of calls. Internal to platform/model: everything outside it
// uses model.h.
//
// The program and its caller take turns on one thread (see model.h), so nothing here needs
// a lock.
#pragma once

#include "platform/model/model.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace model {

struct Window {
    HWND handle = nullptr;
    Kind kind = Kind::Dialog;
    int templateId = 0;
    uint32_t style = 0, exStyle = 0;
    int id = 0;
    std::u16string text;
    HWND parent = nullptr; // of a control
    HWND owner = nullptr;  // of a top-level window
    RECT rect{};           // a control's rectangle in its parent's client pixels; a top-level
                           // window's client area is (0, 0, rect.right, rect.bottom)
    WNDPROC proc = nullptr;
    DLGPROC dlgProc = nullptr;
    LONG_PTR msgResult = 0;
    HICON bigIcon = nullptr, smallIcon = nullptr, staticIcon = nullptr;
    HMENU sysMenu = nullptr;
    bool visible = false, enabled = true, iconic = false, needsPaint = false;
    RECT iconicClient{}; // what GetClientRect gives while minimised
    std::vector<HWND> children;
    // dialogs
    bool ended = false;
    INT_PTR result = 0;
};

struct MenuItem {
    UINT flags = 0;
    UINT_PTR id = 0;
    std::u16string text;
};
struct Menu {
    HWND window = nullptr;
    std::vector<MenuItem> items;
};

struct Icon {
    int groupId = 0;
    int width = 0, height = 0;
};

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT period;
    uint64_t due;
    TIMERPROC proc;
};

struct Queued {
    MSG msg;
    bool input;         // user input: goes to the focus (keys) and never to a disabled window
    bool shift = false; // a key pressed with Shift held
};

struct Desktop {
    ResourceSet resources;
    std::string modulePath;
    uint64_t now = 0; // virtual milliseconds
    // Time the driver has granted: a program whose handlers take longer (a slow library)
    // waits here for the driver before its next tick, instead of running on forever.
    uint64_t horizon = UINT64_MAX;
    std::map<HWND, std::unique_ptr<Window>> windows;
    uintptr_t nextHandle = 0x10000;
    std::deque<Queued> queue;
    std::vector<Timer> timers;
    std::vector<std::unique_ptr<Menu>> menus;
    std::vector<std::unique_ptr<Icon>> icons;
    std::vector<HWND> modalStack; // innermost last
    HWND focus = nullptr;
    std::vector<std::string> record;
    // Hands control to the caller: when the program waits for input, and before it makes a
    // timer message, since input that arrived meanwhile comes first.
    std::function<void()> yield;
    bool inputChecked = false; // the caller had its turn since the last message was taken
    unsigned busyCount = 0;    // messages handled since the program last waited
    bool shiftDown = false;    // during the key being handled
    int comCount = 0;          // COM initialisations of the UI thread not yet undone
    bool comMultithreaded = false;
};

Desktop& desktop();

// Internal helpers shared by the model's files.
Window* window(HWND h);
HWND newHandle();
LRESULT send(HWND h, UINT msg, WPARAM wp, LPARAM lp);
void post(HWND h, UINT msg, WPARAM wp, LPARAM lp, bool input = false);
void postKey(UINT vk, bool shift = false); // a key press, to the focus
bool getMessage(MSG& out);                 // false only for WM_QUIT
void dispatch(const MSG& msg);
bool destroy(HWND h); // WM_DESTROY, the children, WM_NCDESTROY; its timers and messages go
LRESULT defWindowProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK defDlgProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK buttonProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK staticProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
HICON loadIcon(int groupId, int width, int height);
bool menuItemEnabled(HWND hwnd, const MenuItem& item);
const std::vector<MenuItem>* menuItems(HMENU h);
void minimize(HWND h, bool iconic);
bool enabledForInput(HWND h); // the window and its top-level window are enabled
HWND topLevel(HWND h);

std::string describe(HWND h);                // "dialog 102", "control 1009", "message box"
std::string describe(HICON h);               // "icon 128 32x32"
std::string toAnsi(const std::u16string& s); // Latin-1, '?' for what it cannot hold
std::u16string fromAnsi(const char* s);
bool isButton(const Window& w); // a push button or a group box: the button class
[[noreturn]] void fatal(const std::string& why);

} // namespace model
