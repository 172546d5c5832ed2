// Skin images, the image button and the skinned progress bar, on real GDI
// and real windows, with small PNG files from tests/win/fixtures.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ui/Colours.h"
#include "ui/Image.h"
#include "ui/OwnProgressCtrl.h"
#include "ui/PictureButton.h"

namespace {
using Bytes = std::vector<uint8_t>;

// ---- PNG files ---------------------------------------------------------------

// The pictures of tests/win/fixtures (LUMORA_TEST_FIXTURES), each copied
// under a Chinese name as the skin has them. The 72 dpi one would be scaled
// to the screen's 96 dpi if drawn at its "natural size" by the decoder: the
// loaders must keep its pixels. The divider is a palette picture.
// 升级背景.png: 3 x 2 opaque RGB.
const Bytes kOpaqueRgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 1, 2, 3, 250, 251, 252, 128, 64, 32};
// 关闭_hover.png: 2 x 2 RGBA 255,100,0,51 255,0,255,128 10,20,30,0 1,2,3,255,
// alphas that premultiply to one exact answer: blue, green, red, alpha.
const Bytes kPartialPremultiplied = {0, 20, 51, 51, 128, 0, 128, 128, 0, 0, 0, 0, 3, 2, 1, 255};

class SkinFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        wchar_t szTemp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, szTemp);
        s_dir = std::wstring(szTemp) + L"皮肤-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
        ::CreateDirectoryW(s_dir.c_str(), nullptr);
        for (const wchar_t* name : {L"升级背景.png", L"关闭_hover.png", L"分割线.png"}) Copy(name, name);
    }
    static void TearDownTestSuite() {
        for (const wchar_t* name : {L"升级背景.png", L"关闭_hover.png", L"分割线.png"})
            ::DeleteFileW(Path(name).c_str());
        ::RemoveDirectoryW(s_dir.c_str());
    }
    static void Copy(const wchar_t* fixture, const wchar_t* name) {
        ASSERT_TRUE(
            ::CopyFileW((std::wstring(L"Z:" LUMORA_TEST_FIXTURES L"/") + fixture).c_str(), Path(name).c_str(), FALSE))
            << "missing fixture";
    }
    static std::wstring Path(const wchar_t* name) { return s_dir + name; }
    static std::wstring s_dir;
};
std::wstring SkinFiles::s_dir;

uint8_t* Pixel(const CImage& img, int x, int y) {
    return static_cast<uint8_t*>(img.GetBits()) + (size_t)y * img.GetPitch() + (size_t)x * (img.GetBPP() / 8);
}

Bytes Bgra(const CImage& img) {
    Bytes out;
    for (int y = 0; y < img.GetHeight(); ++y) out.insert(out.end(), Pixel(img, 0, y), Pixel(img, img.GetWidth(), y));
    return out;
}

// ---- Loaders ------------------------------------------------------------------

TEST_F(SkinFiles, CanvasLoaderGivesPremultiplied32BitImages) {
    ASSERT_EQ(::GetACP(), 936u) << "the tests need the zh_CN locale (code page 936)";
    CImage opaque, partial;
    ASSERT_EQ(LoadSkinImage(Path(L"升级背景.png").c_str(), opaque), 0);
    EXPECT_EQ(opaque.GetWidth(), 3);
    EXPECT_EQ(opaque.GetHeight(), 2);
    EXPECT_EQ(opaque.GetBPP(), 32);
    EXPECT_TRUE(opaque.HasAlpha());
    Bytes expected;
    for (size_t i = 0; i < kOpaqueRgb.size(); i += 3)
        expected.insert(expected.end(), {kOpaqueRgb[i + 2], kOpaqueRgb[i + 1], kOpaqueRgb[i], 255});
    EXPECT_EQ(Bgra(opaque), expected);

    ASSERT_EQ(LoadSkinImage(Path(L"关闭_hover.png").c_str(), partial), 0);
    EXPECT_TRUE(partial.HasAlpha());
    EXPECT_EQ(Bgra(partial), kPartialPremultiplied);

    // A missing file still releases the earlier picture.
    EXPECT_EQ(LoadSkinImage(Path(L"missing.png").c_str(), partial), -1);
    EXPECT_TRUE(partial.IsNull());
    EXPECT_EQ(partial.GetWidth(), 0);
}

