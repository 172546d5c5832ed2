#include "update/TextConv.h"

#include <windows.h>

#include <cwchar>

std::wstring NarrowToWide(const char* psz) {
    if (!psz) return std::wstring();
    // The whole text including its terminator, no flags.
    int n = ::MultiByteToWideChar(CP_THREAD_ACP, 0, psz, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_THREAD_ACP, 0, psz, -1, &out[0], n);
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

bool IsUrlTarget(const char* psz) {
    const std::wstring text = NarrowToWide(psz);
    return std::wcsstr(text.c_str(), L"http:") != nullptr || text.compare(0, 6, L"https:") == 0;
}
