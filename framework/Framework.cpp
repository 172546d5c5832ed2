#include "framework/Framework.h"

namespace {
// The object pointer travels with the window as a property, so the same
// procedure serves dialogs and subclassed controls alike.
const wchar_t kObjectProp[] = L"LumoraWndObject";
CWinApp* g_pApp = nullptr;
}  // namespace

// ---- CWnd -----------------------------------------------------------------

CWnd::~CWnd() {
    if (m_hWnd) Detach();
}

const AFX_MSGMAP* CWnd::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, entries};
    return &map;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
    return hWnd ? static_cast<CWnd*>(::GetPropW(hWnd, kObjectProp)) : nullptr;
}

void CWnd::Attach(HWND hWnd) {
    m_hWnd = hWnd;
    ::SetPropW(hWnd, kObjectProp, this);
}

void CWnd::Detach() {
    if (!m_hWnd) return;
    if (::IsWindow(m_hWnd)) {
        if (m_pfnSuper && (WNDPROC)::GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC) == StdWndProc)
            ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, (LONG_PTR)m_pfnSuper);
        ::RemovePropW(m_hWnd, kObjectProp);
    }
    m_pfnSuper = nullptr;
    m_hWnd = nullptr;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
    if (!hWnd || m_hWnd || FromHandlePermanent(hWnd)) return FALSE;
    Attach(hWnd);
    m_pfnSuper = (WNDPROC)::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, (LONG_PTR)StdWndProc);
    return TRUE;
}

HWND CWnd::UnsubclassWindow() {
    HWND hWnd = m_hWnd;
    Detach();
    return hWnd;
}

const AFX_MSGMAP_ENTRY* CWnd::FindEntry(const AFX_MSGMAP* pMap, UINT msg, UINT nCode, UINT nID) {
    for (; pMap; pMap = pMap->pfnGetBaseMap ? pMap->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* p = pMap->lpEntries; p->pfnHandler; ++p) {
            if (p->nMessage != msg) continue;
            if (msg == WM_COMMAND && (p->nCode != nCode || p->nID != nID)) continue;
            return p;
        }
    }
    return nullptr;
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    const AFX_MSGMAP_ENTRY* pEntry = FindEntry(GetMessageMap(), msg, HIWORD(wParam), LOWORD(wParam));
    if (pEntry) return pEntry->pfnHandler(this, wParam, lParam);
    return DefWindowProc(msg, wParam, lParam);
}

LRESULT CWnd::Default() { return DefWindowProc(m_nCurMsg, m_wCurParam, m_lCurParam); }

LRESULT CWnd::DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper) return ::CallWindowProcW(m_pfnSuper, m_hWnd, msg, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, msg, wParam, lParam);
}

LRESULT CALLBACK CWnd::StdWndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    CWnd* pWnd = FromHandlePermanent(hWnd);
    if (!pWnd) return ::DefWindowProcW(hWnd, msg, wParam, lParam);
    // Handlers may be re-entered (SendMessage from a handler); keep the outer
    // message so Default() inside it still sees its own.
    UINT nOldMsg = pWnd->m_nCurMsg;
    WPARAM wOld = pWnd->m_wCurParam;
    LPARAM lOld = pWnd->m_lCurParam;
    pWnd->m_nCurMsg = msg;
    pWnd->m_wCurParam = wParam;
    pWnd->m_lCurParam = lParam;
    LRESULT lResult = pWnd->WindowProc(msg, wParam, lParam);
    pWnd->m_nCurMsg = nOldMsg;
    pWnd->m_wCurParam = wOld;
    pWnd->m_lCurParam = lOld;
    if (msg == WM_NCDESTROY) {
        pWnd->Detach();
        pWnd->PostNcDestroy();
    }
    return lResult;
}

// ---- Controls -------------------------------------------------------------

BOOL CProgressCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParent, UINT nID) {
    HWND hWnd = ::CreateWindowExW(0, L"msctls_progress32", nullptr, dwStyle, rect.left, rect.top,
                                  rect.right - rect.left, rect.bottom - rect.top,
                                  pParent ? pParent->m_hWnd : nullptr, (HMENU)(UINT_PTR)nID,
                                  AfxGetResourceHandle(), nullptr);
    return hWnd && SubclassWindow(hWnd);
}

// ---- CDialog --------------------------------------------------------------

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
    ON_WM_CLOSE()
END_MESSAGE_MAP()

CDialog::~CDialog() {
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        HWND hWnd = m_hWnd;
        Detach();
        ::DestroyWindow(hWnd);
    }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT msg, WPARAM, LPARAM lParam) {
    if (msg != WM_INITDIALOG) return FALSE;
    CDialog* pDlg = reinterpret_cast<CDialog*>(lParam);
    pDlg->Attach(hWnd);
    pDlg->m_pfnSuper = (WNDPROC)::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, (LONG_PTR)StdWndProc);
    return pDlg->OnInitDialog();
}

BOOL CDialog::OnInitDialog() {
    DoDataExchange(nullptr);
    return TRUE;
}

LRESULT CDialog::DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    // The previous procedure is the dialog manager's, which calls DialogProc
    // (answering FALSE) and then does the default dialog processing.
    return CWnd::DefWindowProc(msg, wParam, lParam);
}

void CDialog::OnClose() { ::PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); }

void CDialog::EndDialog(int nResult) {
    m_nModalResult = nResult;
    m_bContinueModal = false;
    if (m_hWnd) ::ShowWindow(m_hWnd, SW_HIDE);
}

INT_PTR CDialog::DoModal() {
    m_nModalResult = -1;
    m_bContinueModal = true;
    HWND hWnd = ::CreateDialogParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), nullptr,
                                     DialogProc, (LPARAM)this);
    if (!hWnd) return -1;
    bool bShowIdle = true;
    MSG msg;
    while (m_bContinueModal) {
        if (bShowIdle && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            ::ShowWindow(hWnd, SW_SHOWNORMAL);
            ::UpdateWindow(hWnd);
            bShowIdle = false;
            continue;
        }
        BOOL bGot = ::GetMessageW(&msg, nullptr, 0, 0);
        if (bGot <= 0) {
            // Keep WM_QUIT for the outer loop.
            if (bGot == 0) ::PostQuitMessage((int)msg.wParam);
            break;
        }
        if (!::IsDialogMessageW(hWnd, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    if (m_hWnd) {
        HWND hDlg = m_hWnd;
        ::DestroyWindow(hDlg);
    }
    return m_nModalResult;
}

void DDX_Control(void*, CDialog* pDlg, int nID, CWnd& rControl) {
    if (!rControl.m_hWnd) rControl.SubclassWindow(pDlg->GetDlgItem(nID));
}

// ---- CWinApp --------------------------------------------------------------

CWinApp::CWinApp() { g_pApp = this; }
CWinApp::~CWinApp() {
    if (g_pApp == this) g_pApp = nullptr;
}

int CWinApp::Run() {
    if (!m_pMainWnd) ::PostQuitMessage(0);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return ExitInstance();
}

CWinApp* AfxGetApp() { return g_pApp; }
HINSTANCE AfxGetResourceHandle() { return g_pApp && g_pApp->m_hInstance ? g_pApp->m_hInstance : ::GetModuleHandleW(nullptr); }

int AfxWinMain(HINSTANCE hInstance) {
    CWinApp* pApp = AfxGetApp();
    if (!pApp) return -1;
    pApp->m_hInstance = hInstance;
    if (!pApp->InitInstance()) return pApp->ExitInstance();
    return pApp->Run();
}
