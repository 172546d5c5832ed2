// Owners of GDI resources: objects, drawing contexts and what is selected
// into them, each given back on every way out of the scope that took it.
#pragma once

#include "common/Handle.h"

// Pens, brushes, bitmaps, fonts, regions.
template <class T>
struct GdiObjectTraits : NullEmptyTraits<T> {
    static void Close(T h) noexcept { ::DeleteObject(h); }
};
template <class T>
using CGdiObject = CUniqueHandle<GdiObjectTraits<T>>;

// A memory drawing context of CreateCompatibleDC.
struct MemoryDCTraits : NullEmptyTraits<HDC> {
    static void Close(HDC h) noexcept { ::DeleteDC(h); }
};
using CMemoryDC = CUniqueHandle<MemoryDCTraits>;

// The drawing context of a window's client area (GetDC), released with the
// window it came from.
class CWindowDC {
public:
    explicit CWindowDC(HWND hWnd) noexcept : m_hWnd(hWnd), m_hDC(::GetDC(hWnd)) {}
    ~CWindowDC() {
        if (m_hDC) ::ReleaseDC(m_hWnd, m_hDC);
    }
    CWindowDC(const CWindowDC&) = delete;
    CWindowDC& operator=(const CWindowDC&) = delete;
    HDC Get() const noexcept { return m_hDC; }

private:
    HWND m_hWnd;
    HDC m_hDC;
};

// The painting of one WM_PAINT: BeginPaint, and EndPaint however it ends.
class CPaintDC {
public:
    explicit CPaintDC(HWND hWnd) noexcept : m_hWnd(hWnd), m_hDC(::BeginPaint(hWnd, &m_ps)) {}
    ~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    HDC Get() const noexcept { return m_hDC; }
    const PAINTSTRUCT& Info() const noexcept { return m_ps; }

private:
    HWND m_hWnd;
    PAINTSTRUCT m_ps = {};
    HDC m_hDC;
};

// An object selected into a drawing context for a scope; what was selected
// before comes back at its end, so the object can then be deleted.
class CSelectObject {
public:
    CSelectObject(HDC hDC, HGDIOBJ hObject) noexcept
        : m_hDC(hDC), m_hOld(hDC && hObject ? ::SelectObject(hDC, hObject) : nullptr) {}
    ~CSelectObject() {
        if (m_hOld && m_hOld != HGDI_ERROR) ::SelectObject(m_hDC, m_hOld);
    }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_hOld;
};
