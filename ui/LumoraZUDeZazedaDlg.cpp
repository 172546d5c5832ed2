#include "ui/LumoraZUDeZazedaDlg.h"

#include <commctrl.h>
#include <shellapi.h>

#include "common/Gdi.h"
#include "common/Log.h"
#include "common/TextConv.h"
#include "ui/Colours.h"
#include "ui/Dpi.h"
#include "ui/StatusLine.h"
#include "update/download/Download.h"
#include "update/check/UpdateCheck.h"

namespace {
void MoveTo(CWnd& wnd, const LayoutRect& r) {
    if (wnd.m_hWnd) wnd.MoveWindow(r.x, r.y, r.w, r.h, TRUE);
}
void Show(CWnd& wnd, int nCmd) {
    if (wnd.m_hWnd) wnd.ShowWindow(nCmd);
}
}  // namespace

BEGIN_MESSAGE_MAP(CLumoraZUDeZazedaDlg, CDialog)
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_BN_CLICKED(IDC_BTN_CLOSE, OnBnClickedClose)
ON_BN_CLICKED(IDC_BTN_OK, OnBnClickedOk)
ON_BN_CLICKED(IDC_BTN_CANCEL, OnBnClickedCancel)
ON_BN_CLICKED(IDC_BTN_FEEDBACK, OnBnClickedFeedback)
ON_BN_CLICKED(IDC_BTN_DOWNLOAD_PAGE, OnBnClickedDownloadPage)
ON_WM_TIMER()
ON_WM_DESTROY()
ON_WM_ERASEBKGND()
ON_WM_SIZE()
ON_WM_CTLCOLOR()
ON_WM_NCHITTEST()
ON_WM_SHOWWINDOW()
ON_WM_DPICHANGED()
ON_WM_GETDPISCALEDSIZE()
END_MESSAGE_MAP()

CLumoraZUDeZazedaDlg::CLumoraZUDeZazedaDlg() : CDialog(IDD_UPDATE_DIALOG) {
    m_hIcon = ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDI_APP_ICON));
}

CLumoraZUDeZazedaDlg::~CLumoraZUDeZazedaDlg() {
    // Normally stopped in OnDestroy; a window that never existed has nothing
    // to stop, but the worker must never outlive the members it uses.
    StopWorker();
}

void CLumoraZUDeZazedaDlg::DoDataExchange(void* pDX) {
    DDX_Control(pDX, this, IDC_BTN_CLOSE, m_btnClose);
    DDX_Control(pDX, this, IDC_BTN_OK, m_btnOk);
    DDX_Control(pDX, this, IDC_BTN_CANCEL, m_btnCancel);
    DDX_Control(pDX, this, IDC_BTN_FEEDBACK, m_btnFeedback);
    DDX_Control(pDX, this, IDC_BTN_DOWNLOAD_PAGE, m_btnDownloadPage);
    DDX_Control(pDX, this, IDC_STATUS_TEXT, m_stcStatusText);
}

BOOL CLumoraZUDeZazedaDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    // Already sent by the application as early as it may be; a window made
    // on its own (the tests do) sends it here.
    StartManifestFetch(this);
    SendMessage(WM_SETICON, ICON_BIG, (LPARAM)m_hIcon);
    SendMessage(WM_SETICON, ICON_SMALL, (LPARAM)m_hIcon);

    // The window sizes and lays itself out for the monitor's scale, now and
    // when it moves to another monitor.
    KeepDialogLayoutOnDpiChange(m_hWnd);
    m_nDpi = WindowDpi(m_hWnd);
    const int nWidth = Scaled(kWindowWidth), nHeight = Scaled(kWindowHeight);
    MoveWindow(0, 0, nWidth, nHeight, TRUE);
    // Centre on the work area, as the dialog framework did (no owner).
    RECT rcWork;
    if (::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0)) {
        int x = rcWork.left + ((rcWork.right - rcWork.left) - nWidth) / 2;
        int y = rcWork.top + ((rcWork.bottom - rcWork.top) - nHeight) / 2;
        ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ApplyFont();

    RECT rcEmpty = {0, 0, 0, 0};
    m_ctrlProgress.Create(WS_CHILD | WS_VISIBLE | PBS_SMOOTH, rcEmpty, this, IDC_PROGRESS);
    m_ctrlProgress.m_nBarWidth = Scaled(kBarWidth);
    m_ctrlProgress.m_nLower = 0;
    m_ctrlProgress.m_nUpper = 100;
    m_ctrlProgress.m_nSpan = 100;
    m_ctrlProgress.SendMessage(PBM_SETBKCOLOR, 0, (LPARAM)kDarkColour);
    m_ctrlProgress.SetPos(0);

    LayoutControls();
    m_nState = STATE_IDLE;
    ::SetTimer(m_hWnd, IDT_PROGRESS, 10, nullptr);
    m_dProgress = 0.0;
    // With "-prompt" the window is shown whatever the answer, so its skin is
    // decoded now, while the manifest request travels.
    if (m_bPrompt) LoadSkin();
    CheckForUpdate(this);
    return TRUE;
}

