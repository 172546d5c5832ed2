#include "ui/LumoraZUDeZazedaDlg.h"

#include <commctrl.h>
#include <shellapi.h>

#include "common/Gdi.h"
#include "common/Log.h"
#include "ui/Colours.h"
#include "ui/Layout.h"
#include "ui/StatusLine.h"
#include "update/download/Download.h"
#include "common/TextConv.h"
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

    MoveWindow(0, 0, kWindowWidth, kWindowHeight, TRUE);
    // Centre on the work area, as the dialog framework did (no owner).
    RECT rcWork;
    if (::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0)) {
        int x = rcWork.left + ((rcWork.right - rcWork.left) - kWindowWidth) / 2;
        int y = rcWork.top + ((rcWork.bottom - rcWork.top) - kWindowHeight) / 2;
        ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    RECT rcEmpty = {0, 0, 0, 0};
    m_ctrlProgress.Create(WS_CHILD | WS_VISIBLE | PBS_SMOOTH, rcEmpty, this, IDC_PROGRESS);
    m_ctrlProgress.m_nBarWidth = 400;
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

void CLumoraZUDeZazedaDlg::LoadSkin() {
    if (m_bSkinLoaded) return;
    m_bSkinLoaded = true;
    m_imgBackground.Load(SkinFilePath(L"skin/update/升级背景.png").c_str());
    LoadSkinImage(SkinFilePath(L"skin/update/分割线.png").c_str(), m_imgDivider);
    CImage imgBack, imgFront;
    LoadSkinImage(SkinFilePath(L"skin/update/进度背景.png").c_str(), imgBack);
    LoadSkinImage(SkinFilePath(L"skin/update/当前进度.png").c_str(), imgFront);
    CopySkinImage(m_ctrlProgress.m_imgBack, imgBack);
    CopySkinImage(m_ctrlProgress.m_imgFront, imgFront);
    // The bar centres its pictures when it is sized; it already is.
    RECT rcBar;
    m_ctrlProgress.GetClientRect(&rcBar);
    m_ctrlProgress.SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(rcBar.right, rcBar.bottom));

    CImage imgFace;
    if (m_btnClose.m_hWnd) {
        LoadSkinImage(SkinFilePath(L"skin/update/关闭_hover.png").c_str(), imgFace);
        m_btnClose.SetAllFaces(imgFace);
    }
    const struct {
        const wchar_t* pszFile;
        CPictureButton* pButton;
    } faces[] = {
        {L"skin/update/确定.png", &m_btnOk},
        {L"skin/update/取消.png", &m_btnCancel},
        {L"skin/update/在线问题反馈.png", &m_btnFeedback},
        {L"skin/update/点击下载.png", &m_btnDownloadPage},
    };
    for (const auto& face : faces) {
        LoadSkinImage(SkinFilePath(face.pszFile).c_str(), imgFace);
        face.pButton->SetAllFaces(imgFace);
    }
}

void CLumoraZUDeZazedaDlg::OnShowWindow(BOOL bShow, UINT) {
    if (bShow) LoadSkin();
    Default();
}

