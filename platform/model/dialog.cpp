// The dialog manager: dialogs from templates, modal loops, dialog keys, message boxes.
#include "platform/model/desktop.h"

#include <algorithm>
#include <stdexcept>

namespace model {

namespace {

RECT toPixels(int x, int y, int cx, int cy) {
    return RECT{x * kCharWidth / 4, y * kCharHeight / 8, (x + cx) * kCharWidth / 4,
                (y + cy) * kCharHeight / 8};
}

HWND addWindow(std::unique_ptr<Window> w) {
    HWND h = newHandle();
    w->handle = h;
    desktop().windows[h] = std::move(w);
    return h;
}

HWND addControl(HWND dlg, Kind kind, uint32_t style, int id, std::u16string text, RECT rect) {
    auto c = std::make_unique<Window>();
    c->kind = kind;
    c->style = style;
    c->id = id;
    c->text = std::move(text);
    c->parent = dlg;
    c->rect = rect;
    c->proc = isButton(*c) ? buttonProc : staticProc;
    c->visible = (style & WS_VISIBLE) != 0;
    c->enabled = (style & WS_DISABLED) == 0;
    HWND h = addWindow(std::move(c));
    window(dlg)->children.push_back(h);
    return h;
}

HWND createFromTemplate(const DialogTemplate& t, int templateId, HWND owner, DLGPROC proc) {
    auto w = std::make_unique<Window>();
    w->kind = Kind::Dialog;
    w->templateId = templateId;
    w->style = t.style & ~WS_VISIBLE; // shown once WM_INITDIALOG has run
    w->exStyle = t.exStyle;
    w->text = t.caption;
    w->owner = owner;
    w->rect = toPixels(0, 0, t.cx, t.cy);
    w->proc = defDlgProc;
    w->dlgProc = proc;
    HWND h = addWindow(std::move(w));
    for (const DialogItem& item : t.items) {
        Kind kind = Kind::Text;
        if (item.windowClass == 0x80)
            kind = (item.style & BS_TYPEMASK) == BS_GROUPBOX ? Kind::GroupBox : Kind::PushButton;
        else if (item.windowClass == 0x82)
            kind = (item.style & SS_TYPEMASK) == SS_ICON ? Kind::Icon : Kind::Text;
        else
            fatal("control class in dialog " + std::to_string(templateId) + " is not modelled");
        HWND c = addControl(h, kind, item.style, item.id, item.text.isNumber ? u"" : item.text.name,
                            toPixels(item.x, item.y, item.cx, item.cy));
        // An icon static shows the icon its text names, at the icon's own size.
        if (kind == Kind::Icon && item.text.isNumber)
            window(c)->staticIcon = loadIcon(item.text.number, 32, 32);
    }
    return h;
}

HWND firstTabStop(HWND dlg) {
    for (HWND c : window(dlg)->children) {
        Window* w = window(c);
        if ((w->style & WS_TABSTOP) && w->visible && w->enabled)
            return c;
    }
    return nullptr;
}

bool isPushButton(HWND h) {
    Window* w = window(h);
    return w != nullptr && w->kind == Kind::PushButton;
}

// The keys the dialog manager takes for itself (IsDialogMessage).
bool dialogKey(HWND dlg, const MSG& m) {
    if (m.message != WM_KEYDOWN || topLevel(m.hwnd) != dlg)
        return false;
    Desktop& d = desktop();
    switch (m.wParam) {
    case VK_ESCAPE:
        send(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
             reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDCANCEL)));
        return true;
    case VK_RETURN: {
        int id = IDOK;
        if (isPushButton(d.focus))
            id = window(d.focus)->id;
        else
            for (HWND c : window(dlg)->children)
                if (isPushButton(c) && (window(c)->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
                    id = window(c)->id;
        send(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
             reinterpret_cast<LPARAM>(GetDlgItem(dlg, id)));
        return true;
    }
    case VK_SPACE:
        if (isPushButton(d.focus))
            send(d.focus, BM_CLICK, 0, 0);
        return true;
    case VK_TAB: {
        std::vector<HWND> stops;
        for (HWND c : window(dlg)->children)
            if ((window(c)->style & WS_TABSTOP) && window(c)->visible && window(c)->enabled)
                stops.push_back(c);
        if (!stops.empty()) {
            if (d.shiftDown) // Shift+Tab: the previous tab stop
                std::reverse(stops.begin(), stops.end());
            auto it = std::find(stops.begin(), stops.end(), d.focus);
            setFocus(it == stops.end() || it + 1 == stops.end() ? stops.front() : *(it + 1));
        }
        return true;
    }
    default:
        return false;
    }
}

// DialogBox's own part: disable the owner, initialise, show, run the loop until EndDialog,
// then enable the owner and destroy the window before returning the result.
INT_PTR runModal(HWND dlg, HWND owner, LPARAM param) {
    Desktop& d = desktop();
    HWND previousFocus = d.focus;
    Window* ownerWindow = window(topLevel(owner));
    const bool ownerWasEnabled = ownerWindow != nullptr && ownerWindow->enabled;
    if (ownerWasEnabled)
        ownerWindow->enabled = false;
    d.modalStack.push_back(dlg);

    HWND first = firstTabStop(dlg);
    if (send(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param) &&
        window(dlg) != nullptr && !window(dlg)->ended)
        setFocus(first);
    if (Window* w = window(dlg); w != nullptr && !w->ended) {
        w->visible = true;
        w->style |= WS_VISIBLE;
        w->needsPaint = true;
    }
    while (window(dlg) != nullptr && !window(dlg)->ended) {
        MSG m;
        if (!getMessage(m)) {
            post(nullptr, WM_QUIT, m.wParam, 0); // for the loop outside, as DialogBox does
            break;
        }
        if (!dialogKey(dlg, m))
            dispatch(m);
    }
    const INT_PTR result = window(dlg) != nullptr ? window(dlg)->result : 0;
    if (ownerWasEnabled && window(owner) != nullptr)
        window(topLevel(owner))->enabled = true;
    d.modalStack.erase(std::remove(d.modalStack.begin(), d.modalStack.end(), dlg),
                       d.modalStack.end());
    destroy(dlg);
    if (window(previousFocus) != nullptr)
        setFocus(previousFocus);
    return result;
}

INT_PTR CALLBACK messageBoxProc(HWND h, UINT msg, WPARAM wp, LPARAM /*lp*/) {
    if (msg == WM_INITDIALOG)
        return TRUE;
    if (msg == WM_COMMAND) {
        // A box with only OK answers Esc and the close box with IDOK.
        EndDialog(h, LOWORD(wp) == IDCANCEL ? IDOK : LOWORD(wp));
        return TRUE;
    }
    return FALSE;
}

} // namespace

LRESULT CALLBACK defDlgProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    Window* w = window(h);
    if (w == nullptr)
        return 0;
    if (w->dlgProc != nullptr) {
        w->msgResult = 0;
        const INT_PTR handled = w->dlgProc(h, msg, wp, lp);
        if (handled) {
            // These few return their result directly; the rest through DWLP_MSGRESULT.
            if (msg == WM_INITDIALOG || msg == WM_QUERYDRAGICON)
                return handled;
            w = window(h);
            return w != nullptr ? w->msgResult : 0;
        }
        if (window(h) == nullptr)
            return 0;
    }
    if (msg == WM_CLOSE) {
        // The close box and the system menu's Close end a dialog as its Cancel button would.
        HWND cancel = GetDlgItem(h, IDCANCEL);
        if (cancel == nullptr || window(cancel)->enabled)
            post(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        return 0;
    }
    return defWindowProc(h, msg, wp, lp);
}

} // namespace model

