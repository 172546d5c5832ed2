// The update client's only window: a borderless 500 x 200 skinned dialog
// (at 100 %; larger at a larger display scale) that shows one display state
// at a time. The update engine reaches it only through CUpdateView, which
// holds the members the two share.
#pragma once

#include <string>

#include "common/Gdi.h"
#include "framework/Framework.h"
#include "res/resource.h"
#include "ui/Image.h"
#include "ui/Layout.h"
#include "ui/OwnProgressCtrl.h"
#include "ui/PictureButton.h"
#include "ui/WebPages.h"
#include "update/UpdateView.h"

class CLumoraZUDeZazedaDlg : public CDialog, public CUpdateView {
public:
    CLumoraZUDeZazedaDlg();
    ~CLumoraZUDeZazedaDlg() override;

    void ShowState(int nState) override;
    void EnterDownloadingState() override;
    void Hide() override;
    void Close() override;
    void LayoutControls();

    HICON m_hIcon = nullptr;
    COwnProgressCtrl m_ctrlProgress;
    CImage m_imgBackground;
    CImage m_imgDivider;
    // The state pictures, decoded when first drawn.
    CImage m_imgNoUpdate;
    CImage m_imgNewVersion;
    CImage m_imgFailed;
    CImage m_imgAdvice;
    CPictureButton m_btnClose;
    CPictureButton m_btnOk;
    CPictureButton m_btnCancel;
    CPictureButton m_btnFeedback;
    CPictureButton m_btnDownloadPage;
    CPictureButton m_stcStatusText;
    int m_nShownPercent = -1;  // what the bar and status line show now
    int m_nDpi = kBaseDpi;     // the scale the window is laid out and drawn at

protected:
    void DoDataExchange(void* pDX) override;
    BOOL OnInitDialog() override;

    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnBnClickedClose();
    void OnBnClickedOk();
    void OnBnClickedCancel();
    void OnBnClickedFeedback();
    void OnBnClickedDownloadPage();
    void OnTimer(UINT_PTR nIDEvent);
    void OnDestroy();
    BOOL OnEraseBkgnd(HDC hDC);
    void OnSize(UINT nType, int cx, int cy);
    HBRUSH OnCtlColor(HDC hDC, HWND hCtl, UINT nCtlColor);
    LRESULT OnNcHitTest(POINT pt);
    void OnShowWindow(BOOL bShow, UINT nStatus);
    void OnDpiChanged(int nDpi, const RECT* pSuggested);
    BOOL OnGetDpiScaledSize(int nDpi, SIZE* pSize);

    DECLARE_MESSAGE_MAP()

private:
    int Scaled(int n) const { return ScaleToDpi(n, m_nDpi); }
    // The skin is decoded only for a window that is shown, once for each
    // scale it is shown at.
    void LoadSkin();
    int m_nSkinDpi = 0;  // the scale the skin was decoded for; 0 before
    int LoadSkinPicture(const wchar_t* pszName, CImage& image, bool bBackground = false) const;
    void DrawSkinFile(HDC hDC, CImage& image, const wchar_t* pszName, int x, int y);
    void DrawStatePictures(HDC hDC, const RECT& rc, bool bDivider);
    // The controls the state shows, where it shows them.
    void ApplyStateControls(int nState, const RECT& rc);
    // The dialog's font at the window's scale, on every control.
    void ApplyFont();
    CGdiObject<HFONT> m_font;  // when the dialog's own is not at that scale
    void LogUserAction(const char* pszAction) const;
};
