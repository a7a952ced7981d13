#pragma once
// RAII owners for the Win32 handles the framework and the program hold.
#include <windows.h>
#include <utility>

namespace fw {

// Owns a kernel handle closed with CloseHandle. Both null and
// INVALID_HANDLE_VALUE count as "no handle".
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : m_h(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& o) noexcept : m_h(std::exchange(o.m_h, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) { reset(); m_h = std::exchange(o.m_h, nullptr); }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE get() const { return m_h; }
    bool valid() const { return m_h && m_h != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return valid(); }
    HANDLE release() { return std::exchange(m_h, nullptr); }
    void reset(HANDLE h = nullptr) {
        if (valid()) CloseHandle(m_h);
        m_h = h;
    }

private:
    HANDLE m_h = nullptr;
};

// Owns an open registry key.
class RegKey {
public:
    RegKey() = default;
    explicit RegKey(HKEY h) : m_h(h) {}
    ~RegKey() { reset(); }
    RegKey(RegKey&& o) noexcept : m_h(std::exchange(o.m_h, nullptr)) {}
    RegKey& operator=(RegKey&& o) noexcept {
        if (this != &o) { reset(); m_h = std::exchange(o.m_h, nullptr); }
        return *this;
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    HKEY get() const { return m_h; }
    HKEY* put() { reset(); return &m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    void reset() {
        if (m_h) RegCloseKey(m_h);
        m_h = nullptr;
    }

private:
    HKEY m_h = nullptr;
};

// Owns a loaded module.
class Module {
public:
    Module() = default;
    explicit Module(HMODULE h) : m_h(h) {}
    ~Module() { reset(); }
    Module(Module&& o) noexcept : m_h(std::exchange(o.m_h, nullptr)) {}
    Module& operator=(Module&& o) noexcept {
        if (this != &o) { reset(); m_h = std::exchange(o.m_h, nullptr); }
        return *this;
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    HMODULE get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    void reset() {
        if (m_h) FreeLibrary(m_h);
        m_h = nullptr;
    }

private:
    HMODULE m_h = nullptr;
};

} // namespace fw
