#include "common/TextConv.h"

#include <windows.h>

std::wstring NarrowToWide(const char* psz) {
    if (!psz) return std::wstring();
    // The whole text including its terminator, no flags.
    int n = ::MultiByteToWideChar(CP_THREAD_ACP, 0, psz, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    if (::MultiByteToWideChar(CP_THREAD_ACP, 0, psz, -1, &out[0], n) != n) return std::wstring();
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

std::string WideToNarrow(const wchar_t* psz) {
    if (!psz) return std::string();
    int n = ::WideCharToMultiByte(CP_THREAD_ACP, 0, psz, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_THREAD_ACP, 0, psz, -1, &out[0], n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

std::string WideToUtf8(const wchar_t* p, size_t n) {
    if (!p || n == 0) return std::string();
    const int nOut = ::WideCharToMultiByte(CP_UTF8, 0, p, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    if (nOut <= 0) return std::string();
    std::string out(static_cast<size_t>(nOut), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, p, static_cast<int>(n), &out[0], nOut, nullptr, nullptr);
    return out;
}
