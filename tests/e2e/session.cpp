// Starting the verifier, finding its windows, acting on them from outside.
#include "tests/e2e/session.h"

#include "tests/support/files.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

std::wstring exeDir() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

namespace {

std::wstring tempPath(const std::wstring& name) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + name;
}

// This process's environment without any RIRERUV_ or E2E_ settings, plus the given ones.
std::wstring environmentBlock(const std::map<std::wstring, std::wstring>& extra) {
    std::wstring block;
    wchar_t* env = GetEnvironmentStringsW();
    for (const wchar_t* p = env; *p; p += wcslen(p) + 1) {
        const std::wstring entry(p);
        if (entry.rfind(L"RIRERUV_", 0) == 0 || entry.rfind(L"E2E_", 0) == 0)
            continue;
        block += entry + L'\0';
    }
    FreeEnvironmentStringsW(env);
    for (const auto& [name, value] : extra)
        block += name + L"=" + value + L'\0';
    block += L'\0';
    return block;
}

struct FindContext {
    DWORD pid;
    std::wstring caption;
    bool shownOnly;
    HWND found;
};

// The caption as the window system keeps it, without a message to the window: a window whose
// thread is stopped (a crash being reported) must not hold the search up.
std::wstring captionOf(HWND h) {
    wchar_t buffer[512] = L"";
    const int n = GetWindowTextW(h, buffer, 512);
    return std::wstring(buffer, n > 0 ? n : 0);
}

BOOL CALLBACK findProc(HWND h, LPARAM lp) {
    auto* ctx = reinterpret_cast<FindContext*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid == ctx->pid && (IsWindowVisible(h) || !ctx->shownOnly) &&
        captionOf(h) == ctx->caption) {
        ctx->found = h;
        return FALSE;
    }
    return TRUE;
}

} // namespace

std::string utf8(const std::wstring& s) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), &out[0], n, nullptr,
                        nullptr);
    return out;
}

std::wstring wide(const std::string& s) {
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), &out[0], n);
    return out;
}

void pause(DWORD ms) {
    Sleep(ms);
}

namespace {

// A resource's bytes in a module loaded as data; empty when it has none of that type, id and
// language.
std::vector<uint8_t> resourceBytes(HMODULE module, LPCWSTR type, int id, WORD language) {
    HRSRC found = FindResourceExW(module, type, MAKEINTRESOURCEW(id), language);
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const auto* bytes =
        static_cast<const uint8_t*>(loaded != nullptr ? LockResource(loaded) : nullptr);
    if (bytes == nullptr)
        return {};
    return std::vector<uint8_t>(bytes, bytes + SizeofResource(module, found));
}

} // namespace

model::DialogTemplate dialogTemplate(const std::wstring& program, int id) {
    // As data, not as a program: nothing of it runs, and it imports nothing.
    HMODULE module = LoadLibraryExW(program.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr)
        throw std::runtime_error(utf8(program) + " cannot be opened for its resources (error " +
                                 std::to_string(GetLastError()) + ")");
    const auto bytes = resourceBytes(module, MAKEINTRESOURCEW(model::kRtDialog), id,
                                     MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL));
    FreeLibrary(module);
    if (bytes.empty())
        throw std::runtime_error(utf8(program) + " has no dialog " + std::to_string(id) +
                                 " in Traditional Chinese (Taiwan)");
    return model::parseDialog(bytes);
}

std::wstring templateCaption(int dialogId) {
    try {
        const std::u16string caption =
            dialogTemplate(exeDir() + L"Test_rireruv.EXE", dialogId).caption;
        return std::wstring(caption.begin(), caption.end()); // UTF-16 both
    } catch (const std::exception&) {
        return L"(no template " + std::to_wstring(dialogId) + L" in Test_rireruv.EXE)";
    }
}

Verifier::Verifier(const Settings& settings, const std::string& args, const std::wstring& program) {
    static int serial = 0;
    ++serial;
    m_trace = tempPath(L"rireruv-trace-" + std::to_wstring(serial) + L".txt");
    m_probeOut = tempPath(L"rireruv-probe-" + std::to_wstring(serial) + L".txt");
    DeleteFileW(m_trace.c_str());
    std::map<std::wstring, std::wstring> env = {{L"RIRERUV_TRACE", m_trace},
                                                {L"E2E_PROBE_OUT", m_probeOut}};
    for (const auto& [name, value] : settings)
        env[wide(name)] = wide(value);
    std::wstring block = environmentBlock(env);
    const std::wstring exe = exeDir() + program;
    std::wstring commandLine = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + wide(args));
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                       CREATE_UNICODE_ENVIRONMENT, &block[0], nullptr, &si, &pi)) {
        m_process = pi.hProcess;
        m_processId = pi.dwProcessId;
        m_threadId = pi.dwThreadId;
        CloseHandle(pi.hThread);
        WaitForInputIdle(m_process, 5000);
    }
}

