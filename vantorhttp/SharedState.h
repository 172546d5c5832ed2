// What the owner of a transfer and its worker thread both touch, and the
// protocol by which the owner stops a worker that may be stuck inside a
// WinHTTP call: the worker co-owns this state, so it may outlive a
// destroyed object, and every handle sits where either side can close it.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "CVantorHttp.h"
#include "Proxy.h"
#include "common/StopSignal.h"

struct CVantorHttp::Shared {
    // Settings and the parsed URL: written by the owner before the worker
    // starts, read-only afterwards.
    uint64_t maxBody = UINT64_MAX;  // no limit
    int connectMs = 0;
    int idleMs = 0;
    std::wstring tempDir;
    bool hash = false;
    bool retries = false;
    std::wstring keptPath;  // KeepDownload: the body's own file, never deleted here
    CVantorHttp::KeptDownload keptFrom;
    std::function<void(const CVantorHttp::KeptDownload&)> onKept;
    std::function<void(const CVantorHttp::AttemptReport&)> onAttempt;
    std::wstring url;  // as given, for the proxy look-up
    std::wstring host;
    std::wstring path;
    INTERNET_PORT port = 0;
    bool secure = false;

    std::atomic<int> state{kStateIdle};
    std::atomic<int> status{0};
    std::atomic<uint64_t> received{0};
    std::atomic<int64_t> length{-1};
    // Raised only while mtx is held, read anywhere; it also ends the
    // worker's pauses. Under the lock, a worker that checks it there (Adopt,
    // EnterCall) either sees it or is already inside the call whose handles
    // the owner may then close.
    CStopSignal stop;
    // Written by the worker, read by the owner only once the state is final.
    ProxyRoute route;
    DWORD error = 0;           // of the last failed call, 0 when none failed
    int attemptStatus = 0;     // of the current attempt's answer, 0 before one
    double shownProgress = 0;  // the owner's alone

    // Written by the worker before it publishes kStateDone.
    uint8_t digest[32] = {};
    bool digestOk = false;

    std::mutex mtx;  // guards everything below
    std::condition_variable exitedCv;
    bool exited = false;
    bool inCall = false;   // worker is inside a WinHTTP call that may block
    unsigned callSeq = 0;  // counts those calls
    // Raw slots, not owners: either thread closes them under the lock (the
    // owner ends a call stuck in WinHTTP that way), and whoever does leaves
    // null behind for the other.
    HINTERNET session = nullptr;
    HINTERNET connect = nullptr;
    HINTERNET request = nullptr;
    HANDLE file = INVALID_HANDLE_VALUE;
    std::wstring tempPath;  // empty once moved away or deleted
    bool saveTried = false;

    std::thread worker;  // touched by the owner only
};

using Shared = CVantorHttp::Shared;

// Publishes a final state unless one already is.
inline bool Finalize(Shared& s, int result) {
    int running = CVantorHttp::kStateRunning;
    return s.state.compare_exchange_strong(running, result, std::memory_order_acq_rel);
}

inline void CloseHandlesLocked(Shared& s) {
    // Children first, as WinHTTP expects.
    for (HINTERNET* h : {&s.request, &s.connect, &s.session}) {
        if (*h) WinHttpCloseHandle(*h);
        *h = nullptr;
    }
    if (s.file != INVALID_HANDLE_VALUE) CloseHandle(s.file);
    s.file = INVALID_HANDLE_VALUE;
}

// Registers a new handle so that the owner can close it; refuses (and closes
// it) when the transfer was stopped meanwhile.
inline bool Adopt(Shared& s, HINTERNET Shared::*slot, HINTERNET h) {
    if (!h) return false;
    std::lock_guard<std::mutex> lk(s.mtx);
    if (s.stop.IsRaised()) {
        WinHttpCloseHandle(h);
        return false;
    }
    s.*slot = h;
    return true;
}

// Closes a handle of the worker's unless the owner already did.
inline void Drop(Shared& s, HINTERNET Shared::*slot) {
    std::lock_guard<std::mutex> lk(s.mtx);
    if (s.*slot) WinHttpCloseHandle(s.*slot);
    s.*slot = nullptr;
}

// Brackets every WinHTTP call that can wait on the network. A worker that
// has been told to stop makes no further call, so the owner may close the
// handles of one that is stuck inside a call.
inline bool EnterCall(Shared& s) {
    std::lock_guard<std::mutex> lk(s.mtx);
    if (s.stop.IsRaised()) return false;
    s.inCall = true;
    ++s.callSeq;
    return true;
}

inline bool LeaveCall(Shared& s) {
    std::lock_guard<std::mutex> lk(s.mtx);
    s.inCall = false;
    return !s.stop.IsRaised();
}
