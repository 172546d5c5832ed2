#include "update/UrlName.h"

#include "update/BoundedText.h"

std::wstring UrlFileName(const std::wstring& url) {
    std::wstring path = url.substr(0, url.find_first_of(L"?#"));
    size_t nSlash = path.rfind(L'/');
    size_t nBackslash = path.rfind(L'\\');
    size_t nCut;
    if (nSlash == std::wstring::npos) nCut = nBackslash;
    else if (nBackslash == std::wstring::npos) nCut = nSlash;
    else nCut = nSlash > nBackslash ? nSlash : nBackslash;
    return nCut == std::wstring::npos ? path : path.substr(nCut + 1);
}

bool FormInstallerPath(char* pszOut, size_t nSize, const char* pszWorkDir, const char* pszName) {
    if (!pszName || !*pszName) {
        if (nSize) pszOut[0] = '\0';
        return false;
    }
    return FormatText(pszOut, nSize, "%s/%s", pszWorkDir, pszName);
}
