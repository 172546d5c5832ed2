#include "ui/Image.h"

// The lean windows.h leaves out the COM declarations that gdiplus.h needs.
#include <objidl.h>
#include <gdiplus.h>

#include <cstring>
#include <vector>

#include "ui/DecoderUsers.h"
#include "ui/SkinScale.h"
#include "update/fs/WorkDir.h"

namespace {
namespace gp = Gdiplus;
namespace gpf = Gdiplus::DllExports;

struct GpBitmapTraits : NullEmptyTraits<gp::GpBitmap*> {
    static void Close(gp::GpBitmap* p) noexcept { gpf::GdipDisposeImage(p); }
};
using CGpBitmap = CUniqueHandle<GpBitmapTraits>;
struct GpGraphicsTraits : NullEmptyTraits<gp::GpGraphics*> {
    static void Close(gp::GpGraphics* p) noexcept { gpf::GdipDeleteGraphics(p); }
};
using CGpGraphics = CUniqueHandle<GpGraphicsTraits>;
struct GpAttributesTraits : NullEmptyTraits<gp::GpImageAttributes*> {
    static void Close(gp::GpImageAttributes* p) noexcept { gpf::GdipDisposeImageAttributes(p); }
};
using CGpAttributes = CUniqueHandle<GpAttributesTraits>;

// GDI+ as the picture decoder; CDecoderUsers says when it runs.
struct GdiplusDecoder {
    ULONG_PTR token = 0;
    bool Start() {
        gp::GdiplusStartupInput input;  // version 1, no debug callback, background thread and codecs allowed
        return gp::GdiplusStartup(&token, &input, nullptr) == gp::Ok && token != 0;
    }
    void Stop() {
        gp::GdiplusShutdown(token);
        token = 0;
    }
};

struct DecoderState : CDecoderUsers<GdiplusDecoder> {
    ~DecoderState();
};

// Built by the first CImage constructor, so it outlives every image object,
// including images with static storage.
DecoderState& Decoder() {
    static DecoderState state;
    return state;
}

bool StartDecoder() { return Decoder().Start(); }

// Memory DCs are reused through four slots taken and filled with atomic
// exchanges only: images are drawn from the worker thread too, and a lock
// here would sit on every draw.
const int kDCPoolSlots = 4;
PVOID volatile g_dcPool[kDCPoolSlots];

CMemoryDC TakeMemoryDC() {
    for (PVOID volatile& slot : g_dcPool) {
        PVOID h = ::InterlockedExchangePointer(&slot, nullptr);
        if (h) return CMemoryDC(static_cast<HDC>(h));
    }
    return CMemoryDC(::CreateCompatibleDC(nullptr));
}

void GiveBackMemoryDC(CMemoryDC dc) {
    PVOID h = dc.Release();
    for (PVOID volatile& slot : g_dcPool) {
        h = ::InterlockedExchangePointer(&slot, h);
        if (!h) return;
    }
    dc.Reset(static_cast<HDC>(h));  // displaced from a full pool: deleted here
}

DecoderState::~DecoderState() {
    // Process exit: stop a decoder that is still running.
    Stop();
    for (PVOID volatile& slot : g_dcPool) {
        const CMemoryDC pooled(static_cast<HDC>(::InterlockedExchangePointer(&slot, nullptr)));
    }
}

// Copies the decoded pixels, converted to fmt, into the image's rows.
bool CopyDecodedPixels(gp::GpBitmap* pBitmap, gp::PixelFormat fmt, CImage& image) {
    gp::GpRect rc(0, 0, image.GetWidth(), image.GetHeight());
    gp::BitmapData data = {};
    if (gpf::GdipBitmapLockBits(pBitmap, &rc, gp::ImageLockModeRead, fmt, &data) != gp::Ok) return false;
    const size_t nRowBytes = (static_cast<size_t>(image.GetWidth()) * image.GetBPP() + 7) / 8;
    const BYTE* pSrc = static_cast<const BYTE*>(data.Scan0);
    BYTE* pDst = static_cast<BYTE*>(image.GetBits());
    for (int y = 0; y < image.GetHeight(); ++y)
        std::memcpy(pDst + static_cast<size_t>(y) * image.GetPitch(), pSrc + static_cast<ptrdiff_t>(y) * data.Stride,
                    nRowBytes);
    gpf::GdipBitmapUnlockBits(pBitmap, &data);
    return true;
}

// Draws the decoded picture over the whole of a zero-filled 32-bit image, as
// premultiplied pixels, with the decoder's best filter. Beyond its edges the
// filter sees the picture mirrored rather than transparency, so a scaled
// picture keeps the colour and opacity of its border.
bool DrawDecodedScaled(gp::GpBitmap* pBitmap, UINT nWidth, UINT nHeight, CImage& image) {
    CGpBitmap target;
    if (gpf::GdipCreateBitmapFromScan0(image.GetWidth(), image.GetHeight(), (INT)image.GetPitch(),
                                       PixelFormat32bppPARGB, static_cast<BYTE*>(image.GetBits()),
                                       target.Put()) != gp::Ok)
        return false;
    CGpAttributes attributes;
    if (gpf::GdipCreateImageAttributes(attributes.Put()) != gp::Ok) return false;
    gpf::GdipSetImageAttributesWrapMode(attributes.Get(), gp::WrapModeTileFlipXY, 0, FALSE);
    CGpGraphics graphics;  // deleted before the target: that writes the last pixels out
    if (gpf::GdipGetImageGraphicsContext(target.Get(), graphics.Put()) != gp::Ok) return false;
    gpf::GdipSetCompositingMode(graphics.Get(), gp::CompositingModeSourceCopy);
    gpf::GdipSetInterpolationMode(graphics.Get(), gp::InterpolationModeHighQualityBicubic);
    gpf::GdipSetPixelOffsetMode(graphics.Get(), gp::PixelOffsetModeHighQuality);
    return gpf::GdipDrawImageRectRectI(graphics.Get(), pBitmap, 0, 0, image.GetWidth(), image.GetHeight(), 0, 0,
                                       (INT)nWidth, (INT)nHeight, gp::UnitPixel, attributes.Get(), nullptr,
                                       nullptr) == gp::Ok;
}

bool CopyPalette(gp::GpBitmap* pBitmap, const CImage& image) {
    INT nSize = 0;
    if (gpf::GdipGetImagePaletteSize(pBitmap, &nSize) != gp::Ok || nSize < (INT)sizeof(gp::ColorPalette)) return false;
    std::vector<BYTE> buf(nSize);
    gp::ColorPalette* pPalette = reinterpret_cast<gp::ColorPalette*>(buf.data());
    if (gpf::GdipGetImagePalette(pBitmap, pPalette, nSize) != gp::Ok) return false;
    UINT nCount = pPalette->Count;
    const UINT nFit = (nSize - (UINT)offsetof(gp::ColorPalette, Entries)) / sizeof(gp::ARGB);
    if (nCount > nFit) nCount = nFit;
    if (nCount > 256) nCount = 256;
    RGBQUAD colours[256] = {};
    for (UINT i = 0; i < nCount; ++i) {
        gp::ARGB c = pPalette->Entries[i];
        colours[i].rgbBlue = (BYTE)(c & 0xFF);
        colours[i].rgbGreen = (BYTE)((c >> 8) & 0xFF);
        colours[i].rgbRed = (BYTE)((c >> 16) & 0xFF);
    }
    const CImageDC dc(image);
    const UINT nSet = dc.Get() ? ::SetDIBColorTable(dc.Get(), 0, nCount, colours) : 0;
    return nSet == nCount;
}
}  // namespace

