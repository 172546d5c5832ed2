// Response headers (ResponseHeaders.h): the queries and their bounds here,
// what the values mean in TransferRules.cpp, where the native tests reach it.
#include "ResponseHeaders.h"

#include "TransferRules.h"

int64_t QueryContentLength(HINTERNET req) {
    wchar_t text[64];
    DWORD size = sizeof text;
    if (!WinHttpQueryHeaders(req, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                             WINHTTP_NO_HEADER_INDEX))
        return GetLastError() == ERROR_WINHTTP_HEADER_NOT_FOUND ? -1 : -2;
    // Blanks stay blanks; anything beyond ASCII can only be refused.
    std::string narrow;
    for (const wchar_t* p = text; *p; ++p) narrow += *p < 0x80 ? static_cast<char>(*p) : '?';
    const int64_t length = ParseContentLength(narrow.c_str());
    return length < 0 ? -2 : length;
}

std::wstring QueryHeader(HINTERNET req, DWORD info) {
    wchar_t text[256];
    DWORD size = sizeof text;
    if (!WinHttpQueryHeaders(req, info, WINHTTP_HEADER_NAME_BY_INDEX, text, &size, WINHTTP_NO_HEADER_INDEX))
        return std::wstring();
    return std::wstring(text, size / sizeof(wchar_t));
}

std::string Ascii(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        if (c < 0x20 || c > 0x7E) return std::string();
        out += static_cast<char>(c);
    }
    return out;
}

std::wstring Validator(HINTERNET req) {
    const std::wstring etag = QueryHeader(req, WINHTTP_QUERY_ETAG);
    if (IsStrongEtag(Ascii(etag).c_str())) return etag;
    const std::wstring modified = QueryHeader(req, WINHTTP_QUERY_LAST_MODIFIED);
    return Ascii(modified).empty() ? std::wstring() : modified;
}
