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
// Scope owners pair a call with its undo for the life of a scope; they are
// neither copied nor moved:
//   fw::PaintScope       BeginPaint / EndPaint
//   fw::Selection        SelectObject / SelectObject of what was selected
//   fw::WindowDC         GetDC / ReleaseDC
//   fw::CriticalSection  InitializeCriticalSection / DeleteCriticalSection,
//   fw::Lock             EnterCriticalSection / LeaveCriticalSection
//   fw::TryLock          TryEnterCriticalSection / LeaveCriticalSection
//   fw::OleInit          OleInitialize / OleUninitialize
//   fw::ComInit          CoInitializeEx / CoUninitialize
//   fw::GdiplusInit      GdiplusStartup / GdiplusShutdown (gdiplus_init.h)
// and fw::FindHandle owns a FindFirstFile search (FindClose).
//
//   case WM_PAINT: {
//       fw::PaintScope paint(Handle());
//       fw::Selection font(paint.dc(), m_font.get());
//       ...                             // EndPaint, font restored, at the brace
//   }
//
// Errors: constructors do not fail loudly; a scope whose call failed holds
// nothing (a null dc(), ok() false) and undoes nothing. Nothing here throws.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <cstddef>
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
// A FindFirstFile search; INVALID_HANDLE_VALUE means none.
inline bool IsValidFindHandle(HANDLE h) { return h && h != INVALID_HANDLE_VALUE; }
using FindHandle = Owner<HANDLE, &FindClose, &IsValidFindHandle>;

// A process's handles as CreateProcess gives them (PROCESS_INFORMATION),
// both closed with the owner; its id stays readable. OpenProcess gives a
// process handle alone.
class ProcessHandles {
public:
    ProcessHandles() = default;
    explicit ProcessHandles(const PROCESS_INFORMATION& info)
        : m_process(info.hProcess), m_thread(info.hThread), m_id(info.dwProcessId) {}
    ProcessHandles(HANDLE process, DWORD id) : m_process(process), m_id(id) {}

    HANDLE process() const { return m_process.get(); }
    DWORD id() const { return m_id; }
    explicit operator bool() const { return m_process.valid(); }
    void reset() { *this = ProcessHandles(); }

private:
    UniqueHandle m_process;
    UniqueHandle m_thread;
    DWORD m_id = 0;
};

// A movable global memory block (GlobalAlloc), as the clipboard takes one:
// release() it once SetClipboardData has it.
using GlobalMemory = Owner<HGLOBAL, &GlobalFree>;

// A global memory block locked for the scope; data() is null when it could
// not be locked.
class GlobalLockScope {
public:
    explicit GlobalLockScope(HGLOBAL memory) : m_memory(memory), m_data(memory ? GlobalLock(memory) : nullptr) {}
    ~GlobalLockScope() {
        if (m_data) GlobalUnlock(m_memory);
    }
    GlobalLockScope(const GlobalLockScope&) = delete;
    GlobalLockScope& operator=(const GlobalLockScope&) = delete;
    void* data() const { return m_data; }
    // Bytes of the block; never read past it, whatever its text claims.
    size_t size() const { return m_data ? GlobalSize(m_memory) : 0; }

private:
    HGLOBAL m_memory;
    void* m_data;
};

// The clipboard, open for the scope; ok() false when another program holds it.
class ClipboardScope {
public:
    explicit ClipboardScope(HWND owner) : m_open(OpenClipboard(owner) != FALSE) {}
    ~ClipboardScope() {
        if (m_open) CloseClipboard();
    }
    ClipboardScope(const ClipboardScope&) = delete;
    ClipboardScope& operator=(const ClipboardScope&) = delete;
    bool ok() const { return m_open; }

private:
    bool m_open;
};

// Selects an object into a DC for the scope; what was selected before
// comes back at its end (nothing is undone when the selection failed).
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : m_dc(dc), m_old(dc && object ? SelectObject(dc, object) : nullptr) {}
    ~Selection() {
        if (m_old && m_old != HGDI_ERROR) SelectObject(m_dc, m_old);
    }
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


// BeginPaint and EndPaint of a window's WM_PAINT. dc() is null when
// BeginPaint failed; EndPaint runs at the end of the scope either way, as
// the documentation asks.
class PaintScope {
public:
    explicit PaintScope(HWND hwnd) : m_hwnd(hwnd), m_dc(BeginPaint(hwnd, &m_paint)) {}
    ~PaintScope() { EndPaint(m_hwnd, &m_paint); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;

    HDC dc() const { return m_dc; }
    // The part to repaint, and whether the background must be erased.
    const RECT& area() const { return m_paint.rcPaint; }
    bool erase() const { return m_paint.fErase != FALSE; }

private:
    HWND m_hwnd;
    PAINTSTRUCT m_paint{};
    HDC m_dc;
};

// A critical section, initialised by its construction and deleted by its
// destruction. Enter it only through fw::Lock.
class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&m_section); }
    ~CriticalSection() { DeleteCriticalSection(&m_section); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

private:
    friend class Lock;
    friend class TryLock;
    CRITICAL_SECTION m_section;
};

// Holds a critical section from construction to destruction.
class Lock {
public:
    explicit Lock(CriticalSection& section) : m_section(section.m_section) { EnterCriticalSection(&m_section); }
    ~Lock() { LeaveCriticalSection(&m_section); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    CRITICAL_SECTION& m_section;
};

// Holds a critical section from construction to destruction when it was
// free (or already held by this thread); owns() says whether it was.
class TryLock {
public:
    explicit TryLock(CriticalSection& section)
        : m_section(section.m_section), m_owns(TryEnterCriticalSection(&m_section) != FALSE) {}
    ~TryLock() {
        if (m_owns) LeaveCriticalSection(&m_section);
    }
    TryLock(const TryLock&) = delete;
    TryLock& operator=(const TryLock&) = delete;
    bool owns() const { return m_owns; }

private:
    CRITICAL_SECTION& m_section;
    bool m_owns;
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

// COM for the calling thread in apartment model `model` (COINIT_...), from
// construction to destruction; like OleInit, nothing is undone when it failed.
class ComInit {
public:
    explicit ComInit(DWORD model) : m_hr(CoInitializeEx(nullptr, model)) {}
    ~ComInit() {
        if (SUCCEEDED(m_hr)) CoUninitialize();
    }
    ComInit(const ComInit&) = delete;
    ComInit& operator=(const ComInit&) = delete;

    bool ok() const { return SUCCEEDED(m_hr); }
    HRESULT result() const { return m_hr; }

private:
    HRESULT m_hr;
};

} // namespace fw
