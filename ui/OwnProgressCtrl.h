// The download progress bar, drawn from two skin pictures over a dark fill:
// the background picture along the whole bar, the filled-part picture scaled
// into the filled width. Setting a position redraws at once.
#pragma once

#include "framework/Framework.h"
#include "ui/Image.h"

class COwnProgressCtrl : public CProgressCtrl {
public:
    COwnProgressCtrl();

    void SetPos(int nPos);
    // Draws the whole bar through the bar's own window DC, composed
    // off-screen and copied once.
    void DrawBar();

    CImage m_imgBack;
    CImage m_imgFront;
    int m_nBarWidth = 0;
    int m_nSpan = 0;
    int m_nFilled = 0;
    int m_nLower = 0;
    int m_nUpper = 0;
    int m_nBackTop = 0;
    int m_nFrontTop = 0;
    CGdiObject<HBRUSH> m_brBack;

protected:
    void OnPaint();
    void OnSize(UINT nType, int cx, int cy);

    DECLARE_MESSAGE_MAP()
};
