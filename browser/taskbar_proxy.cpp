#include "browser/taskbar_proxy.h"

#include "core/messages.h"
#include "core/settings.h"

#include "framework/strings.h"

#include "res/resource_ids.h"

#include <mshtml.h>

namespace {

// Window attributes of the desktop window manager (4-byte BOOL values).
constexpr DWORD kDwmForceIconicRepresentation = 7;
constexpr DWORD kDwmHasIconicBitmap = 10;
// ChangeWindowMessageFilter's "allow" flag.
constexpr DWORD kMessageFilterAdd = 1;
constexpr int kMaxCaptureSide = 8192;

// A function of a module that is already loaded, or null: a module that is
// not loaded is not loaded here either.
template <typename F>
F LoadedFunction(const wchar_t* module, const char* name) {
    HMODULE handle = GetModuleHandleW(module);
    return handle ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(handle, name))) : nullptr;
}

} // namespace

HRESULT CallDwmSetWindowAttribute(HWND hwnd, DWORD attribute, const void* value, DWORD size) {
    using Fn = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);
    auto fn = LoadedFunction<Fn>(L"dwmapi.dll", "DwmSetWindowAttribute");
    return fn ? fn(hwnd, attribute, value, size) : E_NOTIMPL;
}

HRESULT CallDwmSetIconicThumbnail(HWND hwnd, HBITMAP bitmap, DWORD flags) {
    using Fn = HRESULT(WINAPI*)(HWND, HBITMAP, DWORD);
    auto fn = LoadedFunction<Fn>(L"dwmapi.dll", "DwmSetIconicThumbnail");
    return fn ? fn(hwnd, bitmap, flags) : E_NOTIMPL;
}

HRESULT CallDwmSetIconicLivePreviewBitmap(HWND hwnd, HBITMAP bitmap, POINT* offset, DWORD flags) {
    using Fn = HRESULT(WINAPI*)(HWND, HBITMAP, POINT*, DWORD);
    auto fn = LoadedFunction<Fn>(L"dwmapi.dll", "DwmSetIconicLivePreviewBitmap");
    return fn ? fn(hwnd, bitmap, offset, flags) : E_NOTIMPL;
}

HRESULT CallDwmInvalidateIconicBitmaps(HWND hwnd) {
    using Fn = HRESULT(WINAPI*)(HWND);
    auto fn = LoadedFunction<Fn>(L"dwmapi.dll", "DwmInvalidateIconicBitmaps");
    return fn ? fn(hwnd) : E_NOTIMPL;
}

BOOL CallChangeWindowMessageFilter(UINT message, DWORD flag) {
    using Fn = BOOL(WINAPI*)(UINT, DWORD);
    auto fn = LoadedFunction<Fn>(L"user32.dll", "ChangeWindowMessageFilter");
    return fn ? fn(message, flag) : FALSE;
}

fw::Bitmap CaptureBrowserBitmap(IWebBrowser2* browser, int width, int height) {
    if (!browser || width <= 0 || height <= 0 || width > kMaxCaptureSide || height > kMaxCaptureSide) return {};
    fw::ComPtr<IDispatch> document;
    if (FAILED(browser->get_Document(document.put())) || !document) return {};
    fw::ComPtr<IHTMLDocument2> html;
    fw::ComPtr<IViewObject> view;
    if (FAILED(document.As(IID_IHTMLDocument2, html)) || !html || FAILED(html.As(IID_IViewObject, view)) || !view)
        return {};

    HDC screen = GetDC(nullptr);
    if (!screen) return {};
    fw::MemoryDC memory(CreateCompatibleDC(screen));
    fw::Bitmap picture(CreateCompatibleBitmap(screen, width, height));
    const int mapMode = GetMapMode(screen);
    ReleaseDC(nullptr, screen);
    if (!memory || !picture) return {};
    HGDIOBJ old = SelectObject(memory.get(), picture.get());
    SetMapMode(memory.get(), mapMode);
    RECTL bounds{0, 0, width, height};
    const HRESULT hr = view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, memory.get(), &bounds, nullptr,
                                  nullptr, 0);
    SelectObject(memory.get(), old);
    if (FAILED(hr)) return {};
    return picture;
}

