// The update window's drawing: its skin, decoded for the window's scale from
// the best picture set the skin has, the background and state pictures, the
// status line's colours and font, and the change of scale when the window
// moves to a monitor of another DPI.
#include "ui/LumoraZUDeZazedaDlg.h"

#include "ui/Colours.h"
#include "ui/SkinScale.h"

namespace {
bool IsFile(const std::wstring& path) {
    const DWORD nAttributes = ::GetFileAttributesW(path.c_str());
    return nAttributes != INVALID_FILE_ATTRIBUTES && !(nAttributes & FILE_ATTRIBUTE_DIRECTORY);
}
}  // namespace

int CLumoraZUDeZazedaDlg::LoadSkinPicture(const wchar_t* pszName, CImage& image, bool bBackground) const {
    // The first set, best first, that has the file; a skin that has it in no
    // set loads nothing, as a missing file always did.
    const SkinSetOrder order = SkinSetsFor(m_nDpi);
    int nPercent = order.aPercent[0];
    std::wstring path;
    for (int nSet : order.aPercent) {
        std::wstring candidate = SkinFilePath(SkinSetPath(nSet, pszName).c_str());
        if (path.empty()) path = candidate;
        if (IsFile(candidate)) {
            nPercent = nSet;
            path = std::move(candidate);
            break;
        }
    }
    // The background keeps the general loader wherever it is drawn as it is.
    if (bBackground && SkinSetAtScale(nPercent, m_nDpi)) return image.Load(path.c_str());
    return LoadSkinImage(path.c_str(), image, nPercent, m_nDpi);
}

void CLumoraZUDeZazedaDlg::LoadSkin() {
    if (m_nSkinDpi == m_nDpi) return;
    m_nSkinDpi = m_nDpi;
    LoadSkinPicture(L"升级背景.png", m_imgBackground, true);
    LoadSkinPicture(L"分割线.png", m_imgDivider);
    CImage imgBack, imgFront;
    LoadSkinPicture(L"进度背景.png", imgBack);
    LoadSkinPicture(L"当前进度.png", imgFront);
    CopySkinImage(m_ctrlProgress.m_imgBack, imgBack);
    CopySkinImage(m_ctrlProgress.m_imgFront, imgFront);
    // The bar centres its pictures when it is sized; it already is.
    RECT rcBar;
    m_ctrlProgress.GetClientRect(&rcBar);
    m_ctrlProgress.SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(rcBar.right, rcBar.bottom));

    CImage imgFace;
    if (m_btnClose.m_hWnd) {
        LoadSkinPicture(L"关闭_hover.png", imgFace);
        m_btnClose.SetAllFaces(imgFace);
    }
    const struct {
        const wchar_t* pszFile;
        CPictureButton* pButton;
    } faces[] = {
        {L"确定.png", &m_btnOk},
        {L"取消.png", &m_btnCancel},
        {L"在线问题反馈.png", &m_btnFeedback},
        {L"点击下载.png", &m_btnDownloadPage},
    };
    for (const auto& face : faces) {
        LoadSkinPicture(face.pszFile, imgFace);
        face.pButton->SetAllFaces(imgFace);
    }
    // Decoded again, at this scale, when next drawn.
    for (CImage* pImage : {&m_imgNoUpdate, &m_imgNewVersion, &m_imgFailed, &m_imgAdvice}) pImage->Destroy();
}

void CLumoraZUDeZazedaDlg::OnShowWindow(BOOL bShow, UINT) {
    if (bShow) LoadSkin();
    Default();
}

void CLumoraZUDeZazedaDlg::DrawSkinFile(HDC hDC, CImage& image, const wchar_t* pszName, int x, int y) {
    // Decoded at the first draw; a file that cannot be read is tried again
    // at the next one, as before.
    if (image.IsNull()) LoadSkinPicture(pszName, image);
    image.Draw(hDC, x, y);
}

