// One request of a transfer and the body of its answer: what the body's
// file holds across attempts, how an attempt ended (for the retry loop in
// CVantorHttp.cpp to judge), and what the owner of a kept download is told.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "SharedState.h"
#include "common/BCrypt.h"

// What the body's file holds, across attempts.
struct Body {
    HANDLE file = INVALID_HANDLE_VALUE;  // also s.file, which the worker closes on its way out
    uint64_t size = 0;                   // bytes on disk, every one of them hashed
    int64_t total = -1;                  // the whole file's length; -1 unknown
    std::wstring validator;              // of the answer that began the file
    CSha256 hasher;
    uint64_t saved = 0;  // bytes the owner was last told are on the disk
    std::chrono::steady_clock::time_point savedAt;

    bool CanResume() const {
        return size > 0 && !validator.empty() && total >= 0 && size < static_cast<uint64_t>(total);
    }
};

// How one attempt ended.
struct Outcome {
    int state;
    bool retry;          // another attempt may succeed
    int64_t retryAfter;  // seconds the server asked for; -1 when it did not
};

// Opens the owner's kept download as the body's file and takes back the
// bytes an earlier run left in it, for the first request to ask for the
// rest. kStateDone, kErrFile, or kErrCancelled after a stop.
int OpenKeptDownload(Shared& s, Body& body);

// One request and its answer, the body appended to the file or starting it
// over. Asks only for the rest of the file when bytes have arrived and the
// server named a validator for them.
Outcome Attempt(Shared& s, HINTERNET connect, Body& body);

// Tells the owner of a kept download what its file now holds, once that is
// on the disk.
void SaveKept(Shared& s, Body& body);
