// The skin's image object and its loaders.
#pragma once

#include <windows.h>

#include <string>

class CImage {
public:
    CImage();
    ~CImage();
    CImage(const CImage&) = delete;
    CImage& operator=(const CImage&) = delete;

    BOOL Create(int nWidth, int nHeight, int nBPP, bool bAlpha);
    void Destroy();
    bool IsNull() const { return m_hBitmap == nullptr; }
    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }
    int GetBPP() const { return m_nBPP; }
    bool HasAlpha() const { return m_bAlpha; }
    void* GetBits() const { return m_pBits; }

    HDC GetDC() const;
    void ReleaseDC() const;

    BOOL Draw(HDC hDest, int xDest, int yDest, int wDest, int hDest2, int xSrc, int ySrc, int wSrc,
              int hSrc) const;
    BOOL Draw(HDC hDest, int x, int y) const;

    // The general loader: 0 on success, otherwise a failure code.
    int Load(const wchar_t* pszPath);

private:
    HBITMAP m_hBitmap = nullptr;
    void* m_pBits = nullptr;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nBPP = 0;
    bool m_bAlpha = false;
    mutable HDC m_hDC = nullptr;
    mutable int m_nDCRefs = 0;
    mutable HGDIOBJ m_hOldBitmap = nullptr;
};

// "<executable folder>" + relative path, e.g. L"skin/update/..." .
std::wstring SkinFilePath(const wchar_t* pszRelative);
// Loads a PNG into a 32-bit premultiplied canvas: 0 on success, -1 on failure.
int LoadSkinImage(const wchar_t* pszPath, CImage& image);
// Makes dest an independent copy of src: 0 on success, -1 on failure.
int CopySkinImage(CImage& dest, const CImage& src);
