// What the engine's tests share: the manifest the local service serves, and
// a view that records what the engine asks of the window.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "update/UpdateView.h"

// The service serves this file, read again on every request.
inline std::string ManifestPath() {
    const char* p = std::getenv("LUMORA_TEST_MANIFEST");
    std::string path = std::string("Z:") + (p ? p : "/tmp/lumora-test-manifest.xml");
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

inline void ServeManifest(const std::string& xml) {
    FILE* f = std::fopen(ManifestPath().c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(xml.data(), 1, xml.size(), f);
    std::fclose(f);
}

inline const char kUrl[] = "http://127.0.0.1:1/setup.exe";
inline const char kOtherUrl[] = "http://127.0.0.1:1/x.exe";

inline std::string Manifest(const char* version, const char* force, const char* url = kUrl) {
    return std::string("<update><version>") + version + "</version><url>" + url + "</url><force>" + force +
           "</force></update>";
}

// Stands in for the window: records, in order, what the engine asks of it,
// and changes m_nState as the window would.
class CRecordingView : public CUpdateView {
public:
    ~CRecordingView() { StopWorker(); }
    void ShowState(int nState) override {
        Record("ShowState(" + std::to_string(nState) + ")");
        m_nState = nState;
    }
    void EnterDownloadingState() override {
        Record("EnterDownloadingState");
        m_nState = STATE_DOWNLOADING;
    }
    void Hide() override { Record("Hide"); }
    void Close() override { Record("Close"); }

    std::string m_calls;

private:
    void Record(const std::string& call) { m_calls += (m_calls.empty() ? "" : " ") + call; }
};
