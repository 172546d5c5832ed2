// The transfer's TLS rules: which protocol versions a session may speak,
// where a redirect may lead, and which failures of the secure channel no
// second attempt can cure.
#pragma once

#include <windows.h>
#include <winhttp.h>

// Asks the session for TLS 1.2 and 1.3, else 1.2 alone, else TLS 1.0 (a
// Windows 7 without TLS 1.2 in WinHTTP); never SSL 3. Returns the protocols
// set, 0 where the system refuses the option and its default stays.
DWORD SetSecureProtocols(HINTERNET hSession);

// Redirects are followed, but never from https to http: a man in the middle
// must not be able to move a transfer off TLS.
bool SetRedirectPolicy(HINTERNET hRequest);

// A certificate that is not trusted, has expired, names another host or is
// otherwise unusable, and a handshake that failed: the same on the next try.
// bTimedOut: the call failed only once the time-out for a silent peer had
// passed; then a failed channel is a stalled handshake, which may pass.
bool IsFinalTlsError(DWORD dwError, bool bTimedOut);
