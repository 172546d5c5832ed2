// Wide text as UTF-8: the same bytes whatever the code page.
#pragma once

#include <windows.h>

#include <string>

inline std::string WideToUtf8(const wchar_t* p, size_t n) {
    if (!p || n == 0) return std::string();
    const int nOut = ::WideCharToMultiByte(CP_UTF8, 0, p, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    if (nOut <= 0) return std::string();
    std::string out(static_cast<size_t>(nOut), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, p, static_cast<int>(n), &out[0], nOut, nullptr, nullptr);
    return out;
}
inline std::string WideToUtf8(const std::wstring& text) { return WideToUtf8(text.data(), text.size()); }
