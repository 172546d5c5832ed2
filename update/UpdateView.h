// The window as the update engine sees it: the display changes the engine
// asks for, and the members through which the two talk. The window derives
// from it; the engine never includes the window, so it builds, and is
// tested, without it.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "common/Handle.h"
#include "common/StopSignal.h"
#include "update/manifest/Integrity.h"

// The display state, held in m_nState.
enum UpdateViewState : int {
    STATE_IDLE = 0,
    STATE_NO_UPDATE = 1,
    STATE_NEW_VERSION = 2,
    STATE_DOWNLOADING = 4,
    STATE_FAILED = 6,
};

// The state's name as the log writes it.
inline const char* StateName(int nState) {
    switch (nState) {
    case STATE_IDLE: return "STATE_IDLE";
    case STATE_NO_UPDATE: return "STATE_NO_UPDATE";
    case STATE_NEW_VERSION: return "STATE_NEW_VERSION";
    case STATE_DOWNLOADING: return "STATE_DOWNLOADING";
    case STATE_FAILED: return "STATE_FAILED";
    default: return "?";
    }
}

class CUpdateView {
public:
    CUpdateView(const CUpdateView&) = delete;
    CUpdateView& operator=(const CUpdateView&) = delete;

    // Switches the display to nState, showing the window if it is hidden.
    // Called from the download worker as well.
    virtual void ShowState(int nState) = 0;
    // The downloading display, and the download worker started for it
    // (StartDownloadThread): the step that a forced update and the OK
    // button share.
    virtual void EnterDownloadingState() = 0;
    virtual void Hide() = 0;
    // Closes the window; returns once the window has handled it.
    virtual void Close() = 0;

    std::atomic<int> m_nState{STATE_IDLE};
    char m_szTarget[1024] = {};  // download URL or local installer path
    char m_szStatus[260] = {};   // status line text while downloading
    std::atomic<double> m_dProgress{0.0};
    bool m_bPrompt = false;
    bool m_bTestUpdate = false;

    // What the manifest says the installer must be (size, SHA-256); written
    // before the worker starts. m_bIntegrityValid is false when the manifest
    // gave malformed values, which no download can then satisfy.
    IntegrityExpectation m_integrity;
    bool m_bIntegrityValid = true;
    // Where else the manifest says the same installer can be fetched, tried
    // in order when m_szTarget fails; written before the worker starts.
    std::vector<std::string> m_mirrors;

    // The download worker, kept so that the view can stop it before it goes
    // away: every view calls StopWorker before its own members go, since the
    // worker calls the functions above until it has ended.
    CHandle m_hWorker;
    CStopSignal m_stopWorker;
    void StopWorker();

protected:
    CUpdateView() = default;
    ~CUpdateView() = default;  // never destroyed through this interface
};
