// The one global application object and its start-up.
#include "app/VerifierApp.h"

#include "dialog/VerifierDlg.h"

BEGIN_MESSAGE_MAP(CVerifierApp, CWinApp)
ON_COMMAND(ID_HELP, CWinApp::OnHelp) // void OnHelp()
END_MESSAGE_MAP()

CVerifierApp theApp;

BOOL CVerifierApp::InitInstance() {
    AfxEnableControlContainer();
    Enable3dControls();

    CVerifierDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr; // the dialog object ends with this function

    // The dialog has ended, so the program has: no message pump is wanted.
    return FALSE;
}
