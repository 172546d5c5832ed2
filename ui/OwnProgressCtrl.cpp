#include "ui/OwnProgressCtrl.h"

#include <commctrl.h>

#include "ui/Colours.h"
#include "ui/Layout.h"

namespace {
// The picture's alpha is not used: transparent pixels come out in their
// stored colour, black.
void StretchOpaque(HDC hDest, int x, int y, int w, const CImage& image) {
    if (image.IsNull()) return;
    HDC hSrc = image.GetDC();
    ::StretchBlt(hDest, x, y, w, image.GetHeight(), hSrc, 0, 0, image.GetWidth(), image.GetHeight(), SRCCOPY);
    image.ReleaseDC();
}
}  // namespace

BEGIN_MESSAGE_MAP(COwnProgressCtrl, CProgressCtrl)
    ON_WM_PAINT()
    ON_WM_SIZE()
END_MESSAGE_MAP()

COwnProgressCtrl::COwnProgressCtrl() : m_brBack(::CreateSolidBrush(kDarkColour)) {}

COwnProgressCtrl::~COwnProgressCtrl() {
    if (m_brBack) ::DeleteObject(m_brBack);
}

void COwnProgressCtrl::SetPos(int nPos) {
    // The standard control keeps the same position for anyone who asks it.
    if (m_hWnd) SendMessage(PBM_SETPOS, (WPARAM)nPos, 0);
    m_nFilled = ProgressFilledWidth(nPos, m_nLower, m_nUpper, m_nBarWidth, m_nSpan);
    DrawBar();
}

void COwnProgressCtrl::DrawBar() {
    if (!m_hWnd) return;
    RECT rc;
    GetClientRect(&rc);
    const int nWidth = rc.right - rc.left;
    const int nHeight = rc.bottom - rc.top;
    if (nWidth <= 0 || nHeight <= 0) return;

    HDC hDC = ::GetDC(m_hWnd);
    if (!hDC) return;
    HDC hMem = ::CreateCompatibleDC(nullptr);
    HBITMAP hBitmap = ::CreateCompatibleBitmap(hDC, nWidth, nHeight);
    if (hMem && hBitmap) {
        HGDIOBJ hOld = ::SelectObject(hMem, hBitmap);
        ::FillRect(hMem, &rc, m_brBack);
        ::SetStretchBltMode(hMem, HALFTONE);
        ::SetBrushOrgEx(hMem, 0, 0, nullptr);  // HALFTONE needs the origin reset
        StretchOpaque(hMem, 0, m_nBackTop, m_nBarWidth, m_imgBack);
        if (m_nFilled > 0) StretchOpaque(hMem, 0, m_nFrontTop, m_nFilled, m_imgFront);
        ::BitBlt(hDC, 0, 0, nWidth, nHeight, hMem, 0, 0, SRCCOPY);
        ::SelectObject(hMem, hOld);
    }
    ::ReleaseDC(m_hWnd, hDC);
    if (hBitmap) ::DeleteObject(hBitmap);
    if (hMem) ::DeleteDC(hMem);
}

void COwnProgressCtrl::OnPaint() {
    PAINTSTRUCT ps;
    ::BeginPaint(m_hWnd, &ps);
    DrawBar();
    ::EndPaint(m_hWnd, &ps);
}

void COwnProgressCtrl::OnSize(UINT, int, int) {
    Default();
    RECT rc;
    GetClientRect(&rc);
    if (!m_imgBack.IsNull() && !m_imgFront.IsNull()) {
        const int nHeight = rc.bottom - rc.top;
        // Centred; C++ division truncates toward zero as wanted (-5 / 2 = -2).
        m_nBackTop = (nHeight - m_imgBack.GetHeight()) / 2;
        m_nFrontTop = (nHeight - m_imgFront.GetHeight()) / 2;
    }
}
