// Menus, resources, painting, metrics, timers, text formatting and COM.
#include "platform/model/desktop.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace model {

namespace {

Menu* menu(HMENU h) {
    for (auto& m : desktop().menus)
        if (reinterpret_cast<HMENU>(m.get()) == h)
            return m.get();
    return nullptr;
}

// The standard items of a window's system menu, as the window system adds them.
void addStandardItems(Menu& m) {
    m.items = {{MF_STRING, SC_RESTORE, u"&Restore"},    {MF_STRING, SC_MOVE, u"&Move"},
               {MF_STRING, SC_SIZE, u"&Size"},          {MF_STRING, SC_MINIMIZE, u"Mi&nimize"},
               {MF_STRING, SC_MAXIMIZE, u"Ma&ximize"},  {MF_SEPARATOR, 0, u""},
               {MF_STRING, SC_CLOSE, u"&Close\tAlt+F4"}};
}

HDC paintDc(HWND h) {
    return reinterpret_cast<HDC>(reinterpret_cast<uintptr_t>(h) | 1);
}

HWND paintWindow(HDC dc) {
    return reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(dc) & ~uintptr_t(1));
}

} // namespace

std::string describe(HICON h) {
    for (auto& icon : desktop().icons)
        if (reinterpret_cast<HICON>(icon.get()) == h)
            return "icon " + std::to_string(icon->groupId) + " " + std::to_string(icon->width) +
                   "x" + std::to_string(icon->height);
    return h == nullptr ? "no icon" : "unknown icon";
}

HICON loadIcon(int groupId, int width, int height) {
    Desktop& d = desktop();
    const Resource* group = d.resources.find(kRtGroupIcon, static_cast<uint16_t>(groupId));
    if (group == nullptr)
        return nullptr;
    // The image nearest the wanted size, as LoadIcon picks it; one shared handle for each.
    const IconEntry* best = nullptr;
    const auto entries = parseIconGroup(group->data);
    for (const IconEntry& e : entries)
        if (best == nullptr || std::abs(e.width - width) + std::abs(e.height - height) <
                                   std::abs(best->width - width) + std::abs(best->height - height))
            best = &e;
    if (best == nullptr)
        return nullptr;
    for (auto& icon : d.icons)
        if (icon->groupId == groupId && icon->width == best->width && icon->height == best->height)
            return reinterpret_cast<HICON>(icon.get());
    d.icons.push_back(std::make_unique<Icon>(Icon{groupId, best->width, best->height}));
    return reinterpret_cast<HICON>(d.icons.back().get());
}

bool menuItemEnabled(HWND hwnd, const MenuItem& item) {
    Window* w = window(hwnd);
    if (w == nullptr || (item.flags & (MF_GRAYED | MF_SEPARATOR)) != 0)
        return false;
    // What the window system greys when the menu opens, from the window's styles and state.
    switch (item.id) {
    case SC_RESTORE:
        return w->iconic;
    case SC_SIZE:     // no sizing frame
    case SC_MAXIMIZE: // no maximise box
    case SC_MINIMIZE: // no minimise box; the taskbar button still minimises
        return false;
    case SC_MOVE:
        return !w->iconic;
    default:
        return true;
    }
}

const std::vector<MenuItem>* menuItems(HMENU h) {
    Menu* m = menu(h);
    return m != nullptr ? &m->items : nullptr;
}

} // namespace model

using namespace model;

// ---- menus --------------------------------------------------------------------------------

HMENU GetSystemMenu(HWND hWnd, BOOL bRevert) {
    Window* w = window(hWnd);
    if (w == nullptr || w->parent != nullptr || (w->style & WS_SYSMENU) == 0)
        return nullptr;
    if (w->sysMenu == nullptr || bRevert) {
        if (w->sysMenu == nullptr) {
            desktop().menus.push_back(std::make_unique<Menu>());
            w->sysMenu = reinterpret_cast<HMENU>(desktop().menus.back().get());
            menu(w->sysMenu)->window = hWnd;
        }
        addStandardItems(*menu(w->sysMenu));
        if (bRevert)
            return nullptr;
    }
    return w->sysMenu;
}

BOOL AppendMenuW(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCWSTR lpNewItem) {
    Menu* m = menu(hMenu);
    if (m == nullptr)
        return FALSE;
    if ((uFlags & ~(MF_SEPARATOR | MF_GRAYED)) != 0)
        fatal("AppendMenuW flags " + std::to_string(uFlags) + " are not modelled");
    MenuItem item{uFlags, uIDNewItem, u""};
    if (uFlags & MF_SEPARATOR) {
        note("AppendMenu separator");
        item.id = 0;
    } else {
        item.text = lpNewItem != nullptr ? lpNewItem : u"";
        char id[16];
        std::snprintf(id, sizeof id, "0x%X", static_cast<unsigned>(uIDNewItem));
        note(std::string("AppendMenu ") + id + " " + utf8(item.text));
    }
    m->items.push_back(item);
    return TRUE;
}

// ---- resources and modules ----------------------------------------------------------------

int LoadStringW(HINSTANCE /*hInstance*/, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
    if (cchBufferMax <= 0)
        fatal("LoadStringW into no buffer (a pointer to the resource) is not modelled");
    const auto s = findString(desktop().resources, uID).value_or(u"");
    const int n = std::min(static_cast<int>(s.size()), cchBufferMax - 1);
    std::copy(s.begin(), s.begin() + n, lpBuffer);
    lpBuffer[n] = 0;
    return n;
}