// A picture of a set drawn at another scale is resampled to its size there:
// still premultiplied, and opaque up to its edges (the filter must not reach
// past the picture into transparency).
TEST_F(SkinFiles, CanvasLoaderScalesAPictureToTheWindowsScale) {
    CImage opaque, partial;
    ASSERT_EQ(LoadSkinImage(Path(L"升级背景.png").c_str(), opaque, 100, 192), 0);
    ASSERT_EQ(opaque.GetWidth(), 6);
    ASSERT_EQ(opaque.GetHeight(), 4);
    EXPECT_TRUE(opaque.HasAlpha());
    const Bytes pixels = Bgra(opaque);
    for (size_t i = 3; i < pixels.size(); i += 4) EXPECT_EQ(pixels[i], 255) << "pixel " << i / 4;
    const uint8_t* pRed = Pixel(opaque, 0, 0);  // the red corner stays red
    EXPECT_TRUE(pRed[2] > 160 && pRed[0] < 90 && pRed[1] < 90) << +pRed[0] << " " << +pRed[1] << " " << +pRed[2];

    ASSERT_EQ(LoadSkinImage(Path(L"关闭_hover.png").c_str(), partial, 100, 144), 0);
    EXPECT_EQ(partial.GetWidth(), 3);
    EXPECT_EQ(partial.GetHeight(), 3);
    const Bytes faces = Bgra(partial);
    for (size_t i = 0; i < faces.size(); i += 4)
        EXPECT_TRUE(faces[i] <= faces[i + 3] && faces[i + 1] <= faces[i + 3] && faces[i + 2] <= faces[i + 3]) << i / 4;

    // The 150 % set at 150 %: the file's own pixels.
    ASSERT_EQ(LoadSkinImage(Path(L"关闭_hover.png").c_str(), partial, 150, 144), 0);
    EXPECT_EQ(Bgra(partial), kPartialPremultiplied);
}

TEST_F(SkinFiles, GeneralLoaderKeepsOpaqueDepthsAndPremultipliesAlpha) {
    CImage opaque, partial, palette, target, missing;
    ASSERT_EQ(opaque.Load(Path(L"升级背景.png").c_str()), 0);
    EXPECT_EQ(opaque.GetBPP(), 24);
    EXPECT_FALSE(opaque.HasAlpha());
    EXPECT_EQ(Bytes(Pixel(opaque, 2, 1), Pixel(opaque, 3, 1)), Bytes({32, 64, 128}));

    ASSERT_EQ(partial.Load(Path(L"关闭_hover.png").c_str()), 0);
    EXPECT_EQ(partial.GetBPP(), 32);
    EXPECT_TRUE(partial.HasAlpha());
    EXPECT_EQ(Bgra(partial), kPartialPremultiplied);

    // A palette picture draws in its palette's colours.
    ASSERT_EQ(palette.Load(Path(L"分割线.png").c_str()), 0);
    ASSERT_TRUE(target.Create(2, 1, 24, false));
    EXPECT_TRUE(palette.Draw(target.GetDC(), 0, 0));
    target.ReleaseDC();
    EXPECT_EQ(Bytes(Pixel(target, 0, 0), Pixel(target, 2, 0)), Bytes({100, 150, 200, 30, 20, 10}));

    EXPECT_NE(missing.Load(Path(L"missing.png").c_str()), 0);
    EXPECT_TRUE(missing.IsNull());
}

