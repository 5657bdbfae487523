// CWinApp and the framework's entry, AfxWinMain.
#include "platform/afx/afxwin.h"

namespace {
CWinApp* g_pApp = nullptr;
} // namespace

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
ON_COMMAND(ID_HELP, OnHelp) // void OnHelp()
END_MESSAGE_MAP()

CWinApp::CWinApp() {
    g_pApp = this;
}

CWinApp::~CWinApp() {
    if (g_pApp == this)
        g_pApp = nullptr;
}

CWinApp* AfxGetApp() {
    return g_pApp;
}

HINSTANCE AfxGetInstanceHandle() {
    return g_pApp != nullptr ? g_pApp->m_hInstance : nullptr;
}

HINSTANCE AfxGetResourceHandle() {
    return AfxGetInstanceHandle();
}

void AfxEnableControlContainer() {}

BOOL CWinApp::Enable3dControls() {
    // Programs marked for Windows 4.0 or later get the 3-D dialog look from the window system
    // itself (our executable is), so there is no control library to load.
    return TRUE;
}

HICON CWinApp::LoadIcon(UINT nIDResource) const {
    LPCSTR name = MAKEINTRESOURCEA(nIDResource);
    return ::LoadIconA(AfxGetResourceHandle(), name);
}

void CWinApp::SetCurrentHandles(HINSTANCE hInstance) {
    m_hInstance = hInstance;
    char title[256] = "";
    if (::LoadStringA(hInstance, AFX_IDS_APP_TITLE, title, sizeof title) > 0) {
        m_strAppName = title;
    } else {
        char path[1024] = "";
        const DWORD n = ::GetModuleFileNameA(hInstance, path, sizeof path);
        std::string exe(path, n < sizeof path ? n : 0);
        // '/' too: the native program's path is a Linux one.
        const size_t slash = exe.find_last_of("\\/:");
        if (slash != std::string::npos)
            exe.erase(0, slash + 1);
        const size_t dot = exe.rfind('.');
        if (dot != std::string::npos)
            exe.erase(dot);
        m_strAppName = exe;
    }
    m_pszAppName = m_strAppName.c_str();
}

// MFC's gives the exit code of the message pump's WM_QUIT; without a pump there is none.
int CWinApp::ExitInstance() {
    return 0;
}

int CWinApp::DoMessageBox(LPCSTR lpszPrompt, UINT nType, UINT /*nIDPrompt*/) {
    HWND hOwner = m_pMainWnd != nullptr ? m_pMainWnd->m_hWnd : nullptr;
    if (hOwner != nullptr && !::IsWindow(hOwner))
        hOwner = nullptr;
    return ::MessageBoxA(hOwner, lpszPrompt, m_pszAppName, nType);
}

void CWinApp::OnHelp() {
    // The program ships no help file, and none of its windows issues ID_HELP: the command is
    // accepted, so it goes no further, and nothing is shown.
}

// A program on our framework has its one application object, as an MFC program must.
int AfxMessageBox(LPCSTR lpszText, UINT nType, UINT nIDHelp) {
    return AfxGetApp()->DoMessageBox(lpszText, nType, nIDHelp);
}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, LPSTR /*lpCmdLine*/,
               int /*nCmdShow*/) {
    CWinApp* pApp = AfxGetApp();
    pApp->SetCurrentHandles(hInstance);
    pApp->InitInstance();
    return pApp->ExitInstance();
}
