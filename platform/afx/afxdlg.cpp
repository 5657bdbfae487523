// CDialog, CPaintDC and CString: modal dialogs over the window system's dialog manager.
#include "platform/afx/afxwin.h"

// ---- CDialog ------------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)         // void OnOK()
ON_COMMAND(IDCANCEL, OnCancel) // void OnCancel(); Esc and the close box arrive here
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

namespace {
// The owner of a modal window: the given parent's window, or else the application's main
// window, as MFC does, so that the About box disables the verifier while it is open.
HWND safeOwner(const CWnd* pParent, const CWnd* pSelf) {
    if (pParent != nullptr)
        return pParent->m_hWnd;
    CWinApp* pApp = AfxGetApp();
    CWnd* pMain = pApp != nullptr ? pApp->m_pMainWnd : nullptr;
    if (pMain == nullptr || pMain == pSelf || !::IsWindow(pMain->m_hWnd))
        return nullptr;
    return pMain->m_hWnd;
}
} // namespace

INT_PTR CDialog::DoModal() {
    // The wide function keeps the template's UTF-16 caption and texts intact.
    return ::DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate),
                             safeOwner(m_pParentWnd, this), &CDialog::DlgProc,
                             reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CDialog::DlgProc(HWND hWnd, UINT message, WPARAM /*wParam*/, LPARAM lParam) {
    // Every later message reaches the object through the subclassed window procedure first;
    // when it comes here, it is being default-processed, so the dialog manager handles it.
    if (message != WM_INITDIALOG)
        return FALSE;
    auto* pDlg = reinterpret_cast<CDialog*>(lParam);
    pDlg->SubclassWindow(hWnd);
    return pDlg->OnInitDialog();
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::EndDialog(int nResult) {
    ::EndDialog(m_hWnd, nResult);
}

void CDialog::OnOK() {
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

BOOL CDialog::OnCmdMsg(UINT nID, int nCode) {
    if (CWnd::OnCmdMsg(nID, nCode))
        return TRUE;
    // Commands (not control notifications, not system commands) the dialog does not handle
    // get a last chance at the application, whose map holds ID_HELP.
    const bool isCommandId = nID >= 0x8000 && nID < 0xF000;
    if (nCode != 0 || !isCommandId)
        return FALSE;
    CWinApp* pApp = AfxGetApp();
    return pApp != nullptr && pApp->OnCmdMsg(nID, nCode);
}

// ---- CPaintDC -----------------------------------------------------------------------------

CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(pWnd->m_hWnd) {
    m_hDC = ::BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC() {
    ::EndPaint(m_hWnd, &m_ps);
}

// ---- CString ------------------------------------------------------------------------------

BOOL CString::LoadString(UINT nID) {
    HINSTANCE hInst = AfxGetResourceHandle();
    // LoadStringW truncates to the buffer; grow until the text fits with room to spare.
    for (int size = 256;; size *= 2) {
        std::basic_string<WCHAR> buffer(static_cast<size_t>(size), WCHAR(0));
        const int n = ::LoadStringW(hInst, nID, &buffer[0], size);
        if (n < size - 1) {
            m_str.assign(buffer.data(), static_cast<size_t>(n > 0 ? n : 0));
            return n > 0;
        }
    }
}
