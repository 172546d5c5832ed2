#include "ui/OwnProgressCtrl.h"

#include <commctrl.h>

#include "ui/Colours.h"
#include "ui/Layout.h"

namespace {
// The picture's alpha is not used: transparent pixels come out in their
// stored colour, black.
void StretchOpaque(HDC hDest, int x, int y, int w, const CImage& image) {
    if (image.IsNull()) return;
    const CImageDC src(image);
    ::StretchBlt(hDest, x, y, w, image.GetHeight(), src.Get(), 0, 0, image.GetWidth(), image.GetHeight(), SRCCOPY);
}
}  // namespace

BEGIN_MESSAGE_MAP(COwnProgressCtrl, CProgressCtrl)
    ON_WM_PAINT()
    ON_WM_SIZE()
END_MESSAGE_MAP()

COwnProgressCtrl::COwnProgressCtrl() : m_brBack(::CreateSolidBrush(kDarkColour)) {}

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

    const CWindowDC dc(m_hWnd);
    if (!dc.Get()) return;
    const CMemoryDC mem(::CreateCompatibleDC(nullptr));
    const CGdiObject<HBITMAP> bitmap(::CreateCompatibleBitmap(dc.Get(), nWidth, nHeight));
    if (!mem || !bitmap) return;
    const CSelectObject selected(mem.Get(), bitmap.Get());
    ::FillRect(mem.Get(), &rc, m_brBack.Get());
    ::SetStretchBltMode(mem.Get(), HALFTONE);
    ::SetBrushOrgEx(mem.Get(), 0, 0, nullptr);  // HALFTONE needs the origin reset
    StretchOpaque(mem.Get(), 0, m_nBackTop, m_nBarWidth, m_imgBack);
    if (m_nFilled > 0) StretchOpaque(mem.Get(), 0, m_nFrontTop, m_nFilled, m_imgFront);
    ::BitBlt(dc.Get(), 0, 0, nWidth, nHeight, mem.Get(), 0, 0, SRCCOPY);
}

void COwnProgressCtrl::OnPaint() {
    const CPaintDC paint(m_hWnd);
    DrawBar();
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
