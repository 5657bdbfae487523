// The About box, opened from the verifier's system menu.
#pragma once

#include "platform/afx/afxwin.h"

class CAboutBoxDlg : public CDialog {
  public:
    CAboutBoxDlg();

  protected:
    void DoDataExchange(CDataExchange* pDX) override;

    DECLARE_MESSAGE_MAP()
};
