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

// Calls `name` of `module` when that module is already loaded (it is never
// loaded here) and has the function; `missing` otherwise.
template <typename R, typename... Args>
R CallLoaded(const wchar_t* module, const char* name, R missing, Args... args) {
    HMODULE handle = GetModuleHandleW(module);
    auto fn = handle ? reinterpret_cast<R(WINAPI*)(Args...)>(reinterpret_cast<void*>(GetProcAddress(handle, name)))
                     : nullptr;
    return fn ? fn(args...) : missing;
}

} // namespace

HRESULT CallDwmSetWindowAttribute(HWND hwnd, DWORD attribute, const void* value, DWORD size) {
    return CallLoaded(L"dwmapi.dll", "DwmSetWindowAttribute", E_NOTIMPL, hwnd, attribute, value, size);
}

HRESULT CallDwmSetIconicThumbnail(HWND hwnd, HBITMAP bitmap, DWORD flags) {
    return CallLoaded(L"dwmapi.dll", "DwmSetIconicThumbnail", E_NOTIMPL, hwnd, bitmap, flags);
}

HRESULT CallDwmSetIconicLivePreviewBitmap(HWND hwnd, HBITMAP bitmap, POINT* offset, DWORD flags) {
    return CallLoaded(L"dwmapi.dll", "DwmSetIconicLivePreviewBitmap", E_NOTIMPL, hwnd, bitmap, offset, flags);
}

HRESULT CallDwmInvalidateIconicBitmaps(HWND hwnd) {
    return CallLoaded(L"dwmapi.dll", "DwmInvalidateIconicBitmaps", E_NOTIMPL, hwnd);
}

BOOL CallChangeWindowMessageFilter(UINT message, DWORD flag) {
    return CallLoaded(L"user32.dll", "ChangeWindowMessageFilter", BOOL{FALSE}, message, flag);
}

fw::ComPtr<ITaskbarList3> CreateTaskbarList() {
    fw::ComPtr<ITaskbarList3> list;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_ALL, IID_ITaskbarList3, list.put_void())) ||
        !list || FAILED(list->HrInit()))
        list.reset();
    return list;
}

fw::Bitmap CaptureBrowserBitmap(IWebBrowser2* browser, int width, int height) {
    if (!browser || width <= 0 || height <= 0 || width > kMaxCaptureSide || height > kMaxCaptureSide) return {};
    fw::ComPtr<IDispatch> document;
    if (FAILED(browser->get_Document(document.put())) || !document) return {};
    fw::ComPtr<IHTMLDocument2> html;
    fw::ComPtr<IViewObject> view;
    if (FAILED(document.As(IID_IHTMLDocument2, html)) || !html || FAILED(html.As(IID_IViewObject, view)) || !view)
        return {};

    fw::MemoryDC memory;
    fw::Bitmap picture;
    int mapMode = MM_TEXT;
    {
        fw::WindowDC screen(nullptr);
        if (!screen.get()) return {};
        memory.reset(CreateCompatibleDC(screen.get()));
        picture.reset(CreateCompatibleBitmap(screen.get(), width, height));
        mapMode = GetMapMode(screen.get());
    }
    if (!memory || !picture) return {};
    HRESULT hr = E_FAIL;
    {
        fw::Selection drawInto(memory.get(), picture.get());
        SetMapMode(memory.get(), mapMode);
        RECTL bounds{0, 0, width, height};
        hr = view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, memory.get(), &bounds, nullptr, nullptr, 0);
    }
    if (FAILED(hr)) return {};
    return picture;
}

CTaskBarProxyWnd::~CTaskBarProxyWnd() { DestroyProxy(); }

bool CTaskBarProxyWnd::CreateProxy(IEVERSION version, HWND target, HWND mainWindow, const fw::Profile& settings) {
    if (Handle()) return true;
    if (settings.GetInt(setting::kSection, setting::kDisableWin7Taskbar, 0) == 1) return false;
    m_pTaskbarList = CreateTaskbarList();
    if (!m_pTaskbarList) return false;
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
