// The user's proxy for one request, found the way long-lived Windows clients
// find it on every version.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <functional>
#include <string>

// One question to WinHTTP's proxy look-up for the request's URL
// (WinHttpGetProxyForUrl with these options): true with info filled, else
// false with the error. The transfer runs it where it can be cancelled.
using ProxyQuestion = std::function<bool(const WINHTTP_AUTOPROXY_OPTIONS& options, WINHTTP_PROXY_INFO& info,
                                         DWORD& error)>;

struct ProxySetting {
    DWORD access = WINHTTP_ACCESS_TYPE_NO_PROXY;
    std::wstring proxy, bypass;
};

// Auto-detection (flags WINHTTP_AUTOPROXY_AUTO_DETECT) or the PAC script the
// user configured (WINHTTP_AUTOPROXY_CONFIG_URL), asked for the URL's proxy.
// False when it yields none.
bool FindAutoProxy(const ProxyQuestion& ask, DWORD flags, const std::wstring& pacUrl, ProxySetting& out);

// A WinHTTP session through the user's proxy: Internet Options first, where
// auto-detection or a PAC script comes before the fixed proxy (with its
// bypass list), and direct when neither yields one. Only where the user has
// configured nothing does the system decide: its automatic proxy from
// Windows 8.1 on, which older systems refuse, and then WinHTTP's own
// setting. Null on failure.
HINTERNET OpenProxySession(const wchar_t* pszUserAgent, const ProxyQuestion& ask, struct ProxyRoute* pRoute = nullptr);

// How the session reaches the server, for the log: kind is "direct",
// "named" (the fixed proxy), "auto-detect" or "pac"; proxy the proxy list
// in use, empty when none; pacUrl the user's PAC script, if one is
// configured (the log names only its host). bUnconfigured: the user configured nothing, so the
// system may still pick a proxy of its own.
struct ProxyRoute {
    const char* kind = "direct";
    bool bUnconfigured = false;
    std::wstring proxy;
    std::wstring pacUrl;
};
