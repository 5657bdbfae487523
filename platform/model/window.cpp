// Windows, messages and the queue: sending, posting, the order in which a waiting thread
// gets its messages, default processing, destruction.
#include "platform/model/desktop.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace model {

namespace {
// A program that handles this many messages without ever waiting for input is stuck in a
// loop (a WM_PAINT nobody validates, a message posting itself); stop rather than hang.
const unsigned kBusyLimit = 100000;
} // namespace

Desktop& desktop() {
    static Desktop d;
    return d;
}

void fatal(const std::string& why) {
    std::fprintf(stderr, "win32 model: %s\n", why.c_str());
    std::abort();
}

void note(const std::string& line) {
    desktop().record.push_back(line);
}

bool isButton(const Window& w) {
    return w.kind == Kind::PushButton || w.kind == Kind::GroupBox;
}

Window* window(HWND h) {
    const auto& windows = desktop().windows;
    auto it = windows.find(h);
    return it == windows.end() ? nullptr : it->second.get();
}

HWND newHandle() {
    Desktop& d = desktop();
    d.nextHandle += 4;
    return reinterpret_cast<HWND>(d.nextHandle);
}

HWND topLevel(HWND h) {
    Window* w = window(h);
    while (w != nullptr && w->parent != nullptr) {
        h = w->parent;
        w = window(h);
    }
    return w != nullptr ? h : nullptr;
}

bool enabledForInput(HWND h) {
    Window* w = window(h);
    Window* top = window(topLevel(h));
    return w != nullptr && top != nullptr && w->enabled && top->enabled && top->visible;
}

std::string describe(HWND h) {
    Window* w = window(h);
    if (w == nullptr)
        return "no window";
    if (w->kind == Kind::Dialog)
        return "dialog " + std::to_string(w->templateId);
    if (w->kind == Kind::MessageBox)
        return "message box";
    return "control " + std::to_string(w->id);
}

std::string toAnsi(const std::u16string& s) {
    std::string out;
    for (char16_t c : s)
        out += c < 0x100 ? static_cast<char>(c) : '?';
    return out;
}

std::u16string fromAnsi(const char* s) {
    std::u16string out;
    for (; *s != 0; ++s)
        out += static_cast<char16_t>(static_cast<uint8_t>(*s));
    return out;
}

// ---- sending and posting ------------------------------------------------------------------

LRESULT send(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    Window* w = window(h);
    if (w == nullptr || w->proc == nullptr)
        return 0;
    return w->proc(h, msg, wp, lp);
}

void post(HWND h, UINT msg, WPARAM wp, LPARAM lp, bool input) {
    Desktop& d = desktop();
    d.queue.push_back({MSG{h, msg, wp, lp, static_cast<DWORD>(d.now), {0, 0}}, input});
}

void postKey(UINT vk, bool shift) {
    Desktop& d = desktop();
    d.queue.push_back(
        {MSG{nullptr, WM_KEYDOWN, vk, 0, static_cast<DWORD>(d.now), {0, 0}}, true, shift});
}

// The order of a real thread's queue: posted messages and input first, then WM_PAINT for a
// window that needs it, then a due timer. WM_PAINT and WM_TIMER are made only when nothing
// else waits, so they never pile up: a timer due several times over delivers one tick.
bool getMessage(MSG& out) {
    Desktop& d = desktop();
    for (;;) {
        if (++d.busyCount > kBusyLimit)
            fatal("the program handled " + std::to_string(kBusyLimit) +
                  " messages without waiting for input");
        while (!d.queue.empty()) {
            Queued q = d.queue.front();
            d.queue.pop_front();
            if (q.input) {
                // Keys go to the focus, or to the active window when nothing has it.
                if (q.msg.hwnd == nullptr)
                    q.msg.hwnd = d.focus != nullptr     ? d.focus
                                 : d.modalStack.empty() ? nullptr
                                                        : d.modalStack.back();
                if (!enabledForInput(q.msg.hwnd))
                    continue; // a disabled window gets no input: it is dropped, as a beep
            }
            d.shiftDown = q.shift;
            d.inputChecked = false;
            out = q.msg;
            return out.message != WM_QUIT;
        }
        for (auto& [h, w] : d.windows) {
            if (w->needsPaint && w->visible && w->parent == nullptr) {
                out = MSG{h, WM_PAINT, 0, 0, static_cast<DWORD>(d.now), {0, 0}};
                return true;
            }
        }
        Timer* next = nullptr;
        for (Timer& t : d.timers)
            if (t.due <= d.now && d.now <= d.horizon && (next == nullptr || t.due < next->due))
                next = &t;
        if (next != nullptr && d.inputChecked) {
            d.inputChecked = false;
            // The next tick keeps the timer's phase, skipping the ticks that were missed.
            const uint64_t missed = (d.now - next->due) / next->period;
            next->due += (missed + 1) * next->period;
            out = MSG{next->hwnd,
                      WM_TIMER,
                      next->id,
                      reinterpret_cast<LPARAM>(next->proc),
                      static_cast<DWORD>(d.now),
                      {0, 0}};
            return true;
        }
        if (!d.yield)
            fatal("the program waits for input, and no driver is there to give it");
        d.busyCount = 0;
        d.inputChecked = true;
        d.yield();
    }
}

