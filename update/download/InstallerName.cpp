#include "update/download/InstallerName.h"

#include "common/Text.h"

std::wstring UrlFileName(const std::wstring& url) {
    std::wstring path = url.substr(0, url.find_first_of(L"?#"));
    size_t nSlash = path.rfind(L'/');
    size_t nBackslash = path.rfind(L'\\');
    size_t nCut;
    if (nSlash == std::wstring::npos)
        nCut = nBackslash;
    else if (nBackslash == std::wstring::npos)
        nCut = nSlash;
    else
        nCut = nSlash > nBackslash ? nSlash : nBackslash;
    return nCut == std::wstring::npos ? path : path.substr(nCut + 1);
}

namespace {
bool IsNameChar(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'.' || c == L'-' ||
           c == L'_';
}

wchar_t Upper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool EqualsUpper(const std::wstring& text, const wchar_t* pszUpper) {
    size_t i = 0;
    for (; pszUpper[i]; ++i)
        if (i >= text.size() || Upper(text[i]) != pszUpper[i]) return false;
    return i == text.size();
}

// The part before the first '.' names a device whatever follows it.
bool IsDeviceName(const std::wstring& name) {
    const std::wstring stem = name.substr(0, name.find(L'.'));
    for (const wchar_t* pszDevice : {L"CON", L"PRN", L"AUX", L"NUL"})
        if (EqualsUpper(stem, pszDevice)) return true;
    return stem.size() == 4 && (EqualsUpper(stem.substr(0, 3), L"COM") || EqualsUpper(stem.substr(0, 3), L"LPT")) &&
           stem[3] >= L'1' && stem[3] <= L'9';
}
}  // namespace

bool IsAcceptableInstallerName(const std::wstring& name) {
    if (name.empty() || name.size() > 100 || name.front() == L'.' || name.back() == L'.') return false;
    for (wchar_t c : name)
        if (!IsNameChar(c)) return false;
    if (IsDeviceName(name) || name.size() < 5) return false;
    const std::wstring extension = name.substr(name.size() - 4);
    return EqualsUpper(extension, L".EXE") || EqualsUpper(extension, L".MSI");
}