TEST_F(SkinFiles, PicturesOverTheSideLimitAreMissing) {
    // Sizes computed in int once overflowed for wide pictures, and clearing
    // the bitmap then wrote far outside it.
    const struct {
        int w, h;
        bool bLoads;
    } cases[] = {{16384, 1, true}, {1, 16384, true}, {16385, 1, false}, {1, 16385, false}};
    for (const auto& c : cases) {
        Copy((std::to_wstring(c.w) + L"x" + std::to_wstring(c.h) + L".png").c_str(), L"大图.png");
        CImage canvas, general;
        EXPECT_EQ(LoadSkinImage(Path(L"大图.png").c_str(), canvas), c.bLoads ? 0 : -1) << c.w << " x " << c.h;
        EXPECT_EQ(canvas.IsNull(), !c.bLoads);
        EXPECT_EQ(general.Load(Path(L"大图.png").c_str()) == 0, c.bLoads) << c.w << " x " << c.h;
    }
    ::DeleteFileW(Path(L"大图.png").c_str());
    CImage image;
    EXPECT_FALSE(image.Create(1 << 26, 1, 32, true)) << "a row of more than 2^31 bytes";
    EXPECT_TRUE(image.IsNull());
}

// ---- Drawing and copying ------------------------------------------------------

TEST_F(SkinFiles, DrawingBlendsAndCopyReproduces) {
    CImage partial, white, copy, copy24, empty;
    ASSERT_EQ(LoadSkinImage(Path(L"关闭_hover.png").c_str(), partial), 0);

    // Over white the half-transparent magenta pixel (1, 0) composes; a second
    // draw composes over the first and is more opaque.
    ASSERT_TRUE(white.Create(2, 2, 24, false));
    std::memset(white.GetBits(), 255, (size_t)white.GetPitch() * 2);
    HDC hDC = white.GetDC();
    ASSERT_TRUE(partial.Draw(hDC, 0, 0));
    EXPECT_NEAR(Pixel(white, 1, 0)[1], 127, 1);
    EXPECT_EQ(Pixel(white, 0, 1)[1], 255) << "a transparent pixel leaves the destination";
    EXPECT_EQ(Pixel(white, 1, 1)[2], 1) << "an opaque pixel replaces it";
    ASSERT_TRUE(partial.Draw(hDC, 0, 0));
    white.ReleaseDC();
    EXPECT_NEAR(Pixel(white, 1, 0)[1], 63, 1);
    EXPECT_EQ(Pixel(white, 1, 0)[0], 255);

    ASSERT_EQ(CopySkinImage(copy, partial), 0);
    EXPECT_TRUE(copy.GetBPP() == 32 && copy.HasAlpha());
    EXPECT_EQ(Bgra(copy), Bgra(partial));
    // 24-bit sources copy to 24 bits without alpha, pixel for pixel.
    ASSERT_EQ(CopySkinImage(copy24, white), 0);
    EXPECT_TRUE(copy24.GetBPP() == 24 && !copy24.HasAlpha());
    for (int y = 0; y < 2; ++y) EXPECT_EQ(std::memcmp(Pixel(copy24, 0, y), Pixel(white, 0, y), 6), 0);

    // From an empty image: -1, the destination keeps its picture.
    void* pBits = copy.GetBits();
    EXPECT_EQ(CopySkinImage(copy, empty), -1);
    EXPECT_EQ(copy.GetBits(), pBits);
    EXPECT_EQ(Bgra(copy), Bgra(partial));
}

TEST(SkinImage, DrawingContextsNestAndAreNeverShared) {
    // More images holding a DC at once than the pool has slots, twice over.
    CImage images[6];
    for (int round = 0; round < 2; ++round) {
        HDC dcs[6];
        for (int i = 0; i < 6; ++i) {
            if (round == 0) {
                ASSERT_TRUE(images[i].Create(1, 1, 24, false));
            }
            dcs[i] = images[i].GetDC();
            ASSERT_NE(dcs[i], nullptr);
            for (int j = 0; j < i; ++j) EXPECT_NE(dcs[i], dcs[j]);
            if (round == 1) {
                EXPECT_EQ(::GetPixel(dcs[i], 0, 0), RGB(i, 0, 0));
            }
        }
        EXPECT_EQ(images[0].GetDC(), dcs[0]) << "nested calls share the DC";
        images[0].ReleaseDC();
        for (int i = 0; i < 6; ++i) {
            ::SetPixel(dcs[i], 0, 0, RGB(i, 0, 0));
            images[i].ReleaseDC();
        }
    }
}

