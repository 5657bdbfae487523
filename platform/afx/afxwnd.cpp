// Message maps and CWnd: how a message reaches its handler, and what Default means.
#include "platform/afx/afxwin.h"

#include <map>
#include <memory>

namespace {

// The message being handled, so that Default() can hand it on. Handlers may send messages
// to the window again (OnPaint sends WM_ICONERASEBKGND), so each dispatch saves and restores it.
struct CurrentMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
CurrentMessage g_current{};

// Windows tied to their objects: our dialogs.
std::map<HWND, CWnd*>& permanentMap() {
    static std::map<HWND, CWnd*> map;
    return map;
}

// Temporary wrappers of windows we do not own (the dialog's controls). Wrappers of windows
// that died are dropped on the next lookup, so the table stays as small as the live set.
CWnd* temporaryWrapper(HWND hWnd) {
    static std::map<HWND, std::unique_ptr<CWnd>> map;
    for (auto it = map.begin(); it != map.end();)
        it = ::IsWindow(it->first) ? std::next(it) : map.erase(it);
    auto& slot = map[hWnd];
    if (!slot) {
        slot = std::make_unique<CWnd>();
        slot->m_hWnd = hWnd;
    }
    return slot.get();
}

} // namespace

// ---- CCmdTarget ---------------------------------------------------------------------------

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const {
    return GetThisMessageMap();
}

const AFX_MSGMAP_ENTRY* CCmdTarget::FindEntry(UINT nMessage, UINT nCode, UINT nID) const {
    for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
         map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->pfn != nullptr; ++e) {
            if (e->nMessage == nMessage && e->nCode == nCode && nID >= e->nID && nID <= e->nLastID)
                return e;
        }
    }
    return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode) {
    const AFX_MSGMAP_ENTRY* e = FindEntry(WM_COMMAND, static_cast<UINT>(nCode), nID);
    if (e == nullptr)
        return FALSE;
    e->pfn(this, 0, 0);
    return TRUE;
}

// ---- the window procedure -----------------------------------------------------------------

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto it = permanentMap().find(hWnd);
    if (it == permanentMap().end())
        return 0; // not ours: cannot happen, the procedure is only installed by SubclassWindow
    CWnd* pWnd = it->second;
    const CurrentMessage saved = g_current;
    g_current = {message, wParam, lParam};
    const LRESULT result = pWnd->WindowProc(message, wParam, lParam);
    g_current = saved;
    if (message == WM_NCDESTROY)
        pWnd->OnNcDestroyed();
    return result;
}

// ---- CWnd ---------------------------------------------------------------------------------

void CWnd::SubclassWindow(HWND hWnd) {
    m_hWnd = hWnd;
    permanentMap()[hWnd] = this;
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
}

void CWnd::OnNcDestroyed() {
    permanentMap().erase(m_hWnd);
    m_hWnd = nullptr;
    CWinApp* pApp = AfxGetApp();
    if (pApp != nullptr && pApp->m_pMainWnd == this)
        pApp->m_pMainWnd = nullptr;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result))
        result = DefWindowProc(message, wParam, lParam);
    return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (message == WM_COMMAND) {
        if (!OnCommand(wParam, lParam))
            return FALSE;
        *pResult = 0;
        return TRUE;
    }
    const AFX_MSGMAP_ENTRY* e = FindEntry(message, 0, 0);
    if (e == nullptr)
        return FALSE;
    *pResult = e->pfn(this, wParam, lParam);
    return TRUE;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM /*lParam*/) {
    return OnCmdMsg(LOWORD(wParam), HIWORD(wParam));
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
    return DefWindowProc(g_current.message, g_current.wParam, g_current.lParam);
}

void CWnd::DoDataExchange(CDataExchange* /*pDX*/) {}

BOOL CWnd::UpdateData(BOOL /*bSaveAndValidate*/) {
    CDataExchange dx;
    DoDataExchange(&dx);
    return TRUE;
}

CWnd* CWnd::GetDlgItem(int nID) const {
    HWND hControl = ::GetDlgItem(m_hWnd, nID);
    return hControl != nullptr ? temporaryWrapper(hControl) : nullptr;
}

void CWnd::SetDlgItemText(int nID, LPCSTR lpszString) {
    ::SetDlgItemTextA(m_hWnd, nID, lpszString);
}

void CWnd::SetWindowText(LPCSTR lpszString) {
    ::SetWindowTextA(m_hWnd, lpszString);
}

CMenu* CWnd::GetSystemMenu(BOOL bRevert) const {
    return CMenu::FromHandle(::GetSystemMenu(m_hWnd, bRevert));
}

HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon) {
    return reinterpret_cast<HICON>(
        SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer) {
    return ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfnTimer);
}

BOOL CWnd::KillTimer(UINT_PTR nIDEvent) {
    return ::KillTimer(m_hWnd, nIDEvent);
}

// ---- CMenu --------------------------------------------------------------------------------

CMenu* CMenu::FromHandle(HMENU hMenu) {
    if (hMenu == nullptr)
        return nullptr;
    // System menus live as long as their windows, and a program has few: one wrapper per
    // distinct handle is all this ever holds.
    static std::map<HMENU, CMenu> map;
    CMenu& menu = map[hMenu];
    menu.m_hMenu = hMenu;
    return &menu;
}

BOOL CMenu::AppendMenu(UINT nFlags, UINT_PTR nIDNewItem, LPCWSTR lpszNewItem) {
    return ::AppendMenuW(m_hMenu, nFlags, nIDNewItem, lpszNewItem);
}