void CLumoraZUDeZazedaDlg::LayoutControls() {
    RECT rc;
    GetClientRect(&rc);
    WindowLayout l = ComputeLayout(rc.left, rc.top, rc.right, rc.bottom, m_nDpi);
    MoveTo(m_btnClose, l.close);
    MoveTo(m_stcStatusText, l.status);
    MoveTo(m_ctrlProgress, l.progress);
    Show(m_ctrlProgress, SW_HIDE);
    MoveTo(m_btnOk, l.ok);
    Show(m_btnOk, SW_HIDE);
    MoveTo(m_btnCancel, l.cancel);
    Show(m_btnCancel, SW_HIDE);
    MoveTo(m_btnDownloadPage, l.downloadPage);
    Show(m_btnDownloadPage, SW_HIDE);
    MoveTo(m_btnFeedback, l.feedback);
    Show(m_btnFeedback, SW_HIDE);
}

void CLumoraZUDeZazedaDlg::ShowState(int nState) {
    LogEvent("show", {{"state", StateName(nState)}});
    if (!IsWindowVisible()) ShowWindow(SW_SHOWNORMAL);
    m_nState = nState;
    RECT rc;
    GetClientRect(&rc);
    const CWindowDC dc(m_hWnd);
    Invalidate(TRUE);
    ApplyStateControls(nState, rc);
    if (nState == STATE_DOWNLOADING) {
        m_ctrlProgress.SetPos(0);
        m_nShownPercent = -1;
    }
    // Drawn at once as well; the erase that the invalidation causes draws the
    // same pictures again over the background.
    DrawStatePictures(dc.Get(), rc, true);
}

void CLumoraZUDeZazedaDlg::ApplyStateControls(int nState, const RECT& rc) {
    switch (nState) {
    case STATE_NO_UPDATE:
        MoveTo(m_btnOk, OkRectNoUpdate(rc.right, rc.bottom, m_nDpi));
        Show(m_btnOk, SW_SHOWNORMAL);
        break;
    case STATE_NEW_VERSION:
        MoveTo(m_btnOk, OkRectNewVersion(rc.right, rc.bottom, m_nDpi));
        Show(m_btnOk, SW_SHOWNORMAL);
        Show(m_btnCancel, SW_SHOWNORMAL);
        break;
    case STATE_DOWNLOADING:
        Show(m_btnOk, SW_HIDE);
        Show(m_btnCancel, SW_HIDE);
        Show(m_ctrlProgress, SW_SHOWNORMAL);
        Show(m_stcStatusText, SW_SHOWNORMAL);
        break;
    case STATE_FAILED:
        Show(m_ctrlProgress, SW_HIDE);
        Show(m_stcStatusText, SW_HIDE);
        Show(m_btnDownloadPage, SW_SHOWNORMAL);
        Show(m_btnFeedback, SW_SHOWNORMAL);
        break;
    default: break;
    }
}

