#include "common/TextConv.h"

#include <windows.h>

namespace {
// The whole text including its terminator, no flags; false when the code
// page cannot convert it (or is not installed).
bool ToWide(UINT nCodePage, const char* psz, std::wstring& out) {
    out.clear();
    if (!psz) return true;
    int n = ::MultiByteToWideChar(nCodePage, 0, psz, -1, nullptr, 0);
    if (n <= 0) return false;
    out.assign(static_cast<size_t>(n), L'\0');
    if (::MultiByteToWideChar(nCodePage, 0, psz, -1, &out[0], n) != n) {
        out.clear();
        return false;
    }
    out.resize(static_cast<size_t>(n - 1));
    return true;
}
}  // namespace

std::wstring NarrowToWide(const char* psz) {
    std::wstring out;
    ToWide(CP_THREAD_ACP, psz, out);
    return out;
}

std::wstring GbkToWide(const char* psz) {
    // Every Windows we serve has code page 936; were it missing, the
    // thread's code page is the best guess left.
    std::wstring out;
    if (!ToWide(936, psz, out)) ToWide(CP_THREAD_ACP, psz, out);
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
