// Our framework, in the style of MFC 4.2: the classes and functions the program is written
// against, with MFC's names and signatures where the program calls them, and nothing that
// the program does not use.
//
// It is written once over the Win32 API (win32api.h: the real one on Windows, the headless
// model on Linux). The core is small: a dialog procedure that, on WM_INITDIALOG, ties the
// window to its CDialog and subclasses it, and one window procedure that looks each message
// up in the object's message map. What the map does not list goes to the window class's own
// procedure (the dialog manager), which is what CWnd::Default means.
//
// Orderings callers rely on:
// - AfxWinMain calls InitInstance, which runs the whole program (its modal dialog), then
//   ExitInstance, and returns its result. There is no message pump after the start-up: MFC
//   runs one when InitInstance returns TRUE, which our program never does.
// - DoModal returns only after the window is destroyed, so WM_DESTROY has been handled.
// - CDialog::OnInitDialog (the base set-up) exchanges data before the derived set-up runs.
// - Text: the program's own strings are 8-bit (the "A" functions); CString holds UTF-16 and
//   dialogs are created with the wide functions, so resource texts keep every character
//   whatever the ANSI code page.
#pragma once

#include "platform/win32api.h"

#include <string>

#define AFX_IDS_APP_TITLE 0xE000
#define ID_HELP 0xE146
#define afx_msg

class CCmdTarget;
class CWnd;
class CMenu;

// ---- message maps -------------------------------------------------------------------------

// Each entry holds a small adapter that unpacks the message for its handler; the compiler
// checks the handler's signature where the entry is written.
typedef LRESULT (*AFX_PMSG)(CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;
    UINT nCode; // WM_COMMAND: the notification code
    UINT nID;   // WM_COMMAND: the first and last control or command id
    UINT nLastID;
    AFX_PMSG pfn; // null ends the table
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                                                                      \
  protected:                                                                                       \
    static const AFX_MSGMAP* GetThisMessageMap();                                                  \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                     \
    const AFX_MSGMAP* theClass::GetMessageMap() const {                                            \
        return GetThisMessageMap();                                                                \
    }                                                                                              \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                              \
        using ThisClass [[maybe_unused]] = theClass;                                               \
        using TheBaseClass = baseClass;                                                            \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                                          \
    { 0, 0, 0, 0, nullptr }                                                                        \
    }                                                                                              \
    ;                                                                                              \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]};  \
    return &messageMap;                                                                            \
    }

#define AFX_ENTRY(msg, code, id, call)                                                             \
    {msg, code, id, id, [](CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam) -> LRESULT {         \
         ThisClass* pThis = static_cast<ThisClass*>(pTarget);                                      \
         (void)wParam;                                                                             \
         (void)lParam;                                                                             \
         call;                                                                                     \
     }},

// void OnSysCommand(UINT nID, LPARAM lParam)
#define ON_WM_SYSCOMMAND()                                                                         \
    AFX_ENTRY(WM_SYSCOMMAND, 0, 0,                                                                 \
              return (pThis->OnSysCommand(static_cast<UINT>(wParam), lParam), 0))
// void OnPaint()
#define ON_WM_PAINT() AFX_ENTRY(WM_PAINT, 0, 0, return (pThis->OnPaint(), 0))
// HCURSOR OnQueryDragIcon()
#define ON_WM_QUERYDRAGICON()                                                                      \
    AFX_ENTRY(WM_QUERYDRAGICON, 0, 0, return reinterpret_cast<LRESULT>(pThis->OnQueryDragIcon()))
// void OnTimer(UINT_PTR nIDEvent)
#define ON_WM_TIMER() AFX_ENTRY(WM_TIMER, 0, 0, return (pThis->OnTimer(wParam), 0))
// void OnDestroy()
#define ON_WM_DESTROY() AFX_ENTRY(WM_DESTROY, 0, 0, return (pThis->OnDestroy(), 0))
// void memberFxn()
#define ON_COMMAND(id, memberFxn) AFX_ENTRY(WM_COMMAND, 0, id, return (pThis->memberFxn(), 0))
// void memberFxn()
#define ON_BN_CLICKED(id, memberFxn)                                                               \
    AFX_ENTRY(WM_COMMAND, BN_CLICKED, id, return (pThis->memberFxn(), 0))

class CCmdTarget {
  public:
    virtual ~CCmdTarget() = default;
    // Finds a WM_COMMAND entry for (nID, nCode) in this object's map chain and runs it.
    virtual BOOL OnCmdMsg(UINT nID, int nCode);

  protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
    const AFX_MSGMAP_ENTRY* FindEntry(UINT nMessage, UINT nCode, UINT nID) const;
};

// ---- small value types --------------------------------------------------------------------

class CRect : public RECT {
  public:
    CRect() { left = top = right = bottom = 0; }
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// Text in UTF-16, as MFC's Unicode build holds it, so that strings loaded from the resources
// keep their characters whatever the ANSI code page.
class CString {
  public:
    BOOL LoadString(UINT nID); // empty, and FALSE, when the string is missing
    BOOL IsEmpty() const { return m_str.empty(); }
    operator LPCWSTR() const { return m_str.c_str(); }

  private:
    std::basic_string<WCHAR> m_str;
};

// The program's dialogs bind no fields to controls, so an exchange carries nothing; it exists
// for DoDataExchange's signature, which the program overrides.
class CDataExchange {};

// ---- application --------------------------------------------------------------------------

class CWinApp : public CCmdTarget {
  public:
    // The title is the string AFX_IDS_APP_TITLE, or else the executable's base name;
    // AfxWinMain settles it before InitInstance runs.
    CWinApp();
    ~CWinApp() override;

    virtual BOOL InitInstance() = 0;
    virtual int ExitInstance();
    virtual int DoMessageBox(LPCSTR lpszPrompt, UINT nType, UINT nIDPrompt);

    BOOL Enable3dControls();
    HICON LoadIcon(UINT nIDResource) const;

    LPCSTR m_pszAppName = nullptr;
    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;

    afx_msg void OnHelp();

  private:
    friend int AfxWinMain(HINSTANCE, HINSTANCE, LPSTR, int);
    // cppcheck-suppress unusedPrivateFunction ; AfxWinMain, a friend, calls it
    void SetCurrentHandles(HINSTANCE hInstance);

    std::string m_strAppName;

    DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
// Our templates hold no OLE controls, so there is no container to set up and MFC's optional
// manager argument, which the program does not pass, is not taken.
void AfxEnableControlContainer();
int AfxMessageBox(LPCSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);

// ---- windows ------------------------------------------------------------------------------

class CWnd : public CCmdTarget {
  public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    ~CWnd() override = default;

    // A wrapper of the control, which this object does not own; it lives until the control is
    // gone.
    CWnd* GetDlgItem(int nID) const;
    void SetDlgItemText(int nID, LPCSTR lpszString);
    void SetWindowText(LPCSTR lpszString);
    CMenu* GetSystemMenu(BOOL bRevert) const;
    HICON SetIcon(HICON hIcon, BOOL bBigIcon);
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer);
    BOOL KillTimer(UINT_PTR nIDEvent);
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // Default processing of the message being handled: the window class's own procedure.
    LRESULT Default();

    HWND m_hWnd = nullptr;

  protected:
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void DoDataExchange(CDataExchange* pDX);

    // Routes this window's messages through its message map from now on.
    void SubclassWindow(HWND hWnd);

  private:
    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    void OnNcDestroyed();
    WNDPROC m_pfnSuper = nullptr;
};

// ---- menus and painting -------------------------------------------------------------------

class CMenu {
  public:
    // A wrapper of a menu this object does not own; a null handle gives no menu.
    static CMenu* FromHandle(HMENU hMenu);
    BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCWSTR lpszNewItem = nullptr);
    HMENU m_hMenu = nullptr;
};

class CDC {
  public:
    HDC GetSafeHdc() const { return m_hDC; }
    BOOL DrawIcon(int x, int y, HICON hIcon) { return ::DrawIcon(m_hDC, x, y, hIcon); }
    HDC m_hDC = nullptr;
};

// BeginPaint when built, EndPaint when destroyed.
class CPaintDC : public CDC {
  public:
    explicit CPaintDC(CWnd* pWnd);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    PAINTSTRUCT m_ps{};

  private:
    HWND m_hWnd;
};

// ---- dialogs ------------------------------------------------------------------------------

class CDialog : public CWnd {
  public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

    // Runs the dialog until it ends; the window is destroyed before this returns. -1 when the
    // dialog could not be created.
    virtual INT_PTR DoModal();
    virtual BOOL OnInitDialog();
    void EndDialog(int nResult);
    BOOL OnCmdMsg(UINT nID, int nCode) override;

  protected:
    virtual void OnOK();
    virtual void OnCancel();

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

  private:
    static INT_PTR CALLBACK DlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()
};
