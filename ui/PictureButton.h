// A push button whose face is a skin picture laid over the parent's own
// background.
#pragma once

#include "framework/Framework.h"
#include "ui/Image.h"

class CPictureButton : public CButton {
public:
    CPictureButton() = default;
    ~CPictureButton() override;
    int SetFace(int bHover, int bToggled, const CImage& image);
    int SetAllFaces(const CImage& image);

private:
    CImage* m_pFaces[4] = {};
};