// ---- CImage ---------------------------------------------------------------

CImage::CImage() { Decoder().AddUser(); }

CImage::~CImage() {
    Destroy();
    Decoder().RemoveUser();
}

BOOL CImage::Create(int nWidth, int nHeight, int nBPP, bool bAlpha) {
    Destroy();
    if (nWidth <= 0 || nHeight <= 0 || nWidth > kMaxImageSide || nHeight > kMaxImageSide) return FALSE;
    if (nBPP != 1 && nBPP != 4 && nBPP != 8 && nBPP != 24 && nBPP != 32) return FALSE;
    // Header plus room for a full colour table, all zero.
    struct {
        BITMAPINFOHEADER hdr;
        RGBQUAD colours[256];
    } bmi = {};
    bmi.hdr.biSize = sizeof(bmi.hdr);
    bmi.hdr.biWidth = nWidth;
    bmi.hdr.biHeight = -nHeight;  // top-down rows
    bmi.hdr.biPlanes = 1;
    bmi.hdr.biBitCount = (WORD)nBPP;
    bmi.hdr.biCompression = BI_RGB;
    void* pBits = nullptr;
    m_bitmap.Reset(
        ::CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&bmi), DIB_RGB_COLORS, &pBits, nullptr, 0));
    if (!m_bitmap) return FALSE;
    m_pBits = pBits;
    m_nWidth = nWidth;
    m_nHeight = nHeight;
    m_nBPP = nBPP;
    // Per-pixel alpha exists only in 32-bit pixels.
    m_bAlpha = bAlpha && nBPP == 32;
    std::memset(m_pBits, 0, GetPitch() * static_cast<size_t>(nHeight));
    return TRUE;
}

