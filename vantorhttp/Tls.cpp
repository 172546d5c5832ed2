// The TLS rules of Tls.h, in one place for every session and request.
#include "Tls.h"

#ifndef WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3
#define WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3 0x00002000
#endif

DWORD SetSecureProtocols(HINTERNET hSession) {
    // Windows 7 refuses the TLS 1.2 flag unless its update for TLS 1.1 and
    // 1.2 in WinHTTP is installed; only Windows 11 knows TLS 1.3. Without
    // the option, Windows 7 would offer only SSL 3 and TLS 1.0.
    static const DWORD kChoices[] = {
        WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3,
        WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2,
        WINHTTP_FLAG_SECURE_PROTOCOL_TLS1,
    };
    for (DWORD protocols : kChoices) {
        if (WinHttpSetOption(hSession, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) return protocols;
    }
    return 0;
}

bool SetRedirectPolicy(HINTERNET hRequest) {
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
    return WinHttpSetOption(hRequest, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy) != FALSE;
}

bool IsFinalTlsError(DWORD dwError, bool bTimedOut) {
    switch (dwError) {
    // Windows names the fault (or reports ERROR_WINHTTP_SECURE_FAILURE with
    // detail flags) and a stalled handshake as a time-out; Wine ends every
    // certificate fault and every failed handshake, a timed-out one too,
    // with ERROR_WINHTTP_SECURE_CHANNEL_ERROR.
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR: return !bTimedOut;
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
    case ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED: return true;
    default: return false;
    }
}
