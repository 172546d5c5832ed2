// Skin images, the image button and the skinned progress bar, on real GDI
// and real windows. The PNG files are written by the test itself.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ui/Image.h"
#include "ui/OwnProgressCtrl.h"
#include "ui/PictureButton.h"

namespace {

// ---- PNG files ---------------------------------------------------------------

uint32_t Crc32(const uint8_t* p, size_t n, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBE32(std::vector<uint8_t>& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back((uint8_t)(v >> s));
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    PutBE32(out, (uint32_t)data.size());
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBE32(out, Crc32(out.data() + start, out.size() - start));
}

// An 8-bit PNG of the given colour type (2 RGB, 3 palette, 6 RGBA); pixels
// row by row without filter bytes; the image data in stored deflate blocks.
std::vector<uint8_t> MakePng(int w, int h, uint8_t colourType, const std::vector<uint8_t>& pixels,
                             const std::vector<uint8_t>& palette = {}) {
    const int channels = colourType == 6 ? 4 : colourType == 2 ? 3 : 1;
    std::vector<uint8_t> raw;
    for (int y = 0; y < h; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), pixels.begin() + (size_t)y * w * channels, pixels.begin() + (size_t)(y + 1) * w * channels);
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    for (size_t pos = 0; pos < raw.size() || pos == 0;) {
        size_t n = std::min<size_t>(raw.size() - pos, 65535);
        z.push_back(pos + n == raw.size() ? 1 : 0);
        z.push_back((uint8_t)n);
        z.push_back((uint8_t)(n >> 8));
        z.push_back((uint8_t)~n);
        z.push_back((uint8_t)(~n >> 8));
        z.insert(z.end(), raw.begin() + pos, raw.begin() + pos + n);
        pos += n;
        if (n == 0) break;
    }
    uint32_t a = 1, b = 0;
    for (uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBE32(z, (b << 16) | a);

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    PutBE32(ihdr, (uint32_t)w);
    PutBE32(ihdr, (uint32_t)h);
    ihdr.insert(ihdr.end(), {8, colourType, 0, 0, 0});
    PutChunk(png, "IHDR", ihdr);
    if (!palette.empty()) PutChunk(png, "PLTE", palette);
    PutChunk(png, "IDAT", z);
    PutChunk(png, "IEND", {});
    return png;
}

void WriteFileW(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "cannot create a test file";
    DWORD n = 0;
    ::WriteFile(h, bytes.data(), (DWORD)bytes.size(), &n, nullptr);
    ::CloseHandle(h);
    ASSERT_EQ(n, bytes.size());
}

// 3 x 2 opaque RGB.
const uint8_t kOpaqueRgb[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 1, 2, 3, 250, 251, 252, 128, 64, 32};
// 2 x 2 RGBA; alphas chosen so that premultiplying has one exact answer.
const uint8_t kPartialRgba[] = {255, 100, 0, 51, 255, 0, 255, 128, 10, 20, 30, 0, 1, 2, 3, 255};
// Premultiplied blue, green, red, alpha of the pixels above.
const uint8_t kPartialPremultiplied[] = {0, 20, 51, 51, 128, 0, 128, 128, 0, 0, 0, 0, 3, 2, 1, 255};

class SkinFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        wchar_t szTemp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, szTemp);
        s_dir = std::wstring(szTemp) + L"lumora-skin-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
        ::CreateDirectoryW(s_dir.c_str(), nullptr);
        // A folder and files with Chinese names, as the skin has them.
        ::CreateDirectoryW((s_dir + L"皮肤").c_str(), nullptr);
        WriteFileW(Path(L"opaque.png"), MakePng(3, 2, 2, std::vector<uint8_t>(std::begin(kOpaqueRgb), std::end(kOpaqueRgb))));
        WriteFileW(Path(L"partial.png"),
                   MakePng(2, 2, 6, std::vector<uint8_t>(std::begin(kPartialRgba), std::end(kPartialRgba))));
        // 2 x 1 palette picture: index 1, index 0.
        WriteFileW(Path(L"palette.png"), MakePng(2, 1, 3, {1, 0}, {10, 20, 30, 200, 150, 100}));
        WriteFileW(Path(L"皮肤\\升级背景.png"),
                   MakePng(3, 2, 2, std::vector<uint8_t>(std::begin(kOpaqueRgb), std::end(kOpaqueRgb))));
        WriteFileW(Path(L"皮肤\\关闭_hover.png"),
                   MakePng(2, 2, 6, std::vector<uint8_t>(std::begin(kPartialRgba), std::end(kPartialRgba))));
    }
    static void TearDownTestSuite() {
        for (const wchar_t* name : {L"opaque.png", L"partial.png", L"palette.png", L"皮肤\\升级背景.png",
                                    L"皮肤\\关闭_hover.png"})
            ::DeleteFileW(Path(name).c_str());
        ::RemoveDirectoryW((s_dir + L"皮肤").c_str());
        ::RemoveDirectoryW(s_dir.c_str());
    }
    static std::wstring Path(const wchar_t* name) { return s_dir + name; }
    static std::wstring s_dir;
};
std::wstring SkinFiles::s_dir;

