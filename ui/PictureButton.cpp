#include "ui/PictureButton.h"

#include <commctrl.h>

#include "ui/ButtonMath.h"

BEGIN_MESSAGE_MAP(CPictureButton, CButton)
    ON_WM_PAINT()
    ON_WM_MOUSEMOVE()
    ON_WM_MOUSELEAVE()
    ON_WM_MOUSEHOVER()
    ON_WM_LBUTTONDOWN()
    ON_WM_LBUTTONUP()
    ON_WM_ERASEBKGND()
    ON_WM_PRINT()
END_MESSAGE_MAP()

int CPictureButton::SetFace(int bHover, int bToggled, const CImage& image) {
    if (image.IsNull()) return -1;
    auto pCopy = std::make_unique<CImage>();
    if (CopySkinImage(*pCopy, image) != 0) return -1;
    m_pFaces[FaceSlot(bHover, bToggled)] = std::move(pCopy);
    return 0;
}

int CPictureButton::SetAllFaces(const CImage& image) {
    SetFace(0, 0, image);
    SetFace(0, 1, image);
    SetFace(1, 0, image);
    SetFace(1, 1, image);
    return 0;
}

const CImage* CPictureButton::CurrentFace() const {
    const CImage* pFace = m_pFaces[FaceSlot(m_bHover, m_bToggled)].get();
    if (!pFace || pFace->IsNull() || pFace->GetWidth() <= 0 || pFace->GetHeight() <= 0) return nullptr;
    return pFace;
}

int CPictureButton::CaptureParentBackground(CImage& image) {
    HWND hParent = m_hWnd ? ::GetParent(m_hWnd) : nullptr;
    if (!hParent) return -1;
    image.Destroy();

    RECT rcParent, rcButton;
    ::GetClientRect(hParent, &rcParent);
    ::MapWindowPoints(hParent, nullptr, reinterpret_cast<POINT*>(&rcParent), 2);
    GetClientRect(&rcButton);
    ::MapWindowPoints(m_hWnd, nullptr, reinterpret_cast<POINT*>(&rcButton), 2);
    const int x = rcButton.left - rcParent.left;
    const int y = rcButton.top - rcParent.top;
    const int nWidth = rcButton.right - rcButton.left;
    const int nHeight = rcButton.bottom - rcButton.top;

    image.Create(nWidth, nHeight, 24, false);
    CImage whole;
    whole.Create(rcParent.right - rcParent.left, rcParent.bottom - rcParent.top, 24, false);
    if (!whole.IsNull() && ::IsWindowVisible(hParent)) {
        // The parent's own erase and paint only: its children, this button
        // among them, are not part of the background.
        const CImageDC dc(whole);
        ::SendMessageW(hParent, WM_PRINT, (WPARAM)dc.Get(), PRF_CLIENT | PRF_ERASEBKGND);
    }
    if (!whole.IsNull() && !image.IsNull()) {
        const CImageDC dest(image), src(whole);
        ::BitBlt(dest.Get(), 0, 0, nWidth, nHeight, src.Get(), x, y, SRCCOPY);
    }
    return 0;
}

void CPictureButton::OnPaint() {
    if (m_bPainting) return;
    m_bPainting = 1;
    const CImage* pFace = CurrentFace();
    if (!pFace) {
        Default();
        m_bPainting = 0;
        return;
    }
    RECT rcClient;
    GetClientRect(&rcClient);
    {
        const CPaintDC paint(m_hWnd);
        const RECT& rcPaint = paint.Info().rcPaint;
        FaceRect update = {rcPaint.left, rcPaint.top, rcPaint.right, rcPaint.bottom};
        FaceRect mapped = MapUpdateRectToFace(update, pFace->GetWidth(), pFace->GetHeight(),
                                              rcClient.right - rcClient.left, rcClient.bottom - rcClient.top);
        if (paint.Get() && !IsFaceRectEmpty(mapped)) {
            // Composed off-screen and copied once, so the button never flickers;
            // the whole button is redrawn whatever part was invalid.
            CImage composed;
            if (CaptureParentBackground(composed) == 0 && !composed.IsNull()) {
                pFace->Draw(CImageDC(composed).Get(), 0, 0);
                composed.Draw(paint.Get(), 0, 0);
            }
        }
    }
    m_bPainting = 0;
}

void CPictureButton::OnMouseMove(UINT, POINT) {
    ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
    if (!m_bHover) m_bHover = 1;
    Invalidate(TRUE);
    // Asked again on every move: each notification ends the tracking.
    TRACKMOUSEEVENT tme = {};
    tme.cbSize = sizeof(tme);
    tme.dwFlags = TME_HOVER | TME_LEAVE;
    tme.hwndTrack = m_hWnd;
    tme.dwHoverTime = 10;
    ::_TrackMouseEvent(&tme);
    Default();
}

LRESULT CPictureButton::OnMouseHover(WPARAM wParam, LPARAM lParam) {
    if (HWND hParent = ::GetParent(m_hWnd)) ::SendMessageW(hParent, WM_MOUSEHOVER, wParam, lParam);
    return 1;
}

LRESULT CPictureButton::OnMouseLeave() {
    m_bMouseDown = 0;
    m_bHover = 0;
    // Repainted without hover before the parent hears of the leave.
    Invalidate(TRUE);
    SendMessage(WM_PAINT, 0, 0);
    if (HWND hParent = ::GetParent(m_hWnd))
        ::SendMessageW(hParent, WM_MOUSELEAVE, m_bToggled ? 1 : 0, (LPARAM)m_hWnd);
    ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
    return 1;
}

void CPictureButton::OnLButtonDown(UINT, POINT) {
    m_bMouseDown = 1;
    Default();
}

void CPictureButton::OnLButtonUp(UINT, POINT pt) {
    if (m_bMouseDown) {
        m_bMouseDown = 0;
        RECT rc;
        GetClientRect(&rc);
        if (::PtInRect(&rc, pt)) {
            m_bToggled = !m_bToggled;
            Invalidate(TRUE);
        }
    }
    Default();
}

BOOL CPictureButton::OnEraseBkgnd(HDC) { return TRUE; }

LRESULT CPictureButton::OnPrint(HDC hDC, UINT) {
    const CImage* pFace = CurrentFace();
    if (!pFace) return Default();
    RECT rc;
    GetClientRect(&rc);
    pFace->Draw(hDC, 0, 0, rc.right - rc.left, rc.bottom - rc.top, 0, 0, pFace->GetWidth(), pFace->GetHeight());
    return 0;
}