void CImage::Destroy() {
    while (m_nDCRefs) ReleaseDC();
    m_bitmap.Reset();
    m_pBits = nullptr;
    m_nWidth = m_nHeight = m_nBPP = 0;
    m_bAlpha = false;
}

HDC CImage::GetDC() const {
    if (!m_bitmap) return nullptr;
    if (m_nDCRefs == 0) {
        m_dc = TakeMemoryDC();
        if (!m_dc) return nullptr;
        m_selection.emplace(m_dc.Get(), m_bitmap.Get());
    }
    ++m_nDCRefs;
    return m_dc.Get();
}

void CImage::ReleaseDC() const {
    if (m_nDCRefs == 0) return;
    if (--m_nDCRefs == 0) {
        m_selection.reset();  // the DC goes back to the pool as it came
        GiveBackMemoryDC(std::move(m_dc));
    }
}

BOOL CImage::Draw(HDC hDest, int xDest, int yDest, int wDest, int hDest2, int xSrc, int ySrc, int wSrc,
                  int hSrc) const {
    if (!m_bitmap || !hDest) return FALSE;
    const CImageDC src(*this);
    if (!src.Get()) return FALSE;
    if (m_bAlpha) {
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        return ::AlphaBlend(hDest, xDest, yDest, wDest, hDest2, src.Get(), xSrc, ySrc, wSrc, hSrc, blend);
    }
    return ::StretchBlt(hDest, xDest, yDest, wDest, hDest2, src.Get(), xSrc, ySrc, wSrc, hSrc, SRCCOPY);
}

BOOL CImage::Draw(HDC hDest, int x, int y) const {
    return Draw(hDest, x, y, m_nWidth, m_nHeight, 0, 0, m_nWidth, m_nHeight);
}

