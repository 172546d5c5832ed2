// The update client's only window: a borderless 500 x 200 skinned dialog
// that shows one display state at a time and owns the members through which
// the update engine and the window talk.
#pragma once

#include <atomic>
#include <string>

#include "common/Handle.h"
#include "framework/Framework.h"
#include "res/resource.h"
#include "ui/Image.h"
#include "ui/OwnProgressCtrl.h"
#include "ui/PictureButton.h"
#include "ui/WebPages.h"
#include "update/Integrity.h"

enum UpdateViewState : int {
    STATE_IDLE = 0,
    STATE_NO_UPDATE = 1,
    STATE_NEW_VERSION = 2,
    STATE_DOWNLOADING = 4,
    STATE_FAILED = 6,
};

class CLumoraZUDeZazedaDlg : public CDialog {
public:
    CLumoraZUDeZazedaDlg();
    ~CLumoraZUDeZazedaDlg() override;

    void ShowState(int nState);
    void LayoutControls();
    // Shows the downloading layout and starts the download worker: the step
    // that a forced update and the OK button share.
    void EnterDownloadingState();

    HICON m_hIcon = nullptr;
    std::atomic<int> m_nState{STATE_IDLE};
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
    char m_szTarget[1024];
    char m_szStatus[260];
    std::atomic<double> m_dProgress{0.0};
    bool m_bPrompt = false;
    bool m_bTestUpdate = false;

    // What the manifest says the installer must be (size, SHA-256); written
    // before the worker starts. m_bIntegrityValid is false when the manifest
    // gave malformed values, which no download can then satisfy.
    IntegrityExpectation m_integrity;
    bool m_bIntegrityValid = true;

    // The download worker, kept so that closing the window can stop it before
    // this object goes away.
    CHandle m_hWorker;
    int m_nShownPercent = -1;  // what the bar and status line show now
    std::atomic<bool> m_bStopWorker{false};
    void StopWorker();

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

    DECLARE_MESSAGE_MAP()

private:
    // The skin is decoded only for a window that is shown, once.
    void LoadSkin();
    bool m_bSkinLoaded = false;
    void DrawSkinFile(HDC hDC, CImage& image, const wchar_t* pszRelative, int x, int y);
    void DrawStatePictures(HDC hDC, const RECT& rc, bool bDivider);
};
