#include "tab_view.h"

#include <objbase.h>

namespace testing_support {

TestView::TestView() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &TestView::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VantrellTestView";
    RegisterClassW(&wc);
    hwnd = CreateWindowExW(0, wc.lpszClassName, L"view", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 640, 480,
                           nullptr, nullptr, wc.hInstance, this);
    ShowWindow(hwnd, SW_SHOWNOACTIVATE);
}

TestView::~TestView() {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
    for (IDispatch* browser : browsers) browser->Release();
}

std::vector<Received> TestView::Of(UINT message) const {
    std::vector<Received> out;
    for (const auto& r : received)
        if (r.message == message) out.push_back(r);
    return out;
}

bool TestView::Got(UINT message, const std::wstring& text) const {
    for (const auto& r : Of(message))
        if (text.empty() || r.text == text) return true;
    return false;
}

std::vector<std::wstring> TestView::Addresses() const {
    std::vector<std::wstring> out;
    for (const auto& r : Of(UWM_TAB_ADDRESS)) out.push_back(r.text);
    return out;
}

std::vector<HWND> TestView::Children() const {
    std::vector<HWND> out;
    for (HWND c = GetWindow(hwnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
    return out;
}

LRESULT CALLBACK TestView::Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_NCCREATE)
        SetWindowLongPtrW(h, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams));
    auto self = reinterpret_cast<TestView*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (!self || ((m < UWM_TAB_GO_ADDRESS || m > UWM_TAB_LAST) && m != WM_COMMAND)) return DefWindowProcW(h, m, w, l);
    Received r{m, w, l, {}, {}};
    switch (m) {
    case UWM_TAB_ADDRESS:
    case UWM_TAB_TITLE:
    case UWM_TAB_STATUS_TEXT:
    case UWM_TAB_NEW_WINDOW:
        if (auto text = TakeStringParam(w)) r.text = *text;
        break;
    case UWM_TAB_HISTORY_ADD:
        if (auto text = TakeStringParam(w)) r.text = *text;
        if (auto text = TakeStringParam(static_cast<std::uintptr_t>(l))) r.text2 = *text;
        break;
    case UWM_TAB_BROWSER_READY: {
        IDispatch* browser = nullptr;
        if (SUCCEEDED(CoGetInterfaceAndReleaseStream(reinterpret_cast<IStream*>(w), IID_IDispatch,
                                                     reinterpret_cast<void**>(&browser))) &&
            browser)
            self->browsers.push_back(browser);
        break;
    }
    default:
        break;
    }
    self->received.push_back(r);
    return 0;
}

} // namespace testing_support