// ---- Windows -------------------------------------------------------------------

// The parent's background: four colours meeting at (33, 25), behind the
// transparent part of the test face, so a wrong cut-out position shows.
COLORREF ParentBackground(int x, int y) { return RGB(x < 33 ? 200 : 0, y < 25 ? 50 : 150, 77); }

struct ParentLog {
    int nHover, nLeave, nClicked;
    WPARAM wLeave;
    LPARAM lHover, lLeave;
} g_log;

LRESULT CALLBACK ParentProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_ERASEBKGND:
        for (RECT r : {RECT{0, 0, 33, 25}, RECT{33, 0, 999, 25}, RECT{0, 25, 33, 999}, RECT{33, 25, 999, 999}}) {
            HBRUSH hBrush = ::CreateSolidBrush(ParentBackground(r.left, r.top));
            ::FillRect((HDC)wParam, &r, hBrush);
            ::DeleteObject(hBrush);
        }
        return 1;
    case WM_MOUSEHOVER: ++g_log.nHover, g_log.lHover = lParam; return 0;
    case WM_MOUSELEAVE: ++g_log.nLeave, g_log.wLeave = wParam, g_log.lLeave = lParam; return 0;
    case WM_COMMAND: g_log.nClicked += HIWORD(wParam) == BN_CLICKED; return 0;
    default: return ::DefWindowProcW(hWnd, msg, wParam, lParam);
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
        ::RegisterClassW(&wc);
        m_hParent = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 500, 200,
                                      nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(m_hParent, nullptr);
    }
    void TearDown() override { ::DestroyWindow(m_hParent); }

    HWND Child(const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h) {
        return ::CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, m_hParent, (HMENU)1000,
                                 ::GetModuleHandleW(nullptr), nullptr);
    }
    void Repaint() {
        ::RedrawWindow(m_hParent, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
    // What a window shows now, row by row.
    static std::vector<COLORREF> Read(HWND hWnd) {
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
            for (int x = 0; x < rc.right; ++x)
                out.push_back(RGB(Pixel(img, x, y)[2], Pixel(img, x, y)[1], Pixel(img, x, y)[0]));
        return out;
    }
    static void FillSolid(CImage& img, int w, int h, COLORREF c) {
        ASSERT_TRUE(img.Create(w, h, 32, true));
        for (int i = 0; i < w * h; ++i) {
            uint8_t* p = Pixel(img, i % w, i / w);
            p[0] = GetBValue(c), p[1] = GetGValue(c), p[2] = GetRValue(c), p[3] = 255;
        }
    }

    HWND m_hParent = nullptr;
};

::testing::AssertionResult Near(COLORREF actual, COLORREF expected, int tolerance = 0) {
    for (int s = 0; s < 24; s += 8)
        if (std::abs((int)((actual >> s) & 0xFF) - (int)((expected >> s) & 0xFF)) > tolerance) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "got %06lX, expected %06lX", (unsigned long)actual, (unsigned long)expected);
            return ::testing::AssertionFailure() << buf;
        }
    return ::testing::AssertionSuccess();
}