void CLumoraZUDeZazedaDlg::DrawStatePictures(HDC hDC, const RECT& rc, bool bDivider) {
    const int xState = rc.left + Scaled(kStateImageX), yState = rc.top + Scaled(kStateImageY);
    switch (m_nState) {
    case STATE_NO_UPDATE:
    case STATE_NEW_VERSION:
        if (m_nState == STATE_NO_UPDATE)
            DrawSkinFile(hDC, m_imgNoUpdate, L"无需更新.png", xState, yState);
        else
            DrawSkinFile(hDC, m_imgNewVersion, L"发现新版本.png", xState, yState);
        if (bDivider) m_imgDivider.Draw(hDC, rc.left + Scaled(kDividerX), rc.bottom - Scaled(kDividerAboveBottom));
        break;
    case STATE_FAILED:
        DrawSkinFile(hDC, m_imgFailed, L"升级失败.png", xState, yState);
        DrawSkinFile(hDC, m_imgAdvice, L"建议.png", rc.left + Scaled(kAdviceImageX), rc.top + Scaled(kAdviceImageY));
        break;
    default: break;
    }
}

BOOL CLumoraZUDeZazedaDlg::OnEraseBkgnd(HDC hDC) {
    RECT rc;
    GetClientRect(&rc);
    bool bBackground = !m_imgBackground.IsNull();
    if (bBackground) m_imgBackground.Draw(hDC, rc.left, rc.top);
    DrawStatePictures(hDC, rc, bBackground);
    return TRUE;
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

void CLumoraZUDeZazedaDlg::ApplyFont() {
    const HFONT hDialogFont = (HFONT)SendMessage(WM_GETFONT);
    LOGFONTW lf = {};
    if (!hDialogFont || !::GetObjectW(hDialogFont, sizeof(lf), &lf)) return;
    // The dialog manager made the font for the scale the window was created
    // at; only another scale needs another font.
    const int nHeight = StatusFontHeight(m_nDpi);
    CGdiObject<HFONT> font;
    if (lf.lfHeight != nHeight) {
        lf.lfHeight = nHeight;
        lf.lfWidth = 0;
        font.Reset(::CreateFontIndirectW(&lf));
        if (!font) return;
    } else if (!m_font) {
        return;  // the controls have the dialog's font already
    }
    const HFONT hFont = font ? font.Get() : hDialogFont;
    for (CWnd* pControl : {static_cast<CWnd*>(&m_stcStatusText), static_cast<CWnd*>(&m_btnOk),
                           static_cast<CWnd*>(&m_btnCancel), static_cast<CWnd*>(&m_btnClose),
                           static_cast<CWnd*>(&m_btnFeedback), static_cast<CWnd*>(&m_btnDownloadPage)}) {
        if (pControl->m_hWnd) pControl->SendMessage(WM_SETFONT, (WPARAM)hFont, TRUE);
    }
    m_font = std::move(font);  // the old one only now, when no control uses it
}

BOOL CLumoraZUDeZazedaDlg::OnGetDpiScaledSize(int nDpi, SIZE* pSize) {
    // The window's own size at the new scale, rounded as its layout is,
    // rather than the system's linear guess.
    if (!pSize) return FALSE;
    pSize->cx = ScaleToDpi(kWindowWidth, nDpi);
    pSize->cy = ScaleToDpi(kWindowHeight, nDpi);
    return TRUE;
}

void CLumoraZUDeZazedaDlg::OnDpiChanged(int nDpi, const RECT* pSuggested) {
    m_nDpi = nDpi > 0 ? nDpi : kBaseDpi;
    ApplyFont();
    m_ctrlProgress.m_nBarWidth = Scaled(kBarWidth);
    if (m_nSkinDpi) LoadSkin();  // a skin not decoded yet is decoded at the new scale
    if (pSuggested)
        ::SetWindowPos(m_hWnd, nullptr, pSuggested->left, pSuggested->top, pSuggested->right - pSuggested->left,
                       pSuggested->bottom - pSuggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    // Laid out even when the size stayed; the layout hides the state's
    // controls, which come back where the state puts them.
    LayoutControls();
    RECT rc;
    GetClientRect(&rc);
    ApplyStateControls(m_nState, rc);
    m_nShownPercent = -1;  // the bar and the line drawn afresh at the next tick
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}