CTaskBarProxyWnd::~CTaskBarProxyWnd() { DestroyProxy(); }

bool CTaskBarProxyWnd::CreateProxy(IEVERSION version, HWND target, HWND mainWindow, const fw::Profile& settings) {
    if (Handle()) return true;
    if (settings.GetInt(setting::kSection, setting::kDisableWin7Taskbar, 0) == 1) return false;
    fw::ComPtr<ITaskbarList3> list;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_ALL, IID_ITaskbarList3, list.put_void())) ||
        !list || FAILED(list->HrInit()))
        return false;
    m_pTaskbarList = list;
    // Never shown: the taskbar shows it through the pictures it asks for.
    // The class is the framework's own ("Message" would be the system's
    // class of message-only windows, whose procedure is not ours).
    if (!Create(WS_EX_TOOLWINDOW | WS_EX_WINDOWEDGE, kTaskbarProxyClass, L"",
                WS_POPUP | WS_CLIPSIBLINGS | WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr, nullptr)) {
        m_pTaskbarList.reset();
        return false;
    }
    m_hWndTarget = target;
    m_hWndMain = mainWindow;

    m_hIcon.reset(static_cast<HICON>(LoadImageW(fw::ResourceModule(), MAKEINTRESOURCEW(IconIdOfVersion(version)),
                                                IMAGE_ICON, 16, 16, LR_CREATEDIBSECTION)));
    if (m_hIcon) {
        SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon.get()));
        SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon.get()));
    }
    // The calls below fail where the system lacks them (before Windows 7,
    // under Wine); the thumbnail is then simply not shown.
    const BOOL on = TRUE;
    CallDwmSetWindowAttribute(Handle(), kDwmHasIconicBitmap, &on, sizeof(on));
    CallDwmSetWindowAttribute(Handle(), kDwmForceIconicRepresentation, &on, sizeof(on));
    // An elevated process would otherwise not receive the requests.
    CallChangeWindowMessageFilter(WM_DWMSENDICONICTHUMBNAIL, kMessageFilterAdd);
    CallChangeWindowMessageFilter(WM_DWMSENDICONICLIVEPREVIEWBITMAP, kMessageFilterAdd);
    // Registered last in the group: thumbnails follow the order tabs opened.
    m_pTaskbarList->RegisterTab(Handle(), m_hWndMain);
    m_pTaskbarList->SetTabOrder(Handle(), nullptr);
    return true;
}

void CTaskBarProxyWnd::DestroyProxy() {
    // Destroyed through the window procedure, so WM_DESTROY unregisters the
    // thumbnail before the window goes.
    if (HWND window = Handle()) DestroyWindow(window);
}

void CTaskBarProxyWnd::SetTabActive() const {
    if (Handle() && m_pTaskbarList) m_pTaskbarList->SetTabActive(Handle(), m_hWndMain, 0);
}

LRESULT CTaskBarProxyWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DWMSENDICONICTHUMBNAIL:
    case WM_DWMSENDICONICLIVEPREVIEWBITMAP:
        return m_hWndTarget ? SendMessageW(m_hWndTarget, message, wParam, lParam) : 0;
    case WM_ACTIVATE:
        if (m_hWndTarget) SendMessageW(m_hWndTarget, UWM_TAB_TASKBAR_ACTIVATE, LOWORD(wParam), 0);
        return 0;
    case WM_SYSCOMMAND:
        // The proxy itself is never moved, sized or closed: the tab decides.
        if (m_hWndTarget) SendMessageW(m_hWndTarget, UWM_TAB_TASKBAR_SYSCOMMAND, wParam, lParam);
        return 0;
    case WM_DESTROY:
        if (m_pTaskbarList) m_pTaskbarList->UnregisterTab(Handle());
        m_pTaskbarList.reset();
        SendMessageW(Handle(), WM_SETICON, ICON_BIG, 0);
        SendMessageW(Handle(), WM_SETICON, ICON_SMALL, 0);
        m_hIcon.reset();
        m_hWndTarget = nullptr;
        return fw::Window::WindowProc(message, wParam, lParam);
    default:
        return fw::Window::WindowProc(message, wParam, lParam);
    }
}
