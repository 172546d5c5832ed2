// A push button whose face is a skin picture laid over the parent's own
// background. Four face slots, chosen by hover and a toggle that flips on
// every click released inside. A control without a face for its current slot
// paints and prints as the standard control of its kind.
#pragma once

#include <memory>

#include "framework/Framework.h"
#include "ui/Image.h"

class CPictureButton : public CButton {
public:
    CPictureButton() = default;

    // Deep-copies image into slot 2 * hover + toggled; -1 without change when
    // the image is empty or the copy fails, 0 otherwise.
    int SetFace(int bHover, int bToggled, const CImage& image);
    // The same image into all four slots; always 0.
    int SetAllFaces(const CImage& image);

    // A 24-bit, button-sized image of what the parent draws under the button
    // (its background and client painting, not its children). -1 without a
    // parent; black where a hidden parent printed nothing.
    int CaptureParentBackground(CImage& image);

protected:
    void OnPaint();
    void OnMouseMove(UINT nFlags, POINT pt);
    LRESULT OnMouseLeave();
    LRESULT OnMouseHover(WPARAM wParam, LPARAM lParam);
    void OnLButtonDown(UINT nFlags, POINT pt);
    void OnLButtonUp(UINT nFlags, POINT pt);
    BOOL OnEraseBkgnd(HDC hDC);
    LRESULT OnPrint(HDC hDC, UINT nFlags);

    DECLARE_MESSAGE_MAP()

private:
    const CImage* CurrentFace() const;

    std::unique_ptr<CImage> m_pFaces[4];  // empty until set
    int m_bHover = 0;
    int m_bToggled = 0;
    int m_bPainting = 0;
    int m_bMouseDown = 0;
};