int CImage::Load(const wchar_t* pszPath) {
    if (!pszPath || !StartDecoder()) return -1;
    CGpBitmap bitmap;
    gp::GpStatus status = gpf::GdipCreateBitmapFromFile(pszPath, bitmap.Put());
    if (status != gp::Ok || !bitmap) return status != gp::Ok ? (int)status : -1;
    UINT nWidth = 0, nHeight = 0;
    gp::PixelFormat decoded = PixelFormatUndefined;
    gpf::GdipGetImageWidth(bitmap.Get(), &nWidth);
    gpf::GdipGetImageHeight(bitmap.Get(), &nHeight);
    gpf::GdipGetImagePixelFormat(bitmap.Get(), &decoded);

    // Alpha pictures are stored premultiplied, which is what Draw's blend
    // expects; semi-transparent pixels then look as they do in the file.
    gp::PixelFormat chosen = PixelFormat32bppRGB;
    bool bAlpha = false;
    if (gp::IsAlphaPixelFormat(decoded)) {
        chosen = PixelFormat32bppPARGB;
        bAlpha = true;
    } else if (decoded == PixelFormat1bppIndexed || decoded == PixelFormat4bppIndexed ||
               decoded == PixelFormat8bppIndexed || decoded == PixelFormat24bppRGB || decoded == PixelFormat32bppRGB) {
        chosen = decoded;  // GDI draws these as they are
    }

    int nResult = -1;
    if (nWidth <= (UINT)kMaxImageSide && nHeight <= (UINT)kMaxImageSide &&
        Create((int)nWidth, (int)nHeight, (int)gp::GetPixelFormatSize(chosen), bAlpha)) {
        bool bOk = true;
        if (gp::IsIndexedPixelFormat(chosen)) bOk = CopyPalette(bitmap.Get(), *this);
        if (bOk) bOk = CopyDecodedPixels(bitmap.Get(), chosen, *this);
        if (bOk)
            nResult = 0;
        else
            Destroy();
    }
    return nResult;
}

// ---- Skin operations --------------------------------------------------------

std::wstring SkinFilePath(const wchar_t* pszRelative) { return GetModuleDir() + pszRelative; }

int LoadSkinImage(const wchar_t* pszPath, CImage& image, int nPercent, int nDpi) {
    // Starting the decoder here as well keeps the canvas loader usable on its
    // own; the window's background load has normally started it already.
    CGpBitmap bitmap;
    if (pszPath && StartDecoder() && gpf::GdipCreateBitmapFromFile(pszPath, bitmap.Put()) != gp::Ok) bitmap.Reset();
    image.Destroy();
    UINT nWidth = 0, nHeight = 0;
    if (bitmap) {
        if (gpf::GdipGetImageWidth(bitmap.Get(), &nWidth) != gp::Ok) nWidth = 0;
        if (gpf::GdipGetImageHeight(bitmap.Get(), &nHeight) != gp::Ok) nHeight = 0;
    }
    if (nWidth > (UINT)CImage::kMaxImageSide || nHeight > (UINT)CImage::kMaxImageSide) return -1;
    const int nDrawnWidth = SkinDrawnSize((int)nWidth, nPercent, nDpi);
    const int nDrawnHeight = SkinDrawnSize((int)nHeight, nPercent, nDpi);
    if (!image.Create(nDrawnWidth, nDrawnHeight, 32, true)) return -1;
    // At its own size the decoder's premultiplied conversion is exactly the
    // picture laid over transparent black, without any resampling.
    const bool bNatural = nDrawnWidth == (int)nWidth && nDrawnHeight == (int)nHeight;
    if (bNatural ? CopyDecodedPixels(bitmap.Get(), PixelFormat32bppPARGB, image)
                 : DrawDecodedScaled(bitmap.Get(), nWidth, nHeight, image))
        return 0;
    image.Destroy();
    return -1;
}

int CopySkinImage(CImage& dest, const CImage& src) {
    if (src.IsNull()) return -1;
    if (&dest == &src) return 0;
    const bool b32 = src.GetBPP() == 32;
    if (!dest.Create(src.GetWidth(), src.GetHeight(), b32 ? 32 : 24, b32)) return -1;
    // Source-over onto transparent black reproduces premultiplied pixels
    // exactly; an opaque source is copied pixel for pixel.
    const CImageDC dc(dest);
    src.Draw(dc.Get(), 0, 0);
    return 0;
}