const uint8_t* Pixel(const CImage& img, int x, int y) {
    return static_cast<const uint8_t*>(img.GetBits()) + (size_t)y * img.GetPitch() + (size_t)x * (img.GetBPP() / 8);
}

std::vector<uint8_t> Bgra(const CImage& img) {
    std::vector<uint8_t> out;
    for (int y = 0; y < img.GetHeight(); ++y)
        for (int x = 0; x < img.GetWidth(); ++x) out.insert(out.end(), Pixel(img, x, y), Pixel(img, x, y) + 4);
    return out;
}

// ---- Loaders ------------------------------------------------------------------

TEST_F(SkinFiles, CanvasLoaderGivesPremultiplied32BitImages) {
    CImage opaque;
    ASSERT_EQ(LoadSkinImage(Path(L"opaque.png").c_str(), opaque), 0);
    EXPECT_EQ(opaque.GetWidth(), 3);
    EXPECT_EQ(opaque.GetHeight(), 2);
    EXPECT_EQ(opaque.GetBPP(), 32);
    EXPECT_TRUE(opaque.HasAlpha());
    for (int i = 0; i < 6; ++i) {
        const uint8_t* p = Pixel(opaque, i % 3, i / 3);
        EXPECT_EQ(p[0], kOpaqueRgb[3 * i + 2]) << i;
        EXPECT_EQ(p[1], kOpaqueRgb[3 * i + 1]) << i;
        EXPECT_EQ(p[2], kOpaqueRgb[3 * i]) << i;
        EXPECT_EQ(p[3], 255) << i;
    }

    CImage partial;
    ASSERT_EQ(LoadSkinImage(Path(L"partial.png").c_str(), partial), 0);
    ASSERT_EQ(partial.GetBPP(), 32);
    EXPECT_TRUE(partial.HasAlpha());
    EXPECT_EQ(Bgra(partial), std::vector<uint8_t>(std::begin(kPartialPremultiplied), std::end(kPartialPremultiplied)));

    // A failed load still releases the earlier picture.
    EXPECT_EQ(LoadSkinImage(Path(L"missing.png").c_str(), partial), -1);
    EXPECT_TRUE(partial.IsNull());
    EXPECT_EQ(partial.GetWidth(), 0);
}

TEST_F(SkinFiles, GeneralLoaderKeepsOpaqueDepthsAndPremultipliesAlpha) {
    CImage opaque;
    ASSERT_EQ(opaque.Load(Path(L"opaque.png").c_str()), 0);
    EXPECT_EQ(opaque.GetBPP(), 24);
    EXPECT_FALSE(opaque.HasAlpha());
    EXPECT_EQ(Pixel(opaque, 2, 1)[0], 32);
    EXPECT_EQ(Pixel(opaque, 2, 1)[1], 64);
    EXPECT_EQ(Pixel(opaque, 2, 1)[2], 128);

    CImage partial;
    ASSERT_EQ(partial.Load(Path(L"partial.png").c_str()), 0);
    EXPECT_EQ(partial.GetBPP(), 32);
    EXPECT_TRUE(partial.HasAlpha());
    EXPECT_EQ(Bgra(partial), std::vector<uint8_t>(std::begin(kPartialPremultiplied), std::end(kPartialPremultiplied)));

    // A palette picture draws in its palette's colours.
    CImage palette, target;
    ASSERT_EQ(palette.Load(Path(L"palette.png").c_str()), 0);
    ASSERT_TRUE(target.Create(2, 1, 24, false));
    EXPECT_TRUE(palette.Draw(target.GetDC(), 0, 0));
    target.ReleaseDC();
    EXPECT_EQ(Pixel(target, 0, 0)[0], 100);
    EXPECT_EQ(Pixel(target, 0, 0)[2], 200);
    EXPECT_EQ(Pixel(target, 1, 0)[0], 30);
    EXPECT_EQ(Pixel(target, 1, 0)[2], 10);

    CImage missing;
    EXPECT_NE(missing.Load(Path(L"missing.png").c_str()), 0);
    EXPECT_TRUE(missing.IsNull());
}