void dispatch(const MSG& msg) {
    if (msg.message == WM_TIMER && msg.lParam != 0) {
        reinterpret_cast<TIMERPROC>(msg.lParam)(msg.hwnd, WM_TIMER, msg.wParam, msg.time);
        return;
    }
    send(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

// ---- default processing -------------------------------------------------------------------

LRESULT defWindowProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    Window* w = window(h);
    if (w == nullptr)
        return 0;
    switch (msg) {
    case WM_SYSCOMMAND:
        switch (wp & 0xFFF0) {
        case SC_CLOSE:
            send(h, WM_CLOSE, 0, 0);
            break;
        case SC_MINIMIZE:
            minimize(h, true);
            break;
        case SC_RESTORE:
            minimize(h, false);
            break;
        case SC_MOVE:
            note("move loop " + describe(h)); // the user drags the window; nothing to model
            break;
        default:
            break;
        }
        return 0;
    case WM_CLOSE:
        destroy(h);
        return 0;
    case WM_PAINT:
        w->needsPaint = false; // what BeginPaint and EndPaint would do, without the record
        return 0;
    case WM_ICONERASEBKGND:
        note("erase icon background " + describe(h));
        return 1;
    case WM_SETICON: {
        HICON& slot = wp == ICON_BIG ? w->bigIcon : w->smallIcon;
        HICON old = slot;
        slot = reinterpret_cast<HICON>(lp);
        return reinterpret_cast<LRESULT>(old);
    }
    default:
        return 0; // WM_QUERYDRAGICON included: no class icon, so the system's own is used
    }
}

LRESULT CALLBACK buttonProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    Window* w = window(h);
    if ((msg == WM_LBUTTONUP || msg == BM_CLICK) && w->kind == Kind::PushButton) {
        setFocus(h);
        send(w->parent, WM_COMMAND, MAKEWPARAM(w->id, BN_CLICKED), reinterpret_cast<LPARAM>(h));
        return 0;
    }
    return defWindowProc(h, msg, wp, lp);
}

LRESULT CALLBACK staticProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    return defWindowProc(h, msg, wp, lp);
}

void setFocus(HWND h) {
    desktop().focus = h;
}

void minimize(HWND h, bool iconic) {
    Window* w = window(h);
    if (w == nullptr || w->iconic == iconic)
        return;
    w->iconic = iconic;
    w->style = iconic ? (w->style | WS_MINIMIZE) : (w->style & ~WS_MINIMIZE);
    w->needsPaint = true;
    note(std::string(iconic ? "minimised " : "restored ") + describe(h));
}

bool destroy(HWND hWnd) {
    Window* w = window(hWnd);
    if (w == nullptr)
        return false;
    Desktop& d = desktop();
    w->visible = false;
    if (w->parent == nullptr)
        note("WM_DESTROY " + describe(hWnd));
    // WM_DESTROY goes to the window before its children, WM_NCDESTROY after them.
    send(hWnd, WM_DESTROY, 0, 0);
    for (HWND c : std::vector<HWND>(w->children))
        destroy(c);
    send(hWnd, WM_NCDESTROY, 0, 0);
    // Its timers and the messages still queued for it die with it.
    d.timers.erase(std::remove_if(d.timers.begin(), d.timers.end(),
                                  [&](const Timer& t) { return t.hwnd == hWnd; }),
                   d.timers.end());
    d.queue.erase(std::remove_if(d.queue.begin(), d.queue.end(),
                                 [&](const Queued& q) { return q.msg.hwnd == hWnd; }),
                  d.queue.end());
    if (d.focus == hWnd)
        d.focus = nullptr;
    if (Window* parent = window(w->parent))
        parent->children.erase(std::remove(parent->children.begin(), parent->children.end(), hWnd),
                               parent->children.end());
    d.windows.erase(hWnd);
    return true;
}

} // namespace model

using namespace model;

// ---- the API ------------------------------------------------------------------------------

BOOL IsWindow(HWND hWnd) {
    return window(hWnd) != nullptr;
}

HWND GetDlgItem(HWND hDlg, int nIDDlgItem) {
    Window* w = window(hDlg);
    if (w == nullptr)
        return nullptr;
    for (HWND c : w->children)
        if (window(c)->id == nIDDlgItem)
            return c;
    return nullptr;
}

BOOL SetWindowTextA(HWND hWnd, LPCSTR lpString) {
    Window* w = window(hWnd);
    if (w == nullptr)
        return FALSE;
    w->text = fromAnsi(lpString != nullptr ? lpString : "");
    return TRUE;
}

BOOL SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
    return SetWindowTextA(GetDlgItem(hDlg, nIDDlgItem), lpString);
}

LONG_PTR SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    Window* w = window(hWnd);
    if (w == nullptr)
        return 0;
    LONG_PTR old = 0;
    switch (nIndex) {
    case GWLP_WNDPROC:
        old = reinterpret_cast<LONG_PTR>(w->proc);
        w->proc = reinterpret_cast<WNDPROC>(dwNewLong);
        break;
    case DWLP_MSGRESULT:
        old = w->msgResult;
        w->msgResult = dwNewLong;
        break;
    default:
        fatal("SetWindowLongPtrW index " + std::to_string(nIndex) + " is not modelled");
    }
    return old;
}

LONG_PTR GetWindowLongPtrW(HWND hWnd, int nIndex) {
    Window* w = window(hWnd);
    if (w == nullptr)
        return 0;
    switch (nIndex) {
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(w->proc);
    case DWLP_MSGRESULT:
        return w->msgResult;
    default:
        fatal("GetWindowLongPtrW index " + std::to_string(nIndex) + " is not modelled");
    }
}

LRESULT CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    return lpPrevWndFunc != nullptr ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}

LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    // The program's own sends are part of the record; the model's internal ones are not.
    if (Msg == WM_SETICON)
        note(std::string("WM_SETICON ") + (wParam == ICON_BIG ? "big " : "small ") +
             describe(reinterpret_cast<HICON>(lParam)));
    else if (Msg == WM_ICONERASEBKGND)
        note("WM_ICONERASEBKGND " + describe(hWnd) +
             (wParam != 0 ? " with a device context" : " without a device context"));
    return send(hWnd, Msg, wParam, lParam);
}
