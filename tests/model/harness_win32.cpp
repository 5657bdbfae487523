// The harness on a real user32: the program on a thread of its own, in real time. The
// test acts by posting messages, then waits until a message it posted behind them has been
// handled, so the program has caught up.
#include "tests/model/harness.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

namespace fidelity {

namespace {
Handler g_handler;
std::mutex g_mutex;
std::vector<std::string> g_record;
std::vector<HWND> g_dialogs; // open dialogs, innermost last
const UINT g_sync = RegisterWindowMessageW(L"fidelity harness sync");
const UINT g_end = RegisterWindowMessageW(L"fidelity harness end");
HANDLE g_synced = CreateEventW(nullptr, FALSE, FALSE, nullptr);
} // namespace

void note(const std::string& line) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_record.push_back(line);
}
void busy(unsigned ms) {
    Sleep(ms);
}
void invalidate(HWND h) {
    InvalidateRect(h, nullptr, TRUE);
}
HINSTANCE module() {
    return GetModuleHandleW(nullptr);
}
void postMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    PostMessageW(h, msg, wp, lp);
}
void focusOn(HWND h) {
    SetFocus(h);
}
bool enabled(HWND h) {
    return IsWindowEnabled(h) != FALSE;
}
bool visible(HWND h) {
    return IsWindowVisible(h) != FALSE;
}

std::vector<std::string> systemMenu(HWND h) {
    std::vector<std::string> out;
    HMENU menu = GetSystemMenu(h, FALSE);
    const int n = menu != nullptr ? GetMenuItemCount(menu) : 0;
    for (int i = 0; i < n; ++i) {
        wchar_t text[256] = L"";
        GetMenuStringW(menu, i, text, 256, MF_BYPOSITION);
        char utf8[1024] = "";
        WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
        char id[16];
        std::snprintf(id, sizeof id, "0x%X ", GetMenuItemID(menu, i));
        out.push_back(
            (GetMenuState(menu, i, MF_BYPOSITION) & MF_SEPARATOR) ? "-" : id + std::string(utf8));
    }
    return out;
}

INT_PTR CALLBACK dialogProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == g_sync) {
        SetEvent(g_synced);
        return TRUE;
    }
    if (msg == g_end) {
        EndDialog(h, IDCANCEL);
        return TRUE;
    }
    if (msg == WM_INITDIALOG) {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_dialogs.push_back(h);
    }
    if (msg == WM_DESTROY) {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_dialogs.erase(std::remove(g_dialogs.begin(), g_dialogs.end(), h), g_dialogs.end());
    }
    return recordedThenHandled(g_handler, h, msg, wp, lp);
}

struct Session::Impl {
    std::thread thread;
    std::atomic<bool> done{false};
    std::atomic<DWORD> threadId{0};

    void sync(Session& s) {
        HWND d = s.dialog();
        if (d == nullptr || done)
            return;
        ResetEvent(g_synced);
        PostMessageW(d, g_sync, 0, 0);
        for (int i = 0; i < 250 && IsWindow(d) && !done; ++i)
            if (WaitForSingleObject(g_synced, 20) == WAIT_OBJECT_0)
                return;
    }
};

Session::Session(Handler handler, std::function<void()> program) : m_impl(new Impl) {
    g_handler = std::move(handler);
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_record.clear();
        g_dialogs.clear();
    }
    auto run = program ? program : runDialog;
    m_impl->thread = std::thread([this, run] {
        m_impl->threadId = GetCurrentThreadId();
        run();
        m_impl->done = true;
    });
    for (int i = 0; i < 500 && dialog() == nullptr && !m_impl->done; ++i)
        Sleep(10);
    m_impl->sync(*this);
}

Session::~Session() {
    for (int i = 0; i < 500 && !m_impl->done; ++i) {
        if (HWND d = dialog())
            PostMessageW(d, g_end, 0, 0);
        Sleep(10);
    }
    m_impl->thread.join();
    delete m_impl;
    g_handler = nullptr;
}

HWND Session::dialog() const {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_dialogs.empty() ? nullptr : g_dialogs.back();
}

namespace {
GUITHREADINFO threadInfo(DWORD threadId) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(threadId, &info))
        info = GUITHREADINFO{};
    return info;
}
} // namespace

HWND Session::activeWindow() const {
    return threadInfo(m_impl->threadId).hwndActive;
}

HWND Session::focus() const {
    return threadInfo(m_impl->threadId).hwndFocus;
}

bool Session::finished() const {
    return m_impl->done;
}

void Session::key(UINT vk) {
    const HWND target = focus();
    PostMessageW(target ? target : dialog(), WM_KEYDOWN, vk, 1);
    m_impl->sync(*this);
    Sleep(20); // the dialog may be ending: let its thread finish
}

void Session::sysCommand(WPARAM id) {
    PostMessageW(dialog(), WM_SYSCOMMAND, id, 0);
    m_impl->sync(*this);
    Sleep(20);
}

void Session::post(UINT msg, WPARAM wp, LPARAM lp) {
    PostMessageW(dialog(), msg, wp, lp);
    m_impl->sync(*this);
}

// The handler takes longer than posting: what follows comes while it runs, or else before it
// starts, queued behind msg, which is the same to the program.
void Session::postMeanwhile(UINT msg, const std::vector<UINT>& keys, bool uncover) {
    HWND d = dialog();
    const HWND target = focus();
    PostMessageW(d, msg, 0, 0);
    for (UINT vk : keys)
        PostMessageW(target ? target : d, WM_KEYDOWN, vk, 1);
    if (uncover)
        InvalidateRect(d, nullptr, TRUE);
    m_impl->sync(*this);
}

void Session::wait(unsigned ms) {
    Sleep(ms);
    m_impl->sync(*this);
}

bool Session::waitUntil(const std::function<bool()>& condition, unsigned ms) {
    for (unsigned waited = 0; !condition(); waited += 10) {
        if (waited >= ms)
            return false;
        wait(10);
    }
    return true;
}

std::vector<std::string> Session::take() {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::vector<std::string> out;
    out.swap(g_record);
    return out;
}

} // namespace fidelity
