#include "window.h"

#include "app.h"
#include "errors.h"
#include "strings.h"

#include <vector>

namespace fw {

namespace {
constexpr const wchar_t* kObjectProp = L"fw.Window";
// Passed through CreateWindowEx so that the object is known from the very
// first message (WM_GETMINMAXINFO arrives before WM_NCCREATE).
thread_local Window* t_creating = nullptr;
}

HWND OutermostAncestor(HWND hwnd) {
    for (HWND parent = GetParent(hwnd); parent; parent = GetParent(parent)) hwnd = parent;
    return hwnd;
}

Window::~Window() {
    if (m_hWnd) {
        RemovePropW(m_hWnd, kObjectProp);
        HWND h = m_hWnd;
        m_hWnd = nullptr;
        DestroyWindow(h);
    }
}

bool Window::Create(DWORD exStyle, const wchar_t* className, const std::wstring& title, DWORD style, int x, int y,
                    int cx, int cy, HWND parent, HMENU menuOrId, HICON icon) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    if (!GetClassInfoExW(instance, className, &wc)) {
        wc = WNDCLASSEXW{};
        wc.cbSize = sizeof(wc);
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = &Window::StaticProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
        wc.lpszClassName = className;
        wc.hIcon = icon;
        if (!RegisterClassExW(&wc)) return false;
    }
    t_creating = this;
    HWND h = CreateWindowExW(exStyle, className, title.c_str(), style, x, y, cx, cy, parent, menuOrId, instance,
                             this);
    t_creating = nullptr;
    return h != nullptr && m_hWnd == h;
}

void Window::Destroy() {
    if (m_hWnd) DestroyWindow(m_hWnd);
}

Window* Window::FromHandle(HWND hwnd) {
    return hwnd ? static_cast<Window*>(GetPropW(hwnd, kObjectProp)) : nullptr;
}

std::wstring Window::Text() const {
    int n = GetWindowTextLengthW(m_hWnd);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    n = GetWindowTextW(m_hWnd, text.data(), n + 1);
    text.resize(static_cast<size_t>(n > 0 ? n : 0));
    return text;
}

bool Window::PreTranslateMessage(MSG&) { return false; }

void Window::Attach(HWND hwnd) {
    m_hWnd = hwnd;
    SetPropW(hwnd, kObjectProp, this);
}

void Window::Detach() {
    if (m_hWnd) RemovePropW(m_hWnd, kObjectProp);
    m_hWnd = nullptr;
}

bool Dialog::Create(UINT templateId, HWND parent) {
    HWND h = CreateDialogParamW(ResourceModule(), MAKEINTRESOURCEW(templateId), parent, &Dialog::StaticDialogProc,
                                reinterpret_cast<LPARAM>(this));
    // A window destroyed during its own creation may have deleted this
    // object already: only a window that still exists is asked about it.
    return h != nullptr && IsWindow(h) && Handle() == h;
}

INT_PTR Dialog::DoModal(UINT templateId, HWND parent) {
    return DialogBoxParamW(ResourceModule(), MAKEINTRESOURCEW(templateId), parent, &Dialog::StaticDialogProc,
                           reinterpret_cast<LPARAM>(this));
}

bool Dialog::PreTranslateMessage(MSG& msg) {
    return Handle() && IsDialogMessageW(Handle(), &msg);
}

bool Dialog::DialogProc(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }

INT_PTR CALLBACK Dialog::StaticDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto self = static_cast<Dialog*>(FromHandle(hwnd));
    // No exception leaves the procedure: one stopped here answers FALSE.
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        self->Attach(hwnd);
        return Guarded("dialog initialisation", INT_PTR{FALSE}, [&] { return INT_PTR{self->OnInitDialog()}; });
    }
    if (!self) return FALSE;
    INT_PTR result = 0;
    const bool handled =
        Guarded("dialog procedure", false, [&] { return self->DialogProc(message, wParam, lParam, result); });
    if (message == WM_NCDESTROY) {
        self->Detach();
        if (WinApp* app = GetApp(); app && app->MainWindow() == hwnd) app->SetMainWindow(nullptr);
        self->PostNcDestroy();
        return FALSE;
    }
    return handled ? result : FALSE;
}

LRESULT Window::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return Default(message, wParam, lParam);
}

LRESULT Window::Default(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK Window::StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* self = FromHandle(hwnd);
    if (!self && t_creating) {
        self = t_creating;
        t_creating = nullptr;
        self->m_hWnd = hwnd;
        SetPropW(hwnd, kObjectProp, self);
    }
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    // No exception leaves the procedure: one stopped here fails a creation
    // (-1 for WM_CREATE, 0 for WM_NCCREATE) and answers 0 otherwise.
    const LRESULT failure = message == WM_CREATE ? -1 : 0;
    LRESULT result =
        Guarded("window procedure", failure, [&] { return self->WindowProc(message, wParam, lParam); });
    if (message == WM_NCDESTROY) {
        RemovePropW(hwnd, kObjectProp);
        self->m_hWnd = nullptr;
        if (WinApp* app = GetApp(); app && app->MainWindow() == hwnd) {
            app->SetMainWindow(nullptr);
            PostQuitMessage(0);
        }
        self->PostNcDestroy();
    }
    return result;
}

bool FrameWnd::LoadFrame(UINT resourceId, DWORD style, HWND parent) {
    HINSTANCE instance = ResourceModule();
    std::wstring title = LoadResourceString(resourceId).value_or(L"");
    HICON icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(resourceId), IMAGE_ICON, 0, 0,
                                               LR_DEFAULTSIZE | LR_SHARED));
    m_hAccel = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(resourceId));
    return Create(0, L"fw.FrameWnd", title, style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                  parent, nullptr, icon);
}

bool FrameWnd::PreTranslateMessage(MSG& msg) {
    if (m_hAccel && msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST)
        return TranslateAcceleratorW(Handle(), m_hAccel, &msg) != 0;
    return false;
}

LRESULT FrameWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return OnCreate(reinterpret_cast<CREATESTRUCTW*>(lParam));
    case WM_SIZE:
        OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        break;
    case WM_COMMAND:
        if (OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam))) return 0;
        break;
    case WM_CLOSE:
        OnClose();
        return 0;
    default:
        break;
    }
    return Default(message, wParam, lParam);
}

} // namespace fw
