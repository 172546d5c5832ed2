// A small stand-in for the Windows application framework: an application
// object, windows bound to C++ objects with per-class message tables, modal
// dialogs from a template, and control binding by subclassing. Only what the
// update client needs.
#pragma once

#include <windows.h>

class CWnd;

// One row of a message table. pfnHandler receives the object and the raw
// message parameters and returns the message result.
struct AFX_MSGMAP_ENTRY {
    UINT nMessage;
    UINT nCode;  // notification code for WM_COMMAND rows
    UINT nID;    // control id for WM_COMMAND rows
    LRESULT (*pfnHandler)(CWnd* pWnd, WPARAM wParam, LPARAM lParam);
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                     \
protected:                                        \
    static const AFX_MSGMAP* GetThisMessageMap(); \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                        \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                 \
        typedef theClass ThisClass;                                                   \
        typedef baseClass TheBaseClass;                                               \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                                     \
    { 0, 0, 0, nullptr }                                                                      \
    }                                                                                         \
    ;                                                                                         \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, _messageEntries}; \
    return &messageMap;                                                                       \
    }

#define AFX_ROW(msg, ...)                                                 \
    {msg, 0, 0, [](CWnd* pWnd, WPARAM wParam, LPARAM lParam) -> LRESULT { \
         ThisClass* p = static_cast<ThisClass*>(pWnd);                    \
         (void)p;                                                         \
         (void)wParam;                                                    \
         (void)lParam;                                                    \
         __VA_ARGS__                                                      \
     }},

#define ON_COMMAND_CODE(code, id, memberFxn)                           \
    {WM_COMMAND, code, id, [](CWnd* pWnd, WPARAM, LPARAM) -> LRESULT { \
         static_cast<ThisClass*>(pWnd)->memberFxn();                   \
         return 0;                                                     \
     }},
#define ON_COMMAND(id, memberFxn) ON_COMMAND_CODE(0, id, memberFxn)
#define ON_BN_CLICKED(id, memberFxn) ON_COMMAND_CODE(BN_CLICKED, id, memberFxn)

#define ON_WM_PAINT() AFX_ROW(WM_PAINT, p->OnPaint(); return 0;)
#define ON_WM_QUERYDRAGICON() AFX_ROW(WM_QUERYDRAGICON, return (LRESULT)p->OnQueryDragIcon();)
#define ON_WM_TIMER() AFX_ROW(WM_TIMER, p->OnTimer((UINT_PTR)wParam); return 0;)
#define ON_WM_DESTROY() AFX_ROW(WM_DESTROY, p->OnDestroy(); return 0;)
#define ON_WM_CLOSE() AFX_ROW(WM_CLOSE, p->OnClose(); return 0;)
#define ON_WM_ERASEBKGND() AFX_ROW(WM_ERASEBKGND, return p->OnEraseBkgnd((HDC)wParam);)
#define ON_WM_SIZE() AFX_ROW(WM_SIZE, p->OnSize((UINT)wParam, (short)LOWORD(lParam), (short)HIWORD(lParam)); return 0;)
#define ON_WM_SHOWWINDOW() AFX_ROW(WM_SHOWWINDOW, p->OnShowWindow((BOOL)wParam, (UINT)lParam); return 0;)
#define ON_WM_NCHITTEST() \
    AFX_ROW(WM_NCHITTEST, POINT pt = {(short)LOWORD(lParam), (short)HIWORD(lParam)}; return p->OnNcHitTest(pt);)
#define ON_WM_MOUSEMOVE()                                                                                              \
    AFX_ROW(WM_MOUSEMOVE, POINT pt = {(short)LOWORD(lParam), (short)HIWORD(lParam)}; p->OnMouseMove((UINT)wParam, pt); \
            return 0;)
#define ON_WM_LBUTTONDOWN()                                                            \
    AFX_ROW(WM_LBUTTONDOWN, POINT pt = {(short)LOWORD(lParam), (short)HIWORD(lParam)}; \
            p->OnLButtonDown((UINT)wParam, pt); return 0;)
#define ON_WM_LBUTTONUP()                                                                                              \
    AFX_ROW(WM_LBUTTONUP, POINT pt = {(short)LOWORD(lParam), (short)HIWORD(lParam)}; p->OnLButtonUp((UINT)wParam, pt); \
            return 0;)
