// The application: its start-up runs the verifier dialog, then lets the process end.
#pragma once

#include "platform/afx/afxwin.h"

class CVerifierApp : public CWinApp {
  public:
    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};

extern CVerifierApp theApp;
