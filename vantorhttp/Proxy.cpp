// The proxy rules of Proxy.h; the transfer asks its questions through
// ProxySession.cpp, where they can be cancelled.
#include "Proxy.h"

#include <cstring>

#include "common/Handle.h"

#ifndef WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY
#define WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY 4
#endif

namespace {
// A string WinHTTP allocated, taken over and freed.
std::wstring Take(LPWSTR text) {
    const CGlobalMemory<LPWSTR> owned(text);
    return owned ? std::wstring(owned.Get()) : std::wstring();
}

bool Ask(const ProxyQuestion& ask, const WINHTTP_AUTOPROXY_OPTIONS& options, ProxySetting& out, DWORD& error) {
    WINHTTP_PROXY_INFO info;
    std::memset(&info, 0, sizeof info);
    error = 0;
    const bool found = ask(options, info, error);
    out.access = info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY ? WINHTTP_ACCESS_TYPE_NAMED_PROXY
                                                                      : WINHTTP_ACCESS_TYPE_NO_PROXY;
    out.proxy = Take(info.lpszProxy);
    out.bypass = Take(info.lpszProxyBypass);
    if (out.proxy.empty()) out.access = WINHTTP_ACCESS_TYPE_NO_PROXY;
    return found;
}
}  // namespace

bool FindAutoProxy(const ProxyQuestion& ask, DWORD flags, const std::wstring& pacUrl, ProxySetting& out) {
    WINHTTP_AUTOPROXY_OPTIONS options;
    std::memset(&options, 0, sizeof options);
    options.dwFlags = flags;
    if (flags & WINHTTP_AUTOPROXY_AUTO_DETECT)
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    if (flags & WINHTTP_AUTOPROXY_CONFIG_URL) options.lpszAutoConfigUrl = pacUrl.c_str();
    // The user's credentials go only where the user pointed us, and only
    // when that server asks for them: a host that answers to auto-detection
    // on a strange network would otherwise collect them.
    options.fAutoLogonIfChallenged = FALSE;
    DWORD error = 0;
    if (Ask(ask, options, out, error)) return true;
    if (error != ERROR_WINHTTP_LOGIN_FAILURE || !(flags & WINHTTP_AUTOPROXY_CONFIG_URL) ||
        (flags & WINHTTP_AUTOPROXY_AUTO_DETECT))
        return false;
    options.fAutoLogonIfChallenged = TRUE;
    return Ask(ask, options, out, error);
}

HINTERNET OpenProxySession(const wchar_t* pszUserAgent, const ProxyQuestion& ask, ProxyRoute* pRoute) {
    ProxyRoute ignored;
    ProxyRoute& route = pRoute ? *pRoute : ignored;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG ie;
    std::memset(&ie, 0, sizeof ie);
    const bool haveIe = WinHttpGetIEProxyConfigForCurrentUser(&ie) != FALSE;
    const std::wstring pacUrl = Take(ie.lpszAutoConfigUrl);
    route.pacUrl = pacUrl;
    ProxySetting use;
    use.proxy = Take(ie.lpszProxy);
    use.bypass = Take(ie.lpszProxyBypass);
    if (!use.proxy.empty()) use.access = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    if (haveIe && (ie.fAutoDetect || !pacUrl.empty())) {
        ProxySetting found;
        if (ie.fAutoDetect && FindAutoProxy(ask, WINHTTP_AUTOPROXY_AUTO_DETECT, pacUrl, found)) {
            use = found;
            route.kind = "auto-detect";
        } else if (!pacUrl.empty() && FindAutoProxy(ask, WINHTTP_AUTOPROXY_CONFIG_URL, pacUrl, found)) {
            use = found;
            route.kind = "pac";
        }
    } else if (use.proxy.empty()) {
        route.bUnconfigured = true;
        HINTERNET session = WinHttpOpen(pszUserAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                        WINHTTP_NO_PROXY_BYPASS, 0);
        return session ? session
                       : WinHttpOpen(pszUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                     WINHTTP_NO_PROXY_BYPASS, 0);
    }
    const bool named = use.access == WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    if (named) route.proxy = use.proxy;
    if (named && std::strcmp(route.kind, "direct") == 0) route.kind = "named";
    return WinHttpOpen(pszUserAgent, use.access, named ? use.proxy.c_str() : WINHTTP_NO_PROXY_NAME,
                       named && !use.bypass.empty() ? use.bypass.c_str() : WINHTTP_NO_PROXY_BYPASS, 0);
}
