// The About box: its template does all the work; IDOK ends it through CDialog::OnOK.
#include "dialog/AboutBoxDlg.h"

#include "res/resource.h"

BEGIN_MESSAGE_MAP(CAboutBoxDlg, CDialog)
END_MESSAGE_MAP()

CAboutBoxDlg::CAboutBoxDlg() : CDialog(IDD_ABOUT) {}

void CAboutBoxDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
}