#define ON_WM_MOUSEHOVER() AFX_ROW(WM_MOUSEHOVER, return p->OnMouseHover(wParam, lParam);)
#define ON_WM_MOUSELEAVE() AFX_ROW(WM_MOUSELEAVE, return p->OnMouseLeave();)
#define ON_WM_PRINT() AFX_ROW(WM_PRINT, return p->OnPrint((HDC)wParam, (UINT)lParam);)
// The DPI messages of Windows 8.1 and 10, named here for older headers.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
#ifndef WM_GETDPISCALEDSIZE
#define WM_GETDPISCALEDSIZE 0x02E4
#endif
#define ON_WM_DPICHANGED() \
    AFX_ROW(WM_DPICHANGED, p->OnDpiChanged(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam)); return 0;)
#define ON_WM_GETDPISCALEDSIZE() \
    AFX_ROW(WM_GETDPISCALEDSIZE, return p->OnGetDpiScaledSize((int)wParam, reinterpret_cast<SIZE*>(lParam));)
// The control-colour family arrives as one handler, as the framework did.
#define AFX_CTLCOLOR_ROW(msg, type) AFX_ROW(msg, return (LRESULT)p->OnCtlColor((HDC)wParam, (HWND)lParam, type);)
#define ON_WM_CTLCOLOR()                                       \
    AFX_CTLCOLOR_ROW(WM_CTLCOLORMSGBOX, CTLCOLOR_MSGBOX)       \
    AFX_CTLCOLOR_ROW(WM_CTLCOLOREDIT, CTLCOLOR_EDIT)           \
    AFX_CTLCOLOR_ROW(WM_CTLCOLORLISTBOX, CTLCOLOR_LISTBOX)     \
    AFX_CTLCOLOR_ROW(WM_CTLCOLORBTN, CTLCOLOR_BTN)             \
    AFX_CTLCOLOR_ROW(WM_CTLCOLORDLG, CTLCOLOR_DLG)             \
    AFX_CTLCOLOR_ROW(WM_CTLCOLORSCROLLBAR, CTLCOLOR_SCROLLBAR) \
    AFX_CTLCOLOR_ROW(WM_CTLCOLORSTATIC, CTLCOLOR_STATIC)

// A C++ object bound to one window. Messages reach the object through one
// static window procedure; a message without a row in the class's table (or
// its bases' tables) goes to the window's previous procedure.
class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }

    // Binds an existing window to this object by replacing its procedure.
    BOOL SubclassWindow(HWND hWnd);
    HWND UnsubclassWindow();
    static CWnd* FromHandlePermanent(HWND hWnd);

    // Thin conveniences over the platform calls.
    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    void MoveWindow(int x, int y, int w, int h, BOOL bRepaint = TRUE) { ::MoveWindow(m_hWnd, x, y, w, h, bRepaint); }
    void GetClientRect(RECT* pRect) const { ::GetClientRect(m_hWnd, pRect); }
    void Invalidate(BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, bErase); }
    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::SendMessageW(m_hWnd, msg, wParam, lParam);
    }
    HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // Default processing of the message being handled now.
    LRESULT Default();
    virtual LRESULT DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    virtual void PostNcDestroy() {}

    static LRESULT CALLBACK StdWndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void Attach(HWND hWnd);
    void Detach();

    WNDPROC m_pfnSuper = nullptr;

private:
    static const AFX_MSGMAP_ENTRY* FindEntry(const AFX_MSGMAP* pMap, UINT msg, UINT nCode, UINT nID);
    UINT m_nCurMsg = 0;
    WPARAM m_wCurParam = 0;
    LPARAM m_lCurParam = 0;
};

class CButton : public CWnd {};
class CStatic : public CWnd {};

class CProgressCtrl : public CWnd {
public:
    BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParent, UINT nID);
};

// A dialog built from a template resource and run modally with its own loop,
// which shows the window the first time the loop finds no message waiting.
class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate) : m_nIDTemplate(nIDTemplate) {}
    ~CDialog() override;

    INT_PTR DoModal();
    void EndDialog(int nResult);
    virtual BOOL OnInitDialog();

protected:
    virtual void DoDataExchange(void* pDX) { (void)pDX; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // WM_CLOSE becomes the Cancel command, queued behind what is pending.
    void OnClose();
    LRESULT DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    UINT m_nIDTemplate;
    bool m_bContinueModal = false;
    INT_PTR m_nModalResult = -1;
};

// Binds the dialog's control nID to the object rControl.
void DDX_Control(void* pDX, CDialog* pDlg, int nID, CWnd& rControl);

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }
    // Runs a message loop until WM_QUIT; without a main window it quits at once.
    virtual int Run();
    // The framework's settings root; nothing is stored under it, so the name
    // is all there is to it.
    void SetRegistryKey(LPCWSTR) {}
    // The standard help command: the update window offers no help.
    void OnHelp() {}

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetResourceHandle();
// The update window hosts no ActiveX controls: nothing to enable.
inline void AfxEnableControlContainer() {}
int AfxWinMain(HINSTANCE hInstance);