int LoadStringA(HINSTANCE /*hInstance*/, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
    if (cchBufferMax <= 0)
        return 0;
    const std::string s = toAnsi(findString(desktop().resources, uID).value_or(u""));
    const int n = std::min(static_cast<int>(s.size()), cchBufferMax - 1);
    std::memcpy(lpBuffer, s.data(), static_cast<size_t>(n));
    lpBuffer[n] = 0;
    return n;
}

HICON LoadIconA(HINSTANCE /*hInstance*/, LPCSTR lpIconName) {
    if (!IS_INTRESOURCE(lpIconName))
        fatal("LoadIconA by name is not modelled");
    return loadIcon(static_cast<int>(reinterpret_cast<UINT_PTR>(lpIconName)),
                    GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
}

DWORD GetModuleFileNameA(HMODULE /*hModule*/, LPSTR lpFilename, DWORD nSize) {
    if (nSize == 0)
        return 0;
    const std::string& path = desktop().modulePath;
    // As on Windows: a path that does not fit is cut and the size is returned.
    const DWORD n = static_cast<DWORD>(std::min<size_t>(path.size(), nSize - 1));
    std::memcpy(lpFilename, path.data(), n);
    lpFilename[n] = 0;
    return path.size() < nSize ? n : nSize;
}

// ---- painting and metrics -----------------------------------------------------------------

BOOL IsIconic(HWND hWnd) {
    Window* w = window(hWnd);
    return w != nullptr && w->iconic;
}

int GetSystemMetrics(int nIndex) {
    switch (nIndex) {
    case SM_CXICON:
    case SM_CYICON:
        return 32;
    default:
        fatal("GetSystemMetrics index " + std::to_string(nIndex) + " is not modelled");
    }
}

BOOL GetClientRect(HWND hWnd, LPRECT lpRect) {
    Window* w = window(hWnd);
    if (w == nullptr)
        return FALSE;
    if (w->iconic)
        *lpRect = w->iconicClient;
    else
        *lpRect = RECT{0, 0, w->rect.right - (w->parent ? w->rect.left : 0),
                       w->rect.bottom - (w->parent ? w->rect.top : 0)};
    return TRUE;
}

HDC BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    Window* w = window(hWnd);
    if (w == nullptr)
        return nullptr;
    w->needsPaint = false;
    *lpPaint = PAINTSTRUCT{paintDc(hWnd), TRUE, {}};
    GetClientRect(hWnd, &lpPaint->rcPaint);
    note("BeginPaint " + describe(hWnd));
    return lpPaint->hdc;
}

BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* /*lpPaint*/) {
    note("EndPaint " + describe(hWnd));
    return TRUE;
}

BOOL DrawIcon(HDC hDC, int X, int Y, HICON hIcon) {
    note("DrawIcon " + std::to_string(X) + "," + std::to_string(Y) + " " + describe(hIcon) +
         " on " + describe(paintWindow(hDC)));
    return hIcon != nullptr;
}

// ---- timers -------------------------------------------------------------------------------

UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
    Desktop& d = desktop();
    if (window(hWnd) == nullptr)
        fatal("SetTimer without a window is not modelled");
    // As on Windows: periods are at least 10 ms, and setting a running timer restarts it.
    const UINT period = std::max<UINT>(uElapse, 10);
    note("SetTimer " + std::to_string(nIDEvent) + " " + std::to_string(period));
    for (Timer& t : d.timers)
        if (t.hwnd == hWnd && t.id == nIDEvent) {
            t = Timer{hWnd, nIDEvent, period, d.now + period, lpTimerFunc};
            return nIDEvent;
        }
    d.timers.push_back(Timer{hWnd, nIDEvent, period, d.now + period, lpTimerFunc});
    return nIDEvent;
}

BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    Desktop& d = desktop();
    note("KillTimer " + std::to_string(uIDEvent));
    for (auto it = d.timers.begin(); it != d.timers.end(); ++it)
        if (it->hwnd == hWnd && it->id == uIDEvent) {
            d.timers.erase(it);
            return TRUE;
        }
    return FALSE;
}

// ---- text ---------------------------------------------------------------------------------

int wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...) {
    // wsprintf writes at most 1024 characters and a terminator.
    char buffer[1025];
    va_list args;
    va_start(args, lpFmt);
    const int n = std::vsnprintf(buffer, sizeof buffer, lpFmt, args);
    va_end(args);
    const int len = n < 0 ? 0 : std::min(n, 1024);
    std::memcpy(lpOut, buffer, static_cast<size_t>(len));
    lpOut[len] = 0;
    return len;
}

// ---- COM ----------------------------------------------------------------------------------

// The model has one UI thread, so the per-thread COM state is the desktop's.
HRESULT CoInitializeEx(LPVOID /*pvReserved*/, DWORD dwCoInit) {
    Desktop& d = desktop();
    const bool multithreaded = dwCoInit == COINIT_MULTITHREADED;
    if (d.comCount == 0) {
        d.comMultithreaded = multithreaded;
        d.comCount = 1;
        return S_OK;
    }
    if (d.comMultithreaded != multithreaded)
        return RPC_E_CHANGED_MODE; // a failure: the caller must not uninitialise
    ++d.comCount;
    return S_FALSE;
}

HRESULT CoInitialize(LPVOID pvReserved) {
    const HRESULT hr = CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
    note(std::string("CoInitialize ") + (hr == S_OK      ? "S_OK"
                                         : hr == S_FALSE ? "S_FALSE"
                                                         : "RPC_E_CHANGED_MODE"));
    return hr;
}

void CoUninitialize(void) {
    Desktop& d = desktop();
    if (d.comCount == 0) {
        note("CoUninitialize unbalanced");
        return;
    }
    --d.comCount;
    note("CoUninitialize");
}
