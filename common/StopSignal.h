// A request to stop that any thread may raise once, and the one way to pause
// a worker unless it comes: the pause ends the moment it is raised, and
// otherwise lasts as long as asked, whatever the system's sleep granularity.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

class CStopSignal {
public:
    void Raise() {
        {
            std::lock_guard<std::mutex> lk(m_mtx);
            m_bRaised = true;
        }
        m_cv.notify_all();
    }
    // For a worker that runs again after one that was stopped.
    void Clear() { m_bRaised = false; }
    bool IsRaised() const { return m_bRaised.load(); }
    // True when the pause lasted its time, false when the signal ended it.
    bool PauseUnlessRaised(std::chrono::duration<double> time) {
        std::unique_lock<std::mutex> lk(m_mtx);
        return !m_cv.wait_for(lk, time, [this] { return m_bRaised.load(); });
    }

private:
    std::mutex m_mtx;
    std::condition_variable m_cv;
    std::atomic<bool> m_bRaised{false};
};