void CLumoraZUDeZazedaDlg::EnterDownloadingState() {
    // Show if hidden, store the state, invalidate, swap the controls, bar to
    // 0: exactly what switching to the downloading state does.
    ShowState(STATE_DOWNLOADING);
    StartDownloadThread(this);
}

void CLumoraZUDeZazedaDlg::Hide() { ShowWindow(SW_HIDE); }

void CLumoraZUDeZazedaDlg::Close() { SendMessage(WM_CLOSE, 0, 0); }

void CLumoraZUDeZazedaDlg::OnPaint() {
    if (IsIconic()) {
        const CPaintDC paint(m_hWnd);
        SendMessage(WM_ICONERASEBKGND, (WPARAM)paint.Get(), 0);
        RECT rc;
        GetClientRect(&rc);
        int x = (rc.right - rc.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
        int y = (rc.bottom - rc.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
        ::DrawIcon(paint.Get(), x, y, m_hIcon);
    } else {
        Default();
    }
}

HCURSOR CLumoraZUDeZazedaDlg::OnQueryDragIcon() { return (HCURSOR)m_hIcon; }

void CLumoraZUDeZazedaDlg::LogUserAction(const char* pszAction) const {
    LogEvent("user", {{"action", pszAction}, {"state", StateName(m_nState)}});
}

void CLumoraZUDeZazedaDlg::OnBnClickedClose() {
    LogUserAction("close");
    SendMessage(WM_CLOSE, 0, 0);
}

void CLumoraZUDeZazedaDlg::OnBnClickedOk() {
    LogUserAction("ok");
    if (m_nState == STATE_NO_UPDATE)
        SendMessage(WM_CLOSE, 0, 0);
    else if (m_nState == STATE_NEW_VERSION)
        EnterDownloadingState();
}

void CLumoraZUDeZazedaDlg::OnBnClickedCancel() {
    LogUserAction("cancel");
    if (m_nState == STATE_NEW_VERSION) SendMessage(WM_CLOSE, 0, 0);
}

void CLumoraZUDeZazedaDlg::OnBnClickedFeedback() {
    LogUserAction("feedback");
    ::ShellExecuteW(nullptr, L"open", kFeedbackPageUrl, nullptr, nullptr, SW_SHOWNORMAL);
    SendMessage(WM_CLOSE, 0, 0);
}

void CLumoraZUDeZazedaDlg::OnBnClickedDownloadPage() {
    LogUserAction("download-page");
    ::ShellExecuteW(nullptr, L"open", kDownloadPageUrl, nullptr, nullptr, SW_SHOWNORMAL);
    SendMessage(WM_CLOSE, 0, 0);
}

void CLumoraZUDeZazedaDlg::OnTimer(UINT_PTR) {
    // Redrawn only when the shown percentage changes: an unchanged bar and
    // line would be the same pixels, and under a hundred redraws a second
    // the window cost half a core. Both controls repaint themselves when
    // uncovered.
    if (m_nState == STATE_DOWNLOADING) {
        int nPercent = ProgressPercent(m_dProgress);
        if (nPercent != m_nShownPercent) {
            m_nShownPercent = nPercent;
            m_ctrlProgress.SetPos(nPercent);
            // The status texts are GBK whatever the system's code page.
            std::wstring line = FormatStatusLine(GbkToWide(m_szStatus), nPercent);
            ::SetDlgItemTextW(m_hWnd, IDC_STATUS_TEXT, line.c_str());
        }
    }
    Default();
}

void CLumoraZUDeZazedaDlg::OnDestroy() {
    Default();
    ::KillTimer(m_hWnd, IDT_PROGRESS);
    StopWorker();
}

void CLumoraZUDeZazedaDlg::OnSize(UINT, int, int) {
    Default();
    LayoutControls();
}

LRESULT CLumoraZUDeZazedaDlg::OnNcHitTest(POINT pt) {
    RECT rc;
    GetClientRect(&rc);
    ::ScreenToClient(m_hWnd, &pt);
    if (InCaptionBand(rc.left, rc.top, rc.right, pt.x, pt.y, m_nDpi)) return HTCAPTION;
    return Default();
}