TEST_F(SkinFiles, ChineseFileNamesLoadUnderCodePage936) {
    ASSERT_EQ(::GetACP(), 936u) << "the tests need the zh_CN locale (code page 936)";
    CImage background, face;
    EXPECT_EQ(background.Load(Path(L"皮肤\\升级背景.png").c_str()), 0);
    EXPECT_EQ(background.GetWidth(), 3);
    EXPECT_EQ(LoadSkinImage(Path(L"皮肤\\关闭_hover.png").c_str(), face), 0);
    EXPECT_EQ(face.GetWidth(), 2);
}

TEST_F(SkinFiles, DecoderStopsWithTheLastImageAndStartsAgain) {
    ASSERT_EQ(ImageUserCount(), 0);
    {
        CImage a;
        EXPECT_EQ(ImageUserCount(), 1);
        ASSERT_EQ(a.Load(Path(L"opaque.png").c_str()), 0);
        EXPECT_TRUE(ImageDecoderRunning());
        {
            CImage b;
            EXPECT_EQ(ImageUserCount(), 2);
        }
        EXPECT_TRUE(ImageDecoderRunning()) << "only the last image stops the decoder";
    }
    EXPECT_EQ(ImageUserCount(), 0);
    EXPECT_FALSE(ImageDecoderRunning());
    {
        CImage c;
        EXPECT_EQ(c.Load(Path(L"partial.png").c_str()), 0);
        EXPECT_TRUE(ImageDecoderRunning());
    }
    EXPECT_FALSE(ImageDecoderRunning());
    {
        // The canvas loader starts the decoder on its own as well.
        CImage d;
        EXPECT_EQ(LoadSkinImage(Path(L"partial.png").c_str(), d), 0);
        EXPECT_TRUE(ImageDecoderRunning());
    }
    EXPECT_FALSE(ImageDecoderRunning());
}

// ---- Drawing and copying ------------------------------------------------------

TEST_F(SkinFiles, DrawingBlendsAndCopyReproduces) {
    CImage partial;
    ASSERT_EQ(LoadSkinImage(Path(L"partial.png").c_str(), partial), 0);

    // Over white, the half-transparent magenta pixel (1, 0) composes; a
    // second draw composes over the first and is more opaque.
    CImage white;
    ASSERT_TRUE(white.Create(2, 2, 24, false));
    std::memset(white.GetBits(), 255, (size_t)white.GetPitch() * 2);
    HDC hDC = white.GetDC();
    ASSERT_TRUE(partial.Draw(hDC, 0, 0));
    const int once = Pixel(white, 1, 0)[1];
    EXPECT_NEAR(once, 127, 1);
    EXPECT_EQ(Pixel(white, 0, 1)[1], 255) << "a transparent pixel leaves the destination";
    EXPECT_EQ(Pixel(white, 1, 1)[2], 1) << "an opaque pixel replaces it";
    ASSERT_TRUE(partial.Draw(hDC, 0, 0));
    white.ReleaseDC();
    EXPECT_NEAR(Pixel(white, 1, 0)[1], 63, 1);
    EXPECT_LT(Pixel(white, 1, 0)[1], once);
    EXPECT_EQ(Pixel(white, 1, 0)[0], 255);

    CImage copy;
    ASSERT_EQ(CopySkinImage(copy, partial), 0);
    EXPECT_EQ(copy.GetBPP(), 32);
    EXPECT_TRUE(copy.HasAlpha());
    EXPECT_EQ(Bgra(copy), Bgra(partial));
    EXPECT_NE(copy.GetBits(), partial.GetBits());

    // 24-bit sources copy to 24 bits without alpha, pixel for pixel.
    CImage copy24;
    ASSERT_EQ(CopySkinImage(copy24, white), 0);
    EXPECT_EQ(copy24.GetBPP(), 24);
    EXPECT_FALSE(copy24.HasAlpha());
    for (int y = 0; y < 2; ++y) EXPECT_EQ(std::memcmp(Pixel(copy24, 0, y), Pixel(white, 0, y), 6), 0) << y;

    // From an empty image: -1, the destination keeps its picture.
    CImage empty;
    void* pBits = copy.GetBits();
    EXPECT_EQ(CopySkinImage(copy, empty), -1);
    EXPECT_EQ(copy.GetBits(), pBits);
    EXPECT_EQ(Bgra(copy), Bgra(partial));
    EXPECT_FALSE(empty.Draw(hDC, 0, 0));
}

