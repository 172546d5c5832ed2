// The skin's image object and its loaders.
//
// An image is a top-down DIB section. 32-bit images with the alpha flag hold
// premultiplied blue, green, red, alpha, so Draw can compose them with
// AlphaBlend; every other image is copied opaque.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "common/Gdi.h"

class CImage {
public:
    // Far beyond any skin picture, and small enough that no size computed
    // from it can overflow.
    static constexpr int kMaxImageSide = 16384;

    CImage();
    ~CImage();
    CImage(const CImage&) = delete;
    CImage& operator=(const CImage&) = delete;

    // A blank, zero-filled image. The skin asks for 32 bits with alpha or 24
    // without; the general loader also uses 1, 4 and 8 bits (palette images,
    // colour table all black until filled). Sides over kMaxImageSide are
    // refused, so a hostile picture becomes a missing one.
    BOOL Create(int nWidth, int nHeight, int nBPP, bool bAlpha);
    void Destroy();
    bool IsNull() const { return !m_bitmap; }
    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }
    int GetBPP() const { return m_nBPP; }
    bool HasAlpha() const { return m_bAlpha; }
    void* GetBits() const { return m_pBits; }
    // Bytes from one row to the next (rows run top to bottom).
    size_t GetPitch() const { return (static_cast<size_t>(m_nWidth) * m_nBPP + 31) / 32 * 4; }

    // A memory DC with the image selected; calls nest, each GetDC that
    // returned a DC needs one ReleaseDC (CImageDC pairs them).
    HDC GetDC() const;
    void ReleaseDC() const;

    BOOL Draw(HDC hDest, int xDest, int yDest, int wDest, int hDest2, int xSrc, int ySrc, int wSrc, int hSrc) const;
    // The whole image at its natural size with its top-left at (x, y).
    BOOL Draw(HDC hDest, int x, int y) const;

    // The general loader: 0 on success, otherwise a failure code. Starts the
    // decoder when it is not running. Pictures with alpha become 32-bit
    // premultiplied images with the alpha flag; palette pictures keep their
    // depth and palette; 24- and 32-bit RGB keep their depth; anything else
    // becomes 32-bit RGB without alpha.
    int Load(const wchar_t* pszPath);

private:
    CGdiObject<HBITMAP> m_bitmap;
    void* m_pBits = nullptr;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nBPP = 0;
    bool m_bAlpha = false;
    // Taken from a shared pool while m_nDCRefs > 0, and given back after.
    mutable CMemoryDC m_dc;
    mutable int m_nDCRefs = 0;
    mutable std::optional<CSelectObject> m_selection;  // the bitmap in m_dc
};

// The image's memory DC for the life of a scope; null for an empty image.
class CImageDC {
public:
    explicit CImageDC(const CImage& image) : m_image(image), m_hDC(image.GetDC()) {}
    ~CImageDC() {
        if (m_hDC) m_image.ReleaseDC();
    }
    CImageDC(const CImageDC&) = delete;
    CImageDC& operator=(const CImageDC&) = delete;
    HDC Get() const { return m_hDC; }

private:
    const CImage& m_image;
    HDC m_hDC;
};

// "<executable folder>" + relative path, e.g. L"skin/update/..." .
std::wstring SkinFilePath(const wchar_t* pszRelative);
// Loads a picture into a 32-bit premultiplied canvas with the alpha flag
// (an opaque file gives alpha 255 everywhere): 0 on success, -1 on failure.
// The earlier picture is released once the file has been opened, whether or
// not it decodes. Starts the decoder when it is not running.
// A picture of the nPercent skin set is resampled to the size it has at
// nDpi (SkinDrawnSize) with high-quality filtering; at its own scale (the
// 100 % set at 96 DPI, 150 % at 144) its pixels are kept as they are.
int LoadSkinImage(const wchar_t* pszPath, CImage& image, int nPercent = 100, int nDpi = 96);
// Makes dest an independent copy of src: 0 on success, -1 on failure. An
// empty src leaves dest untouched.
int CopySkinImage(CImage& dest, const CImage& src);
