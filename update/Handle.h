// Owns one kernel handle (a file, a thread) for the life of a scope.
#pragma once

#include <windows.h>

#include <utility>

class CHandle {
public:
    explicit CHandle(HANDLE h = INVALID_HANDLE_VALUE) : m_h(h) {}
    ~CHandle() { Close(); }
    CHandle(CHandle&& other) noexcept : m_h(std::exchange(other.m_h, INVALID_HANDLE_VALUE)) {}
    CHandle& operator=(CHandle&& other) noexcept {
        if (this != &other) {
            Close();
            m_h = std::exchange(other.m_h, INVALID_HANDLE_VALUE);
        }
        return *this;
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;

    bool IsValid() const { return m_h != INVALID_HANDLE_VALUE && m_h != nullptr; }
    HANDLE Get() const { return m_h; }
    void Close() {
        if (IsValid()) ::CloseHandle(m_h);
        m_h = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_h;
};
