// One HTTP transfer over WinHTTP, run on the object's own thread and polled
// by its owner. The body streams into a temporary file, never into memory.
// Requests go through the user's proxy. With retries enabled, a broken
// transfer is tried again after a pause and resumes where it broke off when
// the server can say that the file is still the same.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/LogLine.h"

class CVantorHttp {
public:
    // GetState() values. Positive while running, 0 once complete, negative
    // after a failure; the final value never changes again.
    enum {
        kStateIdle = 2,  // constructed, SendData not yet called
        kStateRunning = 1,
        kStateDone = 0,
        kErrFailed = -1,     // connection, protocol or time-out failure
        kErrStatus = -2,     // final HTTP status other than 2xx
        kErrShortBody = -3,  // fewer bytes than Content-Length
        kErrTooLarge = -4,   // body exceeds SetMaxBodySize
        kErrFile = -5,       // temporary file could not be written
        kErrCancelled = -6,  // Cancel() or destruction
        kErrBadUrl = -7,     // URL not understood (only http and https)
    };

    CVantorHttp();
    ~CVantorHttp();  // stops a running transfer and returns within 1 s
    CVantorHttp(const CVantorHttp&) = delete;
    CVantorHttp& operator=(const CVantorHttp&) = delete;

    // Starts the transfer and returns at once. Only "GET" is supported; the
    // five further arguments are accepted for compatibility and unused.
    // Returns 0 when started, a negative state otherwise (also in GetState()).
    int SendData(const char* pszMethod, const char* pszUrl, const char* p3 = nullptr, const char* p4 = nullptr,
                 const char* p5 = nullptr, const char* p6 = nullptr, const char* p7 = nullptr);
    int GetState() const;
    // Received bytes / Content-Length; 0 while the length is unknown. Never
    // smaller than a value it returned before: after a restart from zero it
    // holds until the new transfer passes it. For the owner's thread only.
    double GetDownProgress() const;
    // Renames the complete body to pszPath (same volume), replacing any file there.
    // 0 on success, -1 on failure (state not 0, or the file system refused).
    int SaveData(const wchar_t* pszPath);

    // Settings; call before SendData.
    void SetMaxBodySize(uint64_t nBytes);    // default: no limit
    void SetTempDir(const wchar_t* pszDir);  // default: the temporary path
    void EnableSha256();                     // hash the body while it arrives
    // Up to kMaxRetries more attempts after a broken connection, a short body,
    // a time-out or a "not now" status, and resume with byte ranges.
    void EnableRetries();

    // What a kept download holds: bytes known to be on the disk, the length
    // of the whole file (-1 unknown) and the validator (strong ETag, else
    // Last-Modified; empty when none) of the answer that began it.
    struct KeptDownload {
        uint64_t nHeld = 0;
        int64_t nTotal = -1;
        std::string validator;
    };
    // The body goes to pszPath instead of a temporary file, and stays there
    // whatever the outcome: the owner deletes it. With from.nHeld > 0 the
    // file is cut to that many bytes (hashed again from the disk), and the
    // first request asks for the rest of the file from.validator names,
    // under the rules of a retry; progress starts at the held fraction.
    // onSaved runs on the transfer thread once the bytes it is told of are
    // flushed to the disk: within every 4 MiB received and at the end of
    // each attempt.
    void KeepDownload(const wchar_t* pszPath, const KeptDownload& from,
                      std::function<void(const KeptDownload&)> onSaved);

    // How one request and its answer went, for the owner's log.
    enum class AttemptResult {
        Done,   // the body is complete
        Retry,  // another attempt follows after pauseMs
        Final,  // the transfer ends with state
    };
    struct AttemptReport {
        int n = 0;           // 1 for the first
        uint64_t from = 0;   // where the range it asked for began; 0 for the whole file
        int status = 0;      // of its answer; 0 when none came
        uint64_t bytes = 0;  // of the body, received by this attempt
        uint64_t ms = 0;     // from its start to its end
        AttemptResult result = AttemptResult::Final;
        int state = kStateDone;   // how it ended: kStateDone or a failure
        unsigned long error = 0;  // of its last failed call; 0 when none failed
        int64_t pauseMs = -1;     // before the next attempt; -1 when none follows
    };
    // onAttempt runs on the transfer thread at the end of every attempt,
    // before the pause that may follow it.
    void OnAttempt(std::function<void(const AttemptReport&)> onAttempt);

    // Observers.
    int GetHttpStatus() const;                 // final status code, 0 if none
    uint64_t GetReceivedBytes() const;         // of the body now held, resumed bytes included
    bool GetSha256(uint8_t digest[32]) const;  // after completion, if enabled
    // Once ended: the WinHTTP or system error of the last failed call (0
    // when none failed), and how the request went out (proxy=, via=,
    // pac_host=), for the log.
    unsigned long GetErrorCode() const;
    LogFields GetRouteFields() const;
    static const char* StateName(int nState);  // "status", "short-body", ...

    // Stops a running transfer: GetState() becomes kErrCancelled promptly.
    void Cancel();

    // A transfer cut short by a crash or a power cut leaves its temporary
    // file behind; only one copy of the updater runs, so any such file in a
    // folder it downloads into is a leftover. Deletes them in dir.
    static void DeleteLeftoverParts(const std::wstring& dir);

    struct Shared;  // state shared with the transfer thread (SharedState.h)

private:
    std::shared_ptr<Shared> m_pShared;
};
