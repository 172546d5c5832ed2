// Benchmark peer: the least that a silent update check needs to do. A
// hidden dialog, one WinHTTP GET of the manifest, TinyXML reads it, the
// version is compared, and the program ends.
#include <windows.h>
#include <winhttp.h>

#include <cstring>
#include <string>

#include "tinyxml.h"

namespace {
std::string FetchManifest() {
    std::string body;
    const wchar_t kHostPort[] = L"" LUMORA_UPDATE_HOST;
    std::wstring host = kHostPort;
    INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT;
    const size_t colon = host.find(L':');
    if (colon != std::wstring::npos) {
        port = static_cast<INTERNET_PORT>(_wtoi(host.c_str() + colon + 1));
        host.resize(colon);
    }
    HINTERNET session = WinHttpOpen(L"floor", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
    HINTERNET connect = session ? WinHttpConnect(session, host.c_str(), port, 0) : nullptr;
    HINTERNET request = connect ? WinHttpOpenRequest(connect, L"GET", L"/Client/refresh", nullptr, WINHTTP_NO_REFERER,
                                                     WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
                                : nullptr;
    if (request && WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
        WinHttpReceiveResponse(request, nullptr)) {
        char buf[4096];
        DWORD got = 0;
        while (WinHttpReadData(request, buf, sizeof buf, &got) && got) body.append(buf, got);
    }
    for (HINTERNET h : {request, connect, session})
        if (h) WinHttpCloseHandle(h);
    return body;
}

INT_PTR CALLBACK NoDialogProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
}  // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int) {
    static WORD tmpl[64];
    DLGTEMPLATE* t = reinterpret_cast<DLGTEMPLATE*>(tmpl);
    t->style = WS_POPUP | WS_CLIPCHILDREN;  // never shown
    t->cx = 320;
    t->cy = 200;
    HWND hDlg = CreateDialogIndirectParamW(hInstance, t, nullptr, NoDialogProc, 0);
    TiXmlDocument doc;
    doc.Parse(FetchManifest().c_str());
    const TiXmlElement* version = doc.RootElement() ? doc.RootElement()->FirstChildElement("version") : nullptr;
    const bool newer = version && version->GetText() && std::strcmp(version->GetText(), "1.1.1.2") > 0;
    DestroyWindow(hDlg);
    return newer ? 1 : 0;
}
