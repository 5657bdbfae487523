// The Windows entry point of a program built on our framework, as MFC's library supplies it,
// and where a crash of rireruv.dll is reported from (platform/zelk.h).
#include "platform/afx/afxwin.h"
#include "platform/zelk.h"

namespace {
// The caption of the program's other message boxes, once AfxWinMain has settled it.
const char* appTitle() {
    CWinApp* pApp = AfxGetApp();
    return pApp != nullptr ? pApp->m_pszAppName : nullptr;
}
} // namespace

extern "C" int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine,
                              int nCmdShow) {
    zelkReportCrashes(appTitle);
    return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
}