using namespace model;

INT_PTR DialogBoxParamW(HINSTANCE /*hInstance*/, LPCWSTR lpTemplateName, HWND hWndParent,
                        DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    if (!IS_INTRESOURCE(lpTemplateName))
        fatal("DialogBoxParamW with a template name is not modelled");
    const int id = static_cast<int>(reinterpret_cast<UINT_PTR>(lpTemplateName));
    const Resource* res = desktop().resources.find(kRtDialog, static_cast<uint16_t>(id));
    if (res == nullptr) {
        note("DialogBox " + std::to_string(id) + " failed: no such template");
        return -1;
    }
    DialogTemplate t;
    try {
        t = parseDialog(res->data);
    } catch (const std::runtime_error& e) {
        note("DialogBox " + std::to_string(id) + " failed: " + e.what());
        return -1;
    }
    HWND dlg = createFromTemplate(t, id, topLevel(hWndParent), lpDialogFunc);
    return runModal(dlg, hWndParent, dwInitParam);
}

BOOL EndDialog(HWND hDlg, INT_PTR nResult) {
    Window* w = window(hDlg);
    if (w == nullptr || (w->kind != Kind::Dialog && w->kind != Kind::MessageBox))
        return FALSE;
    w->ended = true;
    w->result = nResult;
    post(hDlg, WM_NULL, 0, 0); // wakes a modal loop that waits, as Wine's EndDialog does
    note("EndDialog " + describe(hDlg) + " " +
         (nResult == IDOK       ? "IDOK"
          : nResult == IDCANCEL ? "IDCANCEL"
                                : std::to_string(nResult)));
    return TRUE;
}

int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    if ((uType & 0xF) != MB_OK)
        fatal("MessageBoxA buttons other than MB_OK are not modelled");
    const std::string caption = lpCaption != nullptr ? lpCaption : "Error";
    note("MessageBox \"" + std::string(lpText) + "\" \"" + caption + "\" " +
         (uType == MB_OK ? "MB_OK" : std::to_string(uType)));
    auto w = std::make_unique<Window>();
    w->kind = Kind::MessageBox;
    w->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    w->text = fromAnsi(caption.c_str());
    w->owner = topLevel(hWnd);
    w->proc = defDlgProc;
    w->dlgProc = messageBoxProc;
    const std::u16string text = fromAnsi(lpText);
    const int width = std::max<int>(static_cast<int>(text.size()) * kCharWidth + 40, 120);
    w->rect = RECT{0, 0, width, 90};
    HWND h = newHandle();
    w->handle = h;
    desktop().windows[h] = std::move(w);
    addControl(h, Kind::Text, WS_CHILD | WS_VISIBLE | SS_NOPREFIX, 0xFFFF, text,
               RECT{20, 16, width - 20, 16 + kCharHeight});
    addControl(h, Kind::PushButton, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK,
               u"OK", RECT{width / 2 - 36, 50, width / 2 + 36, 72});
    return static_cast<int>(runModal(h, hWnd, 0));
}
