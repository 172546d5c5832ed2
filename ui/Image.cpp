#include "ui/Image.h"

#include "update/WorkDir.h"

// The image facility's drawing and decoding arrive with the skin; until then
// every load fails and nothing is drawn, as with a missing skin folder.

CImage::CImage() = default;
CImage::~CImage() { Destroy(); }

BOOL CImage::Create(int nWidth, int nHeight, int nBPP, bool bAlpha) {
    Destroy();
    if (nWidth <= 0 || nHeight <= 0 || (nBPP != 24 && nBPP != 32)) return FALSE;
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
    bmi.bmiHeader.biWidth = nWidth;
    bmi.bmiHeader.biHeight = -nHeight;  // top-down rows
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = (WORD)nBPP;
    bmi.bmiHeader.biCompression = BI_RGB;
    m_hBitmap = ::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &m_pBits, nullptr, 0);
    if (!m_hBitmap) return FALSE;
    m_nWidth = nWidth;
    m_nHeight = nHeight;
    m_nBPP = nBPP;
    m_bAlpha = bAlpha;
    return TRUE;
}

void CImage::Destroy() {
    while (m_nDCRefs) ReleaseDC();
    if (m_hBitmap) ::DeleteObject(m_hBitmap);
    m_hBitmap = nullptr;
    m_pBits = nullptr;
    m_nWidth = m_nHeight = m_nBPP = 0;
    m_bAlpha = false;
}

HDC CImage::GetDC() const {
    if (!m_hBitmap) return nullptr;
    if (m_nDCRefs++ == 0) {
        m_hDC = ::CreateCompatibleDC(nullptr);
        m_hOldBitmap = ::SelectObject(m_hDC, m_hBitmap);
    }
    return m_hDC;
}

void CImage::ReleaseDC() const {
    if (m_nDCRefs == 0) return;
    if (--m_nDCRefs == 0) {
        ::SelectObject(m_hDC, m_hOldBitmap);
        ::DeleteDC(m_hDC);
        m_hDC = nullptr;
    }
}

BOOL CImage::Draw(HDC, int, int, int, int, int, int, int, int) const { return FALSE; }
BOOL CImage::Draw(HDC hDest, int x, int y) const {
    return Draw(hDest, x, y, m_nWidth, m_nHeight, 0, 0, m_nWidth, m_nHeight);
}
int CImage::Load(const wchar_t*) { return -1; }

std::wstring SkinFilePath(const wchar_t* pszRelative) { return GetModuleDir() + pszRelative; }
int LoadSkinImage(const wchar_t*, CImage& image) {
    image.Destroy();
    return -1;
}
int CopySkinImage(CImage&, const CImage&) { return -1; }