TEST(SkinImage, DrawingContextsNestAndAreNeverShared) {
    // More images holding a DC at once than the pool has slots.
    CImage images[6];
    HDC dcs[6];
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(images[i].Create(1, 1, 24, false));
        dcs[i] = images[i].GetDC();
        ASSERT_NE(dcs[i], nullptr);
        for (int j = 0; j < i; ++j) EXPECT_NE(dcs[i], dcs[j]);
    }
    EXPECT_EQ(images[0].GetDC(), dcs[0]) << "nested calls return the same DC";
    images[0].ReleaseDC();
    for (int i = 0; i < 6; ++i) {
        ::SetPixel(dcs[i], 0, 0, RGB(i, 2 * i, 3 * i));
        images[i].ReleaseDC();
    }
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(Pixel(images[i], 0, 0)[2], i);
        EXPECT_EQ(Pixel(images[i], 0, 0)[0], 3 * i);
    }
    // DCs reused from the pool show the image that asked for them.
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 6; ++i) {
            HDC hDC = images[i].GetDC();
            ASSERT_NE(hDC, nullptr);
            EXPECT_EQ(::GetPixel(hDC, 0, 0), RGB(i, 2 * i, 3 * i));
            images[i].ReleaseDC();
        }
}

// ---- Windows -------------------------------------------------------------------

// The parent's background: four colours meeting at (33, 25), behind the
// transparent part of the test face, so a wrong cut-out position shows.
COLORREF ParentBackground(int x, int y) { return RGB(x < 33 ? 200 : 0, y < 25 ? 50 : 150, 77); }

struct ParentLog {
    int nHover = 0, nLeave = 0, nClicked = 0;
    WPARAM wHover = 0, wLeave = 0;
    LPARAM lHover = 0, lLeave = 0;
};
ParentLog g_log;

LRESULT CALLBACK ParentProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_ERASEBKGND: {
        HDC hDC = (HDC)wParam;
        const RECT parts[] = {{0, 0, 33, 25}, {33, 0, 2000, 25}, {0, 25, 33, 2000}, {33, 25, 2000, 2000}};
        for (const RECT& r : parts) {
            HBRUSH hBrush = ::CreateSolidBrush(ParentBackground(r.left, r.top));
            ::FillRect(hDC, &r, hBrush);
            ::DeleteObject(hBrush);
        }
        return 1;
    }
    case WM_MOUSEHOVER:
        ++g_log.nHover;
        g_log.wHover = wParam;
        g_log.lHover = lParam;
        return 0;
    case WM_MOUSELEAVE:
        ++g_log.nLeave;
        g_log.wLeave = wParam;
        g_log.lLeave = lParam;
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) ++g_log.nClicked;
        return 0;
    default:
        return ::DefWindowProcW(hWnd, msg, wParam, lParam);
    }
}

class SkinWindows : public ::testing::Test {
protected:
    void SetUp() override {
        g_log = ParentLog();
        WNDCLASSW wc = {};
        wc.lpfnWndProc = ParentProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"LumoraSkinTestParent";
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        ::RegisterClassW(&wc);
        m_hParent = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 500, 200,
                                      nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(m_hParent, nullptr);
    }
    void TearDown() override {
        if (m_hParent) ::DestroyWindow(m_hParent);
    }