void CLumoraZUDeZazedaDlg::LayoutControls() {
    RECT rc;
    GetClientRect(&rc);
    WindowLayout l = ComputeLayout(rc.left, rc.top, rc.right, rc.bottom);
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

void CLumoraZUDeZazedaDlg::DrawSkinFile(HDC hDC, CImage& image, const wchar_t* pszRelative, int x, int y) {
    // Decoded at the first draw; a file that cannot be read is tried again
    // at the next one, as before.
    if (image.IsNull()) LoadSkinImage(SkinFilePath(pszRelative).c_str(), image);
    image.Draw(hDC, x, y);
}

void CLumoraZUDeZazedaDlg::DrawStatePictures(HDC hDC, const RECT& rc, bool bDivider) {
    switch (m_nState) {
    case STATE_NO_UPDATE:
    case STATE_NEW_VERSION:
        if (m_nState == STATE_NO_UPDATE)
            DrawSkinFile(hDC, m_imgNoUpdate, L"skin/update/无需更新.png", rc.left + kStateImageX,
                         rc.top + kStateImageY);
        else
            DrawSkinFile(hDC, m_imgNewVersion, L"skin/update/发现新版本.png", rc.left + kStateImageX,
                         rc.top + kStateImageY);
        if (bDivider) m_imgDivider.Draw(hDC, rc.left + kDividerX, rc.bottom - kDividerAboveBottom);
        break;
    case STATE_FAILED:
        DrawSkinFile(hDC, m_imgFailed, L"skin/update/升级失败.png", rc.left + kStateImageX, rc.top + kStateImageY);
        DrawSkinFile(hDC, m_imgAdvice, L"skin/update/建议.png", rc.left + kAdviceImageX, rc.top + kAdviceImageY);
        break;
    default: break;
    }
}

void CLumoraZUDeZazedaDlg::ShowState(int nState) {
    LogEvent("show", {{"state", StateName(nState)}});
    if (!IsWindowVisible()) ShowWindow(SW_SHOWNORMAL);
    m_nState = nState;
    RECT rc;
    GetClientRect(&rc);
    const CWindowDC dc(m_hWnd);
    Invalidate(TRUE);
    switch (nState) {
    case STATE_NO_UPDATE:
        MoveTo(m_btnOk, OkRectNoUpdate(rc.right, rc.bottom));
        Show(m_btnOk, SW_SHOWNORMAL);
        break;
    case STATE_NEW_VERSION:
        MoveTo(m_btnOk, OkRectNewVersion(rc.right, rc.bottom));
        Show(m_btnOk, SW_SHOWNORMAL);
        Show(m_btnCancel, SW_SHOWNORMAL);
        break;
    case STATE_DOWNLOADING:
        Show(m_btnOk, SW_HIDE);
        Show(m_btnCancel, SW_HIDE);
        Show(m_ctrlProgress, SW_SHOWNORMAL);
        Show(m_stcStatusText, SW_SHOWNORMAL);
        m_ctrlProgress.SetPos(0);
        m_nShownPercent = -1;
        break;
    case STATE_FAILED:
        Show(m_ctrlProgress, SW_HIDE);
        Show(m_stcStatusText, SW_HIDE);
        Show(m_btnDownloadPage, SW_SHOWNORMAL);
        Show(m_btnFeedback, SW_SHOWNORMAL);
        break;
    default: break;
    }
    // Drawn at once as well; the erase that the invalidation causes draws the
    // same pictures again over the background.
    DrawStatePictures(dc.Get(), rc, true);
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
            std::wstring line = FormatStatusLine(NarrowToWide(m_szStatus), nPercent);
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

BOOL CLumoraZUDeZazedaDlg::OnEraseBkgnd(HDC hDC) {
    RECT rc;
    GetClientRect(&rc);
    bool bBackground = !m_imgBackground.IsNull();
    if (bBackground) m_imgBackground.Draw(hDC, rc.left, rc.top);
    DrawStatePictures(hDC, rc, bBackground);
    return TRUE;
}

void CLumoraZUDeZazedaDlg::OnSize(UINT, int, int) {
    Default();
    LayoutControls();
}

HBRUSH CLumoraZUDeZazedaDlg::OnCtlColor(HDC hDC, HWND, UINT nCtlColor) {
    HBRUSH hBrush = (HBRUSH)Default();
    if (nCtlColor == CTLCOLOR_STATIC) {
        ::SetBkColor(hDC, kDarkColour);
        hBrush = (HBRUSH)::GetStockObject(NULL_BRUSH);
        ::SetTextColor(hDC, kStatusTextColour);
    }
    return hBrush;
}

LRESULT CLumoraZUDeZazedaDlg::OnNcHitTest(POINT pt) {
    RECT rc;
    GetClientRect(&rc);
    ::ScreenToClient(m_hWnd, &pt);
    if (InCaptionBand(rc.left, rc.top, rc.right, pt.x, pt.y)) return HTCAPTION;
    return Default();
}
