#include "ui/OwnProgressCtrl.h"

#include <commctrl.h>

#include "ui/Layout.h"

COwnProgressCtrl::COwnProgressCtrl() : m_brBack(::CreateSolidBrush(RGB(25, 25, 25))) {}
COwnProgressCtrl::~COwnProgressCtrl() {
    if (m_brBack) ::DeleteObject(m_brBack);
}

void COwnProgressCtrl::SetPos(int nPos) {
    if (m_hWnd) SendMessage(PBM_SETPOS, (WPARAM)nPos, 0);
    m_nFilled = ProgressFilledWidth(nPos, m_nLower, m_nUpper, m_nBarWidth, m_nSpan);
    DrawBar();
}

void COwnProgressCtrl::DrawBar() {}