TEST_F(SkinWindows, ButtonFaceIsComposedOverTheParentsBackground) {
    // Face 20 x 10: columns 0-4 transparent, 5-14 opaque red, 15-19 half
    // transparent white (premultiplied 128).
    CImage face;
    ASSERT_TRUE(face.Create(20, 10, 32, true));
    for (int i = 0; i < 200; ++i) {
        uint8_t* p = Pixel(face, i % 20, i / 20);
        if (i % 20 >= 15)
            std::memset(p, 128, 4);
        else if (i % 20 >= 5)
            p[2] = p[3] = 255;
    }
    CPictureButton button;
    ASSERT_TRUE(button.SubclassWindow(Child(L"BUTTON", L"OK", BS_PUSHBUTTON, 30, 20, 20, 10)));
    EXPECT_EQ(button.SetFace(0, 0, CImage()), -1);
    ASSERT_EQ(button.SetAllFaces(face), 0);
    face.Destroy();  // the button holds its own copies
    Repaint();

    std::vector<COLORREF> shown = Read(button.m_hWnd);
    ASSERT_EQ(shown.size(), 200u);
    for (int i = 0; i < 200; ++i) {
        const int x = i % 20;
        const COLORREF bg = ParentBackground(30 + x, 20 + i / 20);
        const COLORREF half =
            RGB(128 + GetRValue(bg) * 127 / 255, 128 + GetGValue(bg) * 127 / 255, 128 + GetBValue(bg) * 127 / 255);
        EXPECT_TRUE(Near(shown[i], x < 5 ? bg : x < 15 ? RGB(255, 0, 0) : half, 1)) << "at " << x << "," << i / 20;
    }

    // A hidden parent prints nothing: the captured background is black.
    ::ShowWindow(m_hParent, SW_HIDE);
    CImage captured;
    ASSERT_EQ(button.CaptureParentBackground(captured), 0);
    EXPECT_TRUE(captured.GetBPP() == 24 && captured.GetWidth() == 20);
    EXPECT_EQ(Pixel(captured, 0, 0)[0] | Pixel(captured, 19, 9)[2], 0);
    CPictureButton unbound;
    EXPECT_EQ(unbound.CaptureParentBackground(captured), -1);
}

TEST_F(SkinWindows, ButtonFaceFollowsHoverAndToggle) {
    const COLORREF colours[4] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 0)};
    CPictureButton button;
    ASSERT_TRUE(button.SubclassWindow(Child(L"BUTTON", L"OK", BS_PUSHBUTTON, 30, 20, 20, 10)));
    const HWND hButton = button.m_hWnd;
    for (int slot = 0; slot < 4; ++slot) {
        CImage img;
        FillSolid(img, 20, 10, colours[slot]);
        ASSERT_EQ(button.SetFace(slot / 2, slot % 2, img), 0);
    }
    Repaint();
    // The whole button, so that nothing of the standard look (focus
    // rectangle, pressed frame) is left over the face.
    auto shows = [&](COLORREF c) {
        ::UpdateWindow(hButton);
        for (COLORREF shown : Read(hButton))
            if (!Near(shown, c)) return Near(shown, c);
        return ::testing::AssertionSuccess();
    };
    // Sent, never pumped: the real pointer is elsewhere, and its own leave
    // notification must not interfere.
    auto send = [&](UINT msg, int x = 5) { return ::SendMessageW(hButton, msg, 0, MAKELPARAM(x, 5)); };
    EXPECT_TRUE(shows(colours[0]));
    send(WM_MOUSEMOVE);
    EXPECT_TRUE(shows(colours[2])) << "hover";
    send(WM_LBUTTONDOWN), send(WM_LBUTTONUP);
    EXPECT_TRUE(shows(colours[3])) << "hover and toggled";
    EXPECT_EQ(g_log.nClicked, 1);
    EXPECT_EQ(send(WM_MOUSEHOVER), 1);
    EXPECT_TRUE(g_log.nHover == 1 && g_log.lHover == MAKELPARAM(5, 5));

    // Leaving repaints at once, then tells the parent the toggle.
    EXPECT_EQ(send(WM_MOUSELEAVE), 1);
    for (COLORREF shown : Read(hButton)) ASSERT_TRUE(Near(shown, colours[1])) << "toggled, without hover";
    EXPECT_TRUE(g_log.nLeave == 1 && g_log.wLeave == 1 && g_log.lLeave == (LPARAM)hButton);

    // No flip: a release after a leave, a release outside, a release alone.
    send(WM_LBUTTONDOWN), send(WM_MOUSELEAVE), send(WM_LBUTTONUP);
    send(WM_LBUTTONDOWN), send(WM_LBUTTONUP, 25);
    send(WM_LBUTTONUP);
    EXPECT_TRUE(shows(colours[1]));
    send(WM_LBUTTONDOWN), send(WM_LBUTTONUP), send(WM_MOUSELEAVE);
    EXPECT_TRUE(shows(colours[0]));
    EXPECT_EQ(g_log.wLeave, 0u);

    // Printing draws the current face stretched over the client area.
    CImage printed;
    ASSERT_TRUE(printed.Create(30, 15, 24, false));
    EXPECT_EQ(::SendMessageW(hButton, WM_PRINT, (WPARAM)printed.GetDC(), PRF_CLIENT), 0);
    printed.ReleaseDC();
    EXPECT_TRUE(Pixel(printed, 19, 9)[2] == 255 && Pixel(printed, 20, 10)[2] == 0);
}