Verifier::~Verifier() {
    if (m_process == nullptr)
        return;
    if (WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT) {
        TerminateProcess(m_process, 99);
        WaitForSingleObject(m_process, 5000);
    }
    CloseHandle(m_process);
    DeleteFileW(m_probeOut.c_str());
}

// Time as the clock gives it, not as the loop counts it: a condition may itself take time.
bool waitFor(DWORD timeoutMs, bool (*condition)(void*), void* context) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition(context))
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(20);
    }
}

HWND Verifier::windowCaptioned(const std::wstring& caption, bool shownOnly) const {
    FindContext ctx{m_processId, caption, shownOnly, nullptr};
    EnumWindows(findProc, reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}

HWND Verifier::findWindow(const std::wstring& caption) const {
    return windowCaptioned(caption, true);
}

HWND Verifier::findAnyWindow(const std::wstring& caption) const {
    return windowCaptioned(caption, false);
}

HWND Verifier::waitWindow(const std::wstring& caption, DWORD timeoutMs) const {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND h = findWindow(caption))
            return h;
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        Sleep(20);
    }
}

bool Verifier::waitExit(DWORD timeoutMs) {
    return m_process != nullptr && WaitForSingleObject(m_process, timeoutMs) == WAIT_OBJECT_0;
}

DWORD Verifier::exitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(m_process, &code);
    return code;
}

std::vector<std::string> Verifier::trace() const {
    std::ifstream in(m_trace.c_str());
    return linesIn(in);
}

int Verifier::count(const std::string& traceLine) const {
    int n = 0;
    for (const auto& line : trace())
        n += line.rfind(traceLine, 0) == 0;
    return n;
}

namespace {
struct TraceCount {
    const Verifier* v;
    std::string line;
    int moreThan;
};
bool tracedMore(void* context) {
    const auto* t = static_cast<TraceCount*>(context);
    return t->v->count(t->line) > t->moreThan;
}

// The probe's answer file, read until it ends with "end".
struct ProbeAnswer {
    std::wstring path;
    std::vector<std::string> lines;
};
bool answered(void* context) {
    auto* answer = static_cast<ProbeAnswer*>(context);
    std::ifstream in(answer->path.c_str());
    answer->lines = linesIn(in);
    return !answer->lines.empty() && answer->lines.back() == "end";
}

// What the probe's message asks (probe.cpp): a report of what it sees, or only "end".
const WPARAM kReport = 0, kEndOnly = 1;
} // namespace

bool Verifier::waitTraced(const std::string& traceLine, int moreThan, DWORD timeoutMs) const {
    TraceCount t{this, traceLine, moreThan};
    return waitFor(timeoutMs, tracedMore, &t);
}

std::vector<std::string> Verifier::probe(HWND dialog) {
    return askProbe(dialog, kReport);
}

bool Verifier::caughtUp(HWND dialog) {
    const auto lines = askProbe(dialog, kEndOnly);
    return !lines.empty() && lines.back() == "end";
}

std::vector<std::string> Verifier::askProbe(HWND dialog, WPARAM question) {
    static HMODULE dll = LoadLibraryW((exeDir() + L"e2e_probe.dll").c_str());
    static const UINT message = RegisterWindowMessageW(L"rireruv e2e probe");
    auto hook =
        reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(dll, "ProbeHook@12")));
    if (hook == nullptr)
        hook =
            reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(dll, "ProbeHook")));
    if (dll == nullptr || hook == nullptr)
        return {"error probe DLL not loaded"};
    DeleteFileW(m_probeOut.c_str());
    HHOOK h = SetWindowsHookExW(WH_GETMESSAGE, hook, dll, m_threadId);
    if (h == nullptr)
        return {"error SetWindowsHookExW failed"};
    PostMessageW(dialog, message, question, 0);
    ProbeAnswer answer{m_probeOut, {}};
    waitFor(5000, answered, &answer);
    UnhookWindowsHookEx(h);
    return answer.lines;
}

std::wstring textOf(HWND h) {
    wchar_t buffer[512] = L"";
    DWORD_PTR n = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer), SMTO_BLOCK, 2000,
                             &n))
        return L"<no answer>";
    return std::wstring(buffer, n);
}

HWND item(HWND dialog, int id) {
    return GetDlgItem(dialog, id);
}

std::wstring itemText(HWND dialog, int id) {
    HWND h = item(dialog, id);
    return h != nullptr ? textOf(h) : L"<no control>";
}

HWND focusOf(DWORD threadId) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(threadId, &info) ? info.hwndFocus : nullptr;
}

void click(HWND button) {
    PostMessageW(button, BM_CLICK, 0, 0);
}

