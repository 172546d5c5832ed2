// The transfer's way to a session through the user's proxy: the rules of
// the look-up are in Proxy.h; here its questions to WinHTTP, which may wait
// on the network, run where the owner can stop them.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include "SharedState.h"

// A session through the user's proxy, its route noted in s.route; null on
// failure or a stop.
HINTERNET OpenSession(Shared& s);
