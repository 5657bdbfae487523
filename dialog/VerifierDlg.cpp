// The verifier dialog.
#include "dialog/VerifierDlg.h"

#include "dialog/AboutBoxDlg.h"
#include "platform/zelk.h"
#include "res/resource.h"

BEGIN_MESSAGE_MAP(CVerifierDlg, CDialog)
ON_WM_SYSCOMMAND()                         // void OnSysCommand(UINT nID, LPARAM lParam)
ON_WM_PAINT()                              // void OnPaint()
ON_WM_QUERYDRAGICON()                      // HCURSOR OnQueryDragIcon()
ON_BN_CLICKED(IDC_START_STOP, OnStartStop) // void OnStartStop()
ON_WM_TIMER()                              // void OnTimer(UINT_PTR nIDEvent)
ON_WM_DESTROY()                            // void OnDestroy()
END_MESSAGE_MAP()

namespace {
const UINT kPollPeriodMs = 200;
}

CVerifierDlg::CVerifierDlg(CWnd* pParent)
    : CDialog(IDD_VERIFIER, pParent), m_bPolling(FALSE), m_bComInitialized(FALSE),
      m_bHardwareReady(FALSE) {
    m_hAppIcon = AfxGetApp()->LoadIcon(IDR_APPICON);
}

void CVerifierDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
}

// ---- set-up and teardown ------------------------------------------------------------------

BOOL CVerifierDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    AddAboutItem();
    SetIcon(m_hAppIcon, TRUE);
    SetIcon(m_hAppIcon, FALSE);
    InitHardware();
    return TRUE; // the focus goes to the first tab stop, the Start/Stop button
}

void CVerifierDlg::AddAboutItem() {
    CMenu* pSysMenu = GetSystemMenu(FALSE);
    if (pSysMenu == nullptr)
        return;
    CString strAboutMenu;
    strAboutMenu.LoadString(IDS_ABOUT_MENU);
    if (strAboutMenu.IsEmpty())
        return;
    pSysMenu->AppendMenu(MF_SEPARATOR);
    pSysMenu->AppendMenu(MF_STRING, IDM_ABOUT, strAboutMenu);
}

void CVerifierDlg::InitHardware() {
    const HRESULT hr = ::CoInitialize(nullptr);
    // S_FALSE (already initialised on this thread) is a success too, and must be balanced.
    m_bComInitialized = SUCCEEDED(hr);
    if (hr != S_OK)
        return;
    if (ZELK_HWInit() != ZELK_INIT_FAILED) {
        m_bHardwareReady = TRUE;
        return;
    }
    AfxMessageBox("ZELK_HWInit() failed!", MB_OK, 0);
    ::CoUninitialize();
    m_bComInitialized = FALSE; // released here: the teardown must not release it again
    OnCancel();
}

void CVerifierDlg::OnDestroy() {
    // The poll timer dies with the window; no tick can follow this.
    if (m_bHardwareReady) {
        ZELK_Free();
        m_bHardwareReady = FALSE;
    }
    if (m_bComInitialized) {
        ::CoUninitialize();
        m_bComInitialized = FALSE;
    }
    Default();
}

// ---- polling ------------------------------------------------------------------------------

void CVerifierDlg::OnStartStop() {
    if (m_bPolling) {
        SetDlgItemText(IDC_START_STOP, "Start");
        m_bPolling = FALSE;
        KillTimer(IDT_POLL);
    } else {
        SetDlgItemText(IDC_START_STOP, "Stop");
        m_bPolling = TRUE;
        SetTimer(IDT_POLL, kPollPeriodMs, nullptr);
    }
}

void CVerifierDlg::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent == IDT_POLL) {
        unsigned char byData = 0; // shown as it is if the library writes nothing
        ZELK_GetRemoteData(&byData);
        char szText[32];
        ::wsprintfA(szText, "%X", static_cast<unsigned int>(byData));
        GetDlgItem(IDC_REMOTE_DATA)->SetWindowText(szText);
    }
    Default();
}

// ---- system menu and minimised icon -------------------------------------------------------

void CVerifierDlg::OnSysCommand(UINT nID, LPARAM /*lParam*/) {
    if ((nID & 0xFFF0) == IDM_ABOUT) {
        CAboutBoxDlg dlgAbout;
        dlgAbout.DoModal();
    } else {
        Default();
    }
}

void CVerifierDlg::OnPaint() {
    if (!IsIconic()) {
        Default();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    const int cxIcon = ::GetSystemMetrics(SM_CXICON);
    const int cyIcon = ::GetSystemMetrics(SM_CYICON);
    CRect rect;
    GetClientRect(&rect);
    // Signed division truncates toward zero: a too-narrow client area gives -1, not -2.
    const int x = (rect.Width() - cxIcon + 1) / 2;
    const int y = (rect.Height() - cyIcon + 1) / 2;
    dc.DrawIcon(x, y, m_hAppIcon);
}

HCURSOR CVerifierDlg::OnQueryDragIcon() {
    return static_cast<HCURSOR>(m_hAppIcon);
}