    HWND Child(const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, int id) {
        return ::CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, m_hParent,
                                 (HMENU)(INT_PTR)id, ::GetModuleHandleW(nullptr), nullptr);
    }
    void Repaint() {
        ::RedrawWindow(m_hParent, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
    // What a window shows now, read back from its client area.
    static std::vector<COLORREF> Read(HWND hWnd, int* pWidth = nullptr) {
        RECT rc;
        ::GetClientRect(hWnd, &rc);
        CImage img;
        if (!img.Create(rc.right, rc.bottom, 24, false)) return {};
        HDC hDC = ::GetDC(hWnd);
        ::BitBlt(img.GetDC(), 0, 0, rc.right, rc.bottom, hDC, 0, 0, SRCCOPY);
        img.ReleaseDC();
        ::ReleaseDC(hWnd, hDC);
        std::vector<COLORREF> out;
        for (int y = 0; y < rc.bottom; ++y)
            for (int x = 0; x < rc.right; ++x) {
                const uint8_t* p = Pixel(img, x, y);
                out.push_back(RGB(p[2], p[1], p[0]));
            }
        if (pWidth) *pWidth = rc.right;
        return out;
    }
    static void FillSolid(CImage& img, int w, int h, COLORREF c) {
        ASSERT_TRUE(img.Create(w, h, 32, true));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t* p = const_cast<uint8_t*>(Pixel(img, x, y));
                p[0] = GetBValue(c), p[1] = GetGValue(c), p[2] = GetRValue(c), p[3] = 255;
            }
    }

    HWND m_hParent = nullptr;
};

::testing::AssertionResult Near(COLORREF actual, COLORREF expected, int tolerance = 0) {
    auto d = [](int a, int b) { return a > b ? a - b : b - a; };
    if (d(GetRValue(actual), GetRValue(expected)) <= tolerance && d(GetGValue(actual), GetGValue(expected)) <= tolerance &&
        d(GetBValue(actual), GetBValue(expected)) <= tolerance)
        return ::testing::AssertionSuccess();
    char buf[96];
    std::snprintf(buf, sizeof buf, "got %06lX, expected %06lX", (unsigned long)actual, (unsigned long)expected);
    return ::testing::AssertionFailure() << buf;
}

TEST_F(SkinWindows, ButtonFaceIsComposedOverTheParentsBackground) {
    // Face 20 x 10: columns 0-4 transparent, 5-14 opaque red, 15-19 half
    // transparent white (premultiplied 128).
    CImage face;
    ASSERT_TRUE(face.Create(20, 10, 32, true));
    for (int y = 0; y < 10; ++y)
        for (int x = 5; x < 20; ++x) {
            uint8_t* p = const_cast<uint8_t*>(Pixel(face, x, y));
            if (x < 15)
                p[2] = p[3] = 255;
            else
                p[0] = p[1] = p[2] = p[3] = 128;
        }
    HWND hButton = Child(L"BUTTON", L"OK", BS_PUSHBUTTON, 30, 20, 20, 10, 1000);
    CPictureButton button;
    ASSERT_TRUE(button.SubclassWindow(hButton));
    EXPECT_EQ(button.SetFace(0, 0, CImage()), -1);
    ASSERT_EQ(button.SetAllFaces(face), 0);
    face.Destroy();  // the button holds its own copies
    Repaint();

    int w = 0;
    std::vector<COLORREF> shown = Read(hButton, &w);
    ASSERT_EQ(shown.size(), 200u);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            COLORREF bg = ParentBackground(30 + x, 20 + y);
            COLORREF expected = x < 5 ? bg
                              : x < 15 ? RGB(255, 0, 0)
                                       : RGB(128 + GetRValue(bg) * 127 / 255, 128 + GetGValue(bg) * 127 / 255,
                                             128 + GetBValue(bg) * 127 / 255);
            EXPECT_TRUE(Near(shown[y * w + x], expected, 1)) << "at " << x << "," << y;
        }

    // A hidden parent prints nothing: the captured background is black.
    ::ShowWindow(m_hParent, SW_HIDE);
    CImage captured;
    ASSERT_EQ(button.CaptureParentBackground(captured), 0);
    EXPECT_EQ(captured.GetBPP(), 24);
    EXPECT_EQ(captured.GetWidth(), 20);
    EXPECT_EQ(Pixel(captured, 0, 0)[0] | Pixel(captured, 19, 9)[2], 0);
    CPictureButton unbound;
    EXPECT_EQ(unbound.CaptureParentBackground(captured), -1);
}

