#pragma once
// Owners for the Win32 resources the framework and the program hold.
//
// fw::Owner<T, Close, Valid> is the one move-only owner: it holds one value
// of a handle type T and hands it to Close when it is reset or destroyed.
// Each resource kind is a one-line alias below. Owners are not thread-safe;
// an owner is used by one thread at a time, like the handle it holds.
//
//   fw::RegKey key;
//   if (RegOpenKeyExW(root, path, 0, KEY_READ, key.put()) == ERROR_SUCCESS)
//       Use(key.get());                  // closed when `key` goes
//
// Scope owners pair a call with its undo: fw::OleInit (OleInitialize and
// OleUninitialize).
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <utility>

namespace fw {

template <typename T>
constexpr bool NotNull(T value) {
    return value != T{};
}
// Kernel handles: both null and INVALID_HANDLE_VALUE mean "no handle".
inline bool IsValidKernelHandle(HANDLE h) { return h && h != INVALID_HANDLE_VALUE; }

template <typename T, auto Close, bool (*Valid)(T) = &NotNull<T>>
class Owner {
public:
    Owner() = default;
    explicit Owner(T value) : m_value(value) {}
    ~Owner() { reset(); }
    Owner(Owner&& other) noexcept : m_value(std::exchange(other.m_value, T{})) {}
    Owner& operator=(Owner&& other) noexcept {
        if (this != &other) reset(std::exchange(other.m_value, T{}));
        return *this;
    }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;

    T get() const { return m_value; }
    bool valid() const { return Valid(m_value); }
    explicit operator bool() const { return valid(); }
    // For functions that return the resource through a pointer: whatever
    // was held is closed first.
    T* put() {
        reset();
        return &m_value;
    }
    [[nodiscard]] T release() { return std::exchange(m_value, T{}); }
    void reset(T value = T{}) {
        T old = std::exchange(m_value, value);
        if (Valid(old)) Close(old);
    }

private:
    T m_value{};
};

using UniqueHandle = Owner<HANDLE, &CloseHandle, &IsValidKernelHandle>;
using RegKey = Owner<HKEY, &RegCloseKey>;
using Module = Owner<HMODULE, &FreeLibrary>;
using Menu = Owner<HMENU, &DestroyMenu>;
using AcceleratorTable = Owner<HACCEL, &DestroyAcceleratorTable>;
using Icon = Owner<HICON, &DestroyIcon>;
using Font = Owner<HFONT, &DeleteObject>;
using Bitmap = Owner<HBITMAP, &DeleteObject>;
using ImageList = Owner<HIMAGELIST, &ImageList_Destroy>;
using MemoryDC = Owner<HDC, &DeleteDC>;
using Pen = Owner<HPEN, &DeleteObject>;
using Brush = Owner<HBRUSH, &DeleteObject>;
using Region = Owner<HRGN, &DeleteObject>;

// Selects an object into a DC for the scope.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : m_dc(dc), m_old(SelectObject(dc, object)) {}
    ~Selection() { SelectObject(m_dc, m_old); }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

// The header of a 32-bit, top-row-first device-independent bitmap.
inline BITMAPINFO TopDownBitmapInfo(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// The window DC of GetDC, released with the scope.
class WindowDC {
public:
    explicit WindowDC(HWND hwnd) : m_hwnd(hwnd), m_dc(GetDC(hwnd)) {}
    ~WindowDC() {
        if (m_dc) ReleaseDC(m_hwnd, m_dc);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const { return m_dc; }

private:
    HWND m_hwnd;
    HDC m_dc;
};


// OLE for the calling thread, from construction to destruction. Check
// ok() (or result()) before relying on it; nothing is undone when it failed.
class OleInit {
public:
    OleInit() : m_hr(OleInitialize(nullptr)) {}
    ~OleInit() {
        if (SUCCEEDED(m_hr)) OleUninitialize();
    }
    OleInit(const OleInit&) = delete;
    OleInit& operator=(const OleInit&) = delete;

    bool ok() const { return SUCCEEDED(m_hr); }
    HRESULT result() const { return m_hr; }

private:
    HRESULT m_hr;
};

} // namespace fw
