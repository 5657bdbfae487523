// e2e_probe.dll: looks at the verifier from inside its own process.
//
// Wine, like Windows, keeps some things from other processes: a window's system menu, its
// icons (WM_GETICON, WM_QUERYDRAGICON) and its dialog units. The driver installs this DLL's
// message hook on the verifier's thread, then posts it the registered message "rireruv e2e
// probe"; the hook, running in the verifier, writes what it sees, one "key value" line each,
// to the file named by the verifier's E2E_PROBE_OUT, and "end" last. With wParam 1 it writes
// "end" alone: the driver only learns that the messages posted before it have been taken.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string utf8(const wchar_t* s, int n = -1) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, s, n, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, s, n, &out[0], size, nullptr, nullptr);
    if (n < 0 && !out.empty())
        out.pop_back();
    return out;
}

void report(HWND dlg, FILE* f) {
    HMENU menu = GetSystemMenu(dlg, FALSE);
    const int count = menu ? GetMenuItemCount(menu) : -1;
    std::fprintf(f, "menu_items %d\n", count);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = L"";
        GetMenuStringW(menu, i, text, 256, MF_BYPOSITION);
        const UINT state = GetMenuState(menu, i, MF_BYPOSITION);
        std::fprintf(f, "menu %d 0x%X %s %s\n", i, GetMenuItemID(menu, i),
                     (state & MF_SEPARATOR) ? "separator" : "string", utf8(text).c_str());
    }
    HICON app = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128));
    const LRESULT big = SendMessageW(dlg, WM_GETICON, ICON_BIG, 0);
    const LRESULT small = SendMessageW(dlg, WM_GETICON, ICON_SMALL, 0);
    const LRESULT drag = SendMessageW(dlg, WM_QUERYDRAGICON, 0, 0);
    std::fprintf(f, "icon_big %s\n", reinterpret_cast<HICON>(big) == app ? "app" : "other");
    std::fprintf(f, "icon_small %s\n", reinterpret_cast<HICON>(small) == app ? "app" : "other");
    std::fprintf(f, "drag_icon %s\n", reinterpret_cast<HICON>(drag) == app ? "app" : "other");
    RECT units = {0, 0, 4, 8};
    MapDialogRect(dlg, &units);
    std::fprintf(f, "base_units %ld %ld\n", units.right, units.bottom);
    HWND focus = GetFocus();
    std::fprintf(f, "focus %d\n", focus ? GetDlgCtrlID(focus) : 0);
    for (HWND c = GetWindow(dlg, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r;
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
        wchar_t cls[64] = L"";
        GetClassNameW(c, cls, 64);
        std::fprintf(f, "control %d %s 0x%08lX %ld %ld %ld %ld\n", GetDlgCtrlID(c),
                     utf8(cls).c_str(), static_cast<unsigned long>(GetWindowLongW(c, GWL_STYLE)),
                     r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    ProbeHook(int code, WPARAM wParam, LPARAM lParam) {
    static const UINT probe = RegisterWindowMessageW(L"rireruv e2e probe");
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == probe) {
        wchar_t path[MAX_PATH] = L"";
        if (GetEnvironmentVariableW(L"E2E_PROBE_OUT", path, MAX_PATH) > 0) {
            if (FILE* f = _wfopen(path, L"w")) {
                if (msg->wParam == 0)
                    report(msg->hwnd, f);
                std::fprintf(f, "end\n");
                std::fclose(f);
            }
        }
        msg->message = WM_NULL; // nothing for the program itself
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
