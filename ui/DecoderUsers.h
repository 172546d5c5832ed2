// When the picture decoder runs: from the first load until the last image
// object is gone, then again from the next load. One re-entrant lock guards
// the count of image objects and both steps, so that the image whose end
// drops the count to zero stops the decoder while holding it.
#pragma once

#include <mutex>

// Decoder: bool Start() (false when it cannot start) and void Stop().
template <class Decoder>
class CDecoderUsers {
public:
    // Starts the decoder unless it runs; false when it cannot start.
    bool Start() {
        const std::lock_guard<std::recursive_mutex> lock(m_mtx);
        if (!m_bRunning) m_bRunning = m_decoder.Start();
        return m_bRunning;
    }
    void AddUser() {
        const std::lock_guard<std::recursive_mutex> lock(m_mtx);
        ++m_nUsers;
    }
    void RemoveUser() {
        const std::lock_guard<std::recursive_mutex> lock(m_mtx);
        if (--m_nUsers == 0) Stop();
    }
    void Stop() {
        const std::lock_guard<std::recursive_mutex> lock(m_mtx);
        if (m_bRunning) m_decoder.Stop();
        m_bRunning = false;
    }

private:
    std::recursive_mutex m_mtx;
    Decoder m_decoder;
    bool m_bRunning = false;
    long m_nUsers = 0;
};
