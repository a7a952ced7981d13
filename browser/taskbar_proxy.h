#pragma once
// One taskbar thumbnail per tab. Each tab content owns a hidden proxy
// window that is registered with the taskbar as a tab of the main window;
// the desktop window manager asks that window for pictures, and the proxy
// passes every request on to its tab content, which draws its page.
//
// The proxy window belongs to the thread that created it (the tab's engine
// thread, or the main thread of the tab's child process); its requests reach
// the tab content by SendMessage on that same thread.
//
// Nothing here is required to work: before Windows 7, with the setting
// "DisableWin7Taskbar" at 1, or where the shell's interfaces are only partly
// there (Wine), CreateProxy returns false or a call has no effect and the
// tab works as before.
#include "core/versions.h"

#include "framework/com_ptr.h"
#include "framework/handles.h"
#include "framework/profile.h"
#include "framework/window.h"

#include <exdisp.h>
#include <shobjidl.h>

// The desktop window manager's requests for a thumbnail and a live preview.
#ifndef WM_DWMSENDICONICTHUMBNAIL
#define WM_DWMSENDICONICTHUMBNAIL 0x0323
#endif
#ifndef WM_DWMSENDICONICLIVEPREVIEWBITMAP
#define WM_DWMSENDICONICLIVEPREVIEWBITMAP 0x0326
#endif

// Desktop window manager calls, looked up at run time in modules that are
// already loaded (never loaded here): E_NOTIMPL when "dwmapi.dll" is not
// loaded or lacks the function. The message filter gives FALSE likewise.
HRESULT CallDwmSetWindowAttribute(HWND hwnd, DWORD attribute, const void* value, DWORD size);
HRESULT CallDwmSetIconicThumbnail(HWND hwnd, HBITMAP bitmap, DWORD flags);
HRESULT CallDwmSetIconicLivePreviewBitmap(HWND hwnd, HBITMAP bitmap, POINT* offset, DWORD flags);
HRESULT CallDwmInvalidateIconicBitmaps(HWND hwnd);
BOOL CallChangeWindowMessageFilter(UINT message, DWORD flag);

// The shell's taskbar list, initialised; null where the system has none
// (before Windows 7) or it fails to start.
fw::ComPtr<ITaskbarList3> CreateTaskbarList();

// A picture of the page `browser` shows, drawn through its document's
// IViewObject into a screen-compatible bitmap of width by height; null
// without a document, a drawable one or for a size outside 1..8192.
// The caller owns the bitmap.
fw::Bitmap CaptureBrowserBitmap(IWebBrowser2* browser, int width, int height);

// The window class of the proxy windows.
inline constexpr const wchar_t* kTaskbarProxyClass = L"VantrellTabThumbnail";

class CTaskBarProxyWnd : public fw::Window {
public:
    CTaskBarProxyWnd() = default;
    ~CTaskBarProxyWnd() override;

    // Sets up and registers the proxy window for a tab of `version` whose
    // requests go to `target`, in the taskbar group of `mainWindow`. False
    // (and no window) when "DisableWin7Taskbar" is 1 in `settings`, or the
    // taskbar list or the window cannot be made.
    bool CreateProxy(IEVERSION version, HWND target, HWND mainWindow, const fw::Profile& settings);
    // Destroys the window, which takes its thumbnail off the taskbar.
    void DestroyProxy();
    // Marks this tab's thumbnail as the active one of its group.
    void SetTabActive() const;

    HWND MainWindow() const { return m_hWndMain; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    fw::ComPtr<ITaskbarList3> m_pTaskbarList;
    HWND m_hWndTarget = nullptr;
    HWND m_hWndMain = nullptr;
    fw::Icon m_hIcon;
};
