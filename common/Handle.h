// Owners of Windows handles. One move-only template holds a handle of any
// kind and closes it exactly once; a traits type says what an empty handle
// looks like and how one is closed. Header only, so that every library of
// the product (the transfer library included) can use it without linking
// anything more.
#pragma once

#include <windows.h>

#include <utility>

template <class Traits>
class CUniqueHandle {
public:
    using Type = typename Traits::Type;

    CUniqueHandle() noexcept : m_h(Traits::Empty()) {}
    explicit CUniqueHandle(Type h) noexcept : m_h(h) {}
    ~CUniqueHandle() { Reset(); }
    CUniqueHandle(CUniqueHandle&& other) noexcept : m_h(other.Release()) {}
    CUniqueHandle& operator=(CUniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;

    bool IsValid() const noexcept { return Traits::IsValid(m_h); }
    explicit operator bool() const noexcept { return IsValid(); }
    Type Get() const noexcept { return m_h; }
    // Gives the handle up without closing it.
    Type Release() noexcept { return std::exchange(m_h, Traits::Empty()); }
    // Closes the handle held (if any) and holds h instead.
    void Reset(Type h = Traits::Empty()) noexcept {
        const Type old = std::exchange(m_h, h);
        if (Traits::IsValid(old)) Traits::Close(old);
    }
    void Close() noexcept { Reset(); }
    // For functions that return a new handle through a pointer: closes the
    // one held and lets the call write the next.
    Type* Put() noexcept {
        Reset();
        return &m_h;
    }

private:
    Type m_h;
};

// Handles of which null is the only empty value.
template <class T>
struct NullEmptyTraits {
    using Type = T;
    static T Empty() noexcept { return nullptr; }
    static bool IsValid(T h) noexcept { return h != nullptr; }
};

// Kernel objects: files, threads, events, semaphores, tokens. The functions
// that open them fail with either null or INVALID_HANDLE_VALUE; both are
// empty.
struct KernelHandleTraits {
    using Type = HANDLE;
    static HANDLE Empty() noexcept { return nullptr; }
    static bool IsValid(HANDLE h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) noexcept { ::CloseHandle(h); }
};
using CHandle = CUniqueHandle<KernelHandleTraits>;

// A directory search of FindFirstFile: empty as a kernel handle is.
struct FindHandleTraits : KernelHandleTraits {
    static void Close(HANDLE h) noexcept { ::FindClose(h); }
};
using CFindHandle = CUniqueHandle<FindHandleTraits>;

// Memory the system allocated for the caller to free with LocalFree or
// GlobalFree; T is the pointer type the allocating function returns.
template <class T>
struct LocalMemoryTraits : NullEmptyTraits<T> {
    static void Close(T p) noexcept { ::LocalFree(reinterpret_cast<HLOCAL>(p)); }
};
template <class T>
using CLocalMemory = CUniqueHandle<LocalMemoryTraits<T>>;

template <class T>
struct GlobalMemoryTraits : NullEmptyTraits<T> {
    static void Close(T p) noexcept { ::GlobalFree(reinterpret_cast<HGLOBAL>(p)); }
};
template <class T>
using CGlobalMemory = CUniqueHandle<GlobalMemoryTraits<T>>;