TEST_F(SkinWindows, ControlWithoutFacesPaintsAsTheStandardControl) {
    HWND hPlain = Child(L"STATIC", L"正在下载 (42%)", SS_LEFT, 50, 70, 150, 20);
    HWND hOurs = Child(L"STATIC", L"正在下载 (42%)", SS_LEFT, 250, 70, 150, 20);
    CPictureButton status;
    ASSERT_TRUE(status.SubclassWindow(hOurs));
    Repaint();
    std::vector<COLORREF> plain = Read(hPlain);
    ASSERT_FALSE(plain.empty());
    EXPECT_TRUE(plain == Read(hOurs));
    EXPECT_NE(std::count(plain.begin(), plain.end(), plain[0]), (std::ptrdiff_t)plain.size()) << "the text was drawn";
}

TEST_F(SkinWindows, ProgressBarFillsFourPixelsPerPercent) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&icc);
    COwnProgressCtrl bar;
    ASSERT_TRUE(bar.SubclassWindow(Child(PROGRESS_CLASSW, nullptr, PBS_SMOOTH, 0, 0, 0, 0)));
    const COLORREF kBack = RGB(0, 200, 0), kFront = RGB(220, 0, 0), kFill = kDarkColour;
    FillSolid(bar.m_imgBack, 10, 6, kBack);
    FillSolid(bar.m_imgFront, 5, 6, kFront);
    bar.m_nBarWidth = 400, bar.m_nLower = 0, bar.m_nUpper = 100, bar.m_nSpan = 100;
    bar.SetPos(0);
    ::MoveWindow(bar.m_hWnd, 50, 100, 420, 30, TRUE);  // wider than the bar
    EXPECT_TRUE(bar.m_nBackTop == 12 && bar.m_nFrontTop == 12);

    const int w = 420;
    bar.SetPos(37);
    EXPECT_EQ(bar.m_nFilled, 148);
    EXPECT_EQ(::SendMessageW(bar.m_hWnd, PBM_GETPOS, 0, 0), 37);
    std::vector<COLORREF> shown = Read(bar.m_hWnd);
    ASSERT_EQ(shown.size(), 420u * 30);
    EXPECT_TRUE(Near(shown[15 * w + 0], kFront) && Near(shown[15 * w + 147], kFront));
    EXPECT_TRUE(Near(shown[15 * w + 148], kBack) && Near(shown[12 * w + 399], kBack));
    EXPECT_TRUE(Near(shown[15 * w + 400], kFill)) << "right of the background";
    EXPECT_TRUE(Near(shown[11 * w + 10], kFill) && Near(shown[18 * w + 10], kFill)) << "above and below";

    bar.SetPos(150);
    EXPECT_EQ(bar.m_nFilled, 400);
    EXPECT_TRUE(Near(Read(bar.m_hWnd)[15 * w + 399], kFront));
    bar.SetPos(-3);
    EXPECT_EQ(bar.m_nFilled, 0);
    EXPECT_TRUE(Near(Read(bar.m_hWnd)[15 * w + 0], kBack));

    // A picture taller than the bar: negative offset. Offsets stay as they
    // were while either picture is missing.
    FillSolid(bar.m_imgBack, 10, 41, kBack);
    ::MoveWindow(bar.m_hWnd, 50, 100, 400, 30, TRUE);
    EXPECT_EQ(bar.m_nBackTop, -5);
    bar.m_imgFront.Destroy();
    ::MoveWindow(bar.m_hWnd, 50, 100, 400, 20, TRUE);
    EXPECT_TRUE(bar.m_nBackTop == -5 && bar.m_nFrontTop == 12);
}

}  // namespace
