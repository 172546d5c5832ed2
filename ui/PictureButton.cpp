#include "ui/PictureButton.h"

CPictureButton::~CPictureButton() {
    for (CImage*& pFace : m_pFaces) {
        delete pFace;
        pFace = nullptr;
    }
}

int CPictureButton::SetFace(int bHover, int bToggled, const CImage& image) {
    if (image.IsNull()) return -1;
    CImage* pCopy = new (std::nothrow) CImage;
    if (!pCopy) return -1;
    if (CopySkinImage(*pCopy, image) != 0) {
        delete pCopy;
        return -1;
    }
    CImage*& pSlot = m_pFaces[2 * (bHover != 0) + (bToggled != 0)];
    delete pSlot;
    pSlot = pCopy;
    return 0;
}

int CPictureButton::SetAllFaces(const CImage& image) {
    SetFace(0, 0, image);
    SetFace(0, 1, image);
    SetFace(1, 0, image);
    SetFace(1, 1, image);
    return 0;
}
