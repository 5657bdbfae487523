// The verifier's main window: hardware set-up and release, Start/Stop polling of the remote
// data, the About item of the system menu and the minimised-window icon.
#pragma once

#include "platform/afx/afxwin.h"

class CVerifierDlg : public CDialog {
  public:
    explicit CVerifierDlg(CWnd* pParent = nullptr);

  protected:
    HICON m_hAppIcon;
    BOOL m_bPolling;
    // What the set-up took and the teardown must give back: a COM initialisation that
    // succeeded (S_OK or S_FALSE) and has not been undone yet, and a hardware library that
    // initialised successfully.
    BOOL m_bComInitialized;
    BOOL m_bHardwareReady;

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnStartStop();
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg void OnDestroy();

  private:
    void AddAboutItem();
    void InitHardware();

    DECLARE_MESSAGE_MAP()
};
