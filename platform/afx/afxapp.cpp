// CWinApp and the framework's entry, AfxWinMain.
#include "afxwin.h"

namespace {
CWinApp* g_pApp = nullptr;
void* g_pOccManager = nullptr;
} // namespace

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
    ON_COMMAND(ID_HELP, OnHelp) // void OnHelp()
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCSTR lpszAppName) : m_pszGivenName(lpszAppName) { g_pApp = this; }

CWinApp::~CWinApp() {
    if (g_pApp == this)
        g_pApp = nullptr;
}

CWinApp* AfxGetApp() { return g_pApp; }

HINSTANCE AfxGetInstanceHandle() { return g_pApp != nullptr ? g_pApp->m_hInstance : nullptr; }

HINSTANCE AfxGetResourceHandle() { return AfxGetInstanceHandle(); }

HINSTANCE AfxFindResourceHandle(LPCSTR /*lpszName*/, LPCSTR /*lpszType*/) {
    // The executable holds all our resources; MFC would also search extension DLLs here.
    return AfxGetResourceHandle();
}

void AfxEnableControlContainer(void* pOccManager) {
    // Hosting OLE controls needs a container manager; our templates hold none, so there is
    // nothing to create, but the setting is kept as MFC keeps it.
    g_pOccManager = pOccManager;
}

BOOL CWinApp::Enable3dControls() {
    // Programs marked for Windows 4.0 or later get the 3-D dialog look from the window system
    // itself (our executable is), so there is no control library to load.
    return TRUE;
}

HICON CWinApp::LoadIcon(UINT nIDResource) const {
    LPCSTR name = MAKEINTRESOURCEA(nIDResource);
    return ::LoadIconA(AfxFindResourceHandle(name, RT_GROUP_ICON), name);
}

void CWinApp::SetCurrentHandles(HINSTANCE hInstance, LPSTR lpCmdLine, int nCmdShow) {
    m_hInstance = hInstance;
    m_lpCmdLine = lpCmdLine;
    m_nCmdShow = nCmdShow;
    m_msgCur = MSG{};
    if (m_pszGivenName != nullptr) {
        m_strAppName = m_pszGivenName;
    } else {
        char title[256] = "";
        if (::LoadStringA(hInstance, AFX_IDS_APP_TITLE, title, sizeof title) > 0) {
            m_strAppName = title;
        } else {
            char path[1024] = "";
            const DWORD n = ::GetModuleFileNameA(hInstance, path, sizeof path);
            std::string exe(path, n < sizeof path ? n : 0);
            const size_t slash = exe.find_last_of("\\/:");
            if (slash != std::string::npos)
                exe.erase(0, slash + 1);
            const size_t dot = exe.rfind('.');
            if (dot != std::string::npos)
                exe.erase(dot);
            m_strAppName = exe;
        }
    }
    m_pszAppName = m_strAppName.c_str();
}

BOOL CWinApp::InitApplication() { return TRUE; }

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::Run() {
    while (::GetMessageW(&m_msgCur, nullptr, 0, 0)) {
        ::TranslateMessage(&m_msgCur);
        ::DispatchMessageW(&m_msgCur);
    }
    return ExitInstance();
}

int CWinApp::ExitInstance() { return static_cast<int>(m_msgCur.wParam); }

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

int AfxMessageBox(LPCSTR lpszText, UINT nType, UINT nIDHelp) {
    CWinApp* pApp = AfxGetApp();
    if (pApp != nullptr)
        return pApp->DoMessageBox(lpszText, nType, nIDHelp);
    return ::MessageBoxA(nullptr, lpszText, nullptr, nType);
}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, LPSTR lpCmdLine, int nCmdShow) {
    CWinApp* pApp = AfxGetApp();
    if (pApp == nullptr)
        return -1;
    pApp->SetCurrentHandles(hInstance, lpCmdLine, nCmdShow);
    if (!pApp->InitApplication())
        return -1;
    if (!pApp->InitInstance()) {
        if (pApp->m_pMainWnd != nullptr)
            pApp->m_pMainWnd->DestroyWindow();
        return pApp->ExitInstance();
    }
    return pApp->Run();
}