TEST_F(SkinWindows, ButtonFaceFollowsHoverAndToggle) {
    const COLORREF colours[4] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 0)};
    HWND hButton = Child(L"BUTTON", L"OK", BS_PUSHBUTTON, 30, 20, 20, 10, 1000);
    CPictureButton button;
    ASSERT_TRUE(button.SubclassWindow(hButton));
    for (int slot = 0; slot < 4; ++slot) {
        CImage img;
        FillSolid(img, 20, 10, colours[slot]);
        ASSERT_EQ(button.SetFace(slot / 2, slot % 2, img), 0);
    }
    Repaint();
    // Messages are sent, never pumped: the real pointer is elsewhere, and
    // its leave notification must not interfere.
    // The whole button, so that nothing of the standard look (focus
    // rectangle, pressed frame) is left over the face.
    auto shows = [&](COLORREF c) {
        for (COLORREF shown : Read(hButton))
            if (!Near(shown, c)) return Near(shown, c);
        return ::testing::AssertionSuccess();
    };
    const LPARAM inside = MAKELPARAM(5, 5);
    EXPECT_TRUE(shows(colours[0]));

    ::SendMessageW(hButton, WM_MOUSEMOVE, 0, inside);
    ::UpdateWindow(hButton);
    EXPECT_TRUE(shows(colours[2])) << "hover";

    ::SendMessageW(hButton, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    ::SendMessageW(hButton, WM_LBUTTONUP, 0, inside);
    ::UpdateWindow(hButton);
    EXPECT_TRUE(shows(colours[3])) << "hover and toggled";
    EXPECT_EQ(g_log.nClicked, 1);

    ::SendMessageW(hButton, WM_MOUSEHOVER, 0, inside);
    EXPECT_EQ(g_log.nHover, 1);
    EXPECT_EQ(g_log.wHover, 0u);
    EXPECT_EQ(g_log.lHover, inside);

    // Leaving repaints at once and tells the parent the toggle.
    EXPECT_EQ(::SendMessageW(hButton, WM_MOUSELEAVE, 0, 0), 1);
    EXPECT_TRUE(shows(colours[1])) << "toggled, without hover";
    EXPECT_EQ(g_log.nLeave, 1);
    EXPECT_EQ(g_log.wLeave, 1u);
    EXPECT_EQ(g_log.lLeave, (LPARAM)hButton);

    // A press, a leave, a release inside: no flip.
    ::SendMessageW(hButton, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    ::SendMessageW(hButton, WM_MOUSELEAVE, 0, 0);
    ::SendMessageW(hButton, WM_LBUTTONUP, 0, inside);
    ::UpdateWindow(hButton);
    EXPECT_TRUE(shows(colours[1]));
    // A press inside and a release outside: no flip.
    ::SendMessageW(hButton, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    ::SendMessageW(hButton, WM_LBUTTONUP, 0, MAKELPARAM(25, 5));
    ::UpdateWindow(hButton);
    EXPECT_TRUE(shows(colours[1]));
    // A release without a press here: no flip.
    ::SendMessageW(hButton, WM_LBUTTONUP, 0, inside);
    ::UpdateWindow(hButton);
    EXPECT_TRUE(shows(colours[1]));
    // Press and release inside: back to the first face.
    ::SendMessageW(hButton, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    ::SendMessageW(hButton, WM_LBUTTONUP, 0, inside);
    ::SendMessageW(hButton, WM_MOUSELEAVE, 0, 0);
    EXPECT_TRUE(shows(colours[0]));
    EXPECT_EQ(g_log.wLeave, 0u);

    // Asked to print, the button draws its current face stretched over its
    // client area.
    CImage printed;
    ASSERT_TRUE(printed.Create(30, 15, 24, false));
    EXPECT_EQ(::SendMessageW(hButton, WM_PRINT, (WPARAM)printed.GetDC(), PRF_CLIENT), 0);
    printed.ReleaseDC();
    EXPECT_EQ(Pixel(printed, 19, 9)[2], 255);
    EXPECT_EQ(Pixel(printed, 20, 10)[2], 0);
}

TEST_F(SkinWindows, ControlWithoutFacesPaintsAsTheStandardControl) {
    HWND hPlain = Child(L"STATIC", L"正在下载 (42%)", SS_LEFT, 50, 70, 150, 20, 1007);
    HWND hOurs = Child(L"STATIC", L"正在下载 (42%)", SS_LEFT, 250, 70, 150, 20, 1008);
    ::SendMessageW(hPlain, WM_SETFONT, (WPARAM)::GetStockObject(DEFAULT_GUI_FONT), FALSE);
    ::SendMessageW(hOurs, WM_SETFONT, (WPARAM)::GetStockObject(DEFAULT_GUI_FONT), FALSE);
    CPictureButton status;
    ASSERT_TRUE(status.SubclassWindow(hOurs));
    Repaint();
    std::vector<COLORREF> plain = Read(hPlain), ours = Read(hOurs);
    ASSERT_FALSE(plain.empty());
    EXPECT_TRUE(plain == ours);
    bool bVaried = false;
    for (COLORREF c : plain) bVaried = bVaried || c != plain[0];
    EXPECT_TRUE(bVaried) << "the text was drawn";
}

TEST_F(SkinWindows, ProgressBarFillsFourPixelsPerPercent) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&icc);
    HWND hBar = Child(PROGRESS_CLASSW, nullptr, PBS_SMOOTH, 0, 0, 0, 0, 1);
    ASSERT_NE(hBar, nullptr);
    COwnProgressCtrl bar;
    ASSERT_TRUE(bar.SubclassWindow(hBar));
    const COLORREF kBack = RGB(0, 200, 0), kFront = RGB(220, 0, 0), kFill = RGB(25, 25, 25);
    FillSolid(bar.m_imgBack, 10, 6, kBack);
    FillSolid(bar.m_imgFront, 5, 6, kFront);
    bar.m_nBarWidth = 400;
    bar.m_nLower = 0;
    bar.m_nUpper = 100;
    bar.m_nSpan = 100;
    bar.SetPos(0);
    ::MoveWindow(hBar, 50, 100, 420, 30, TRUE);  // wider than the bar
    EXPECT_EQ(bar.m_nBackTop, 12);
    EXPECT_EQ(bar.m_nFrontTop, 12);

    int w = 0;
    bar.SetPos(37);
    EXPECT_EQ(bar.m_nFilled, 148);
    EXPECT_EQ(::SendMessageW(hBar, PBM_GETPOS, 0, 0), 37);
    std::vector<COLORREF> shown = Read(hBar, &w);
    ASSERT_EQ(w, 420);
    EXPECT_TRUE(Near(shown[15 * w + 0], kFront));
    EXPECT_TRUE(Near(shown[15 * w + 147], kFront));
    EXPECT_TRUE(Near(shown[15 * w + 148], kBack));
    EXPECT_TRUE(Near(shown[12 * w + 399], kBack));
    EXPECT_TRUE(Near(shown[15 * w + 400], kFill)) << "right of the background";
    EXPECT_TRUE(Near(shown[11 * w + 10], kFill)) << "above the pictures";
    EXPECT_TRUE(Near(shown[18 * w + 10], kFill)) << "below the pictures";

    bar.SetPos(150);
    EXPECT_EQ(bar.m_nFilled, 400);
    shown = Read(hBar);
    EXPECT_TRUE(Near(shown[15 * w + 399], kFront));
    bar.SetPos(-3);
    EXPECT_EQ(bar.m_nFilled, 0);
    shown = Read(hBar);
    EXPECT_TRUE(Near(shown[15 * w + 0], kBack));

    // A picture taller than the bar is centred with a negative offset.
    FillSolid(bar.m_imgBack, 10, 41, kBack);
    ::MoveWindow(hBar, 50, 100, 400, 30, TRUE);
    EXPECT_EQ(bar.m_nBackTop, -5);
    // Offsets stay as they were while either picture is missing.
    bar.m_imgFront.Destroy();
    ::MoveWindow(hBar, 50, 100, 400, 20, TRUE);
    EXPECT_EQ(bar.m_nBackTop, -5);
    EXPECT_EQ(bar.m_nFrontTop, 12);
}

}  // namespace
