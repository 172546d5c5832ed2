// The proxy look-up of a transfer (ProxySession.h).
#include "ProxySession.h"

#include <mutex>

#include "Proxy.h"

namespace {
const wchar_t kUserAgent[] = L"LumoraUpdate/1.1.1.2";

// One question to the proxy look-up. It may wait on the network, so its
// session sits where the owner can close it.
bool AskProxy(Shared& s, const WINHTTP_AUTOPROXY_OPTIONS& options, WINHTTP_PROXY_INFO& info, DWORD& error) {
    HINTERNET lookup =
        WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!Adopt(s, &Shared::session, lookup)) return false;
    WinHttpSetTimeouts(lookup, s.connectMs, s.connectMs, s.idleMs, s.idleMs);
    bool found = false;
    if (EnterCall(s)) {
        WINHTTP_AUTOPROXY_OPTIONS asked = options;
        found = WinHttpGetProxyForUrl(lookup, s.url.c_str(), &asked, &info) != FALSE;
        error = found ? 0 : GetLastError();
        found = LeaveCall(s) && found;
    }
    Drop(s, &Shared::session);
    return found;
}
}  // namespace

HINTERNET OpenSession(Shared& s) {
    return OpenProxySession(
        kUserAgent,
        [&s](const WINHTTP_AUTOPROXY_OPTIONS& options, WINHTTP_PROXY_INFO& info, DWORD& error) {
            return AskProxy(s, options, info, error);
        },
        &s.route);
}