void pressKey(HWND target, UINT vk) {
    PostMessageW(target, WM_KEYDOWN, vk, 1);
    PostMessageW(target, WM_KEYUP, vk, 0xC0000001);
}

void sysCommand(HWND window, WPARAM id) {
    PostMessageW(window, WM_SYSCOMMAND, id, 0);
}

namespace {

// The part of the screen that holds these windows, with a margin.
RECT areaOf(std::initializer_list<HWND> windows) {
    RECT area{0, 0, 0, 0};
    for (HWND w : windows) {
        RECT r;
        if (w != nullptr && GetWindowRect(w, &r))
            UnionRect(&area, &area, &r);
    }
    const long margin = 8;
    return {std::max(0L, area.left - margin), std::max(0L, area.top - margin),
            std::min<long>(GetSystemMetrics(SM_CXSCREEN), area.right + margin),
            std::min<long>(GetSystemMetrics(SM_CYSCREEN), area.bottom + margin)};
}

} // namespace

std::vector<char> screenBytes(const RECT& area, WORD bitCount, bool topDown) {
    const int width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0)
        return {};
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO bmi{};
    bmi.bmiHeader = {sizeof(BITMAPINFOHEADER),
                     width,
                     topDown ? -height : height,
                     1,
                     bitCount,
                     BI_RGB,
                     0,
                     0,
                     0,
                     0,
                     0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<char> rows;
    if (bitmap != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
        GdiFlush();
        const size_t stride = ((static_cast<size_t>(width) * bitCount / 8 + 3) / 4) * 4;
        rows.assign(static_cast<const char*>(bits),
                    static_cast<const char*>(bits) + stride * height);
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return rows;
}

namespace {

// The screen's pixels over an area, as a .bmp file holds them: 24-bit rows, bottom row first.
std::vector<char> screenRows(const RECT& area) {
    return screenBytes(area, 24, false);
}

bool writeBitmap(const std::wstring& path, const RECT& area, const std::vector<char>& rows) {
    const LONG width = area.right - area.left, height = area.bottom - area.top;
    const BITMAPINFOHEADER info{sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const DWORD headers = sizeof(BITMAPFILEHEADER) + sizeof info;
    const BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(headers + rows.size()), 0, 0, headers};
    std::ofstream out(path.c_str(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(rows.data(), static_cast<std::streamsize>(rows.size()));
    return !rows.empty() && out.good();
}

BOOL CALLBACK findUnpainted(HWND h, LPARAM found) {
    if (!GetUpdateRect(h, nullptr, FALSE))
        return TRUE;
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

// Painted through: no update region left on it or its controls, and its thread has answered a
// message sent after that (so the WM_PAINT that emptied the region has returned: BeginPaint
// empties it before anything is drawn).
bool painted(HWND window) {
    bool unpainted = GetUpdateRect(window, nullptr, FALSE) != FALSE;
    if (!unpainted)
        EnumChildWindows(window, findUnpainted, reinterpret_cast<LPARAM>(&unpainted));
    DWORD_PTR ignored = 0;
    return !unpainted &&
           SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, 2000, &ignored) != 0;
}

struct Drawing {
    std::vector<HWND> windows;
    RECT area;
    std::vector<char> last; // the screen when everything was last painted
};
// Wine copies what a program paints to the display a little after: the same pixels twice in a
// row, with everything painted, are what a person sees.
bool drawnThrough(void* context) {
    auto* d = static_cast<Drawing*>(context);
    for (HWND w : d->windows)
        if (w != nullptr && !painted(w)) {
            d->last.clear();
            return false;
        }
    std::vector<char> now = screenRows(d->area);
    const bool same = !now.empty() && now == d->last;
    d->last = std::move(now);
    return same;
}

// Xvfb has no window manager to give Wine's desktop the X focus, so Wine draws even the
// foreground window's caption inactive (grey); on a person's screen it is active.
void bringToFront(HWND window) {
    SetForegroundWindow(window);
    DWORD_PTR ignored = 0;
    if (GetForegroundWindow() == window)
        SendMessageTimeoutW(window, WM_NCACTIVATE, TRUE, 0, SMTO_BLOCK, 2000, &ignored);
}

} // namespace

bool waitDrawn(std::initializer_list<HWND> windows, DWORD timeoutMs) {
    Drawing d{windows, areaOf(windows), {}};
    return waitFor(timeoutMs, drawnThrough, &d);
}

bool screenshot(const std::wstring& path, std::initializer_list<HWND> windows) {
    if (windows.size() != 0 && *windows.begin() != nullptr)
        bringToFront(*windows.begin());
    // Taken even when the screen did not settle: the picture then shows what was wrong.
    waitDrawn(windows);
    const RECT area = areaOf(windows);
    return writeBitmap(path, area, screenRows(area));
}
