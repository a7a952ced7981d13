// The stand-in control's windows: in-place activation in the host's window,
// painting of the page with scrolling, links under the mouse, the context
// menu, and the message-only window that receives finished loads.
#include "engines/browser/browser_control.h"

#include <windowsx.h>

#include <algorithm>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace standin {

namespace {

constexpr wchar_t kControlClass[] = L"StandInWebBrowserView";
constexpr wchar_t kNotifyClass[] = L"StandInWebBrowserNotify";
constexpr int kLineStep = 40;

LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* owner = reinterpret_cast<WebBrowser*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (owner) return owner->HandleMessage(window, message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK NotifyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* owner = reinterpret_cast<WebBrowser*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (owner && (message == kLoadedMessage || message == kCloseMessage || message == kScrolledMessage))
        return owner->HandleNotifyMessage(message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterClasses() {
    static bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = ControlProc;
        wc.hInstance = ThisModule();
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kControlClass;
        RegisterClassExW(&wc);
        WNDCLASSEXW notify{};
        notify.cbSize = sizeof(notify);
        notify.lpfnWndProc = NotifyProc;
        notify.hInstance = ThisModule();
        notify.lpszClassName = kNotifyClass;
        RegisterClassExW(&notify);
        return true;
    }();
    (void)registered;
}

}  // namespace

HMODULE ThisModule() { return reinterpret_cast<HMODULE>(&__ImageBase); }

HWND CreateNotifyWindow(WebBrowser* owner) {
    RegisterClasses();
    return CreateWindowExW(0, kNotifyClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(),
                           owner);
}

LRESULT WebBrowser::HandleNotifyMessage(UINT message, WPARAM wParam, LPARAM) {
    ComPtr<IWebBrowser2> keepAlive(static_cast<IWebBrowser2*>(this));
    if (message == kLoadedMessage) FinishLoad(static_cast<unsigned>(wParam));
    else if (message == kCloseMessage) InPlaceDeactivate();
    else if (message == kScrolledMessage) FireWindowScroll();
    return 0;
}

// ---------------------------------------------------------------------------
// Activation

HRESULT WebBrowser::InPlaceActivate(IOleClientSite* site, bool uiActivate) {
    if (!site) return E_UNEXPECTED;
    if (!window_) {
        ComPtr<IOleInPlaceSite> inPlace;
        if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(inPlace.Put()))) ||
            !inPlace)
            return E_NOINTERFACE;
        if (inPlace->CanInPlaceActivate() != S_OK) return E_FAIL;
        inPlace->OnInPlaceActivate();
        HWND parent = nullptr;
        if (FAILED(inPlace->GetWindow(&parent)) || !parent) {
            inPlace->OnInPlaceDeactivate();
            return E_FAIL;
        }
        IOleInPlaceFrame* frame = nullptr;
        IOleInPlaceUIWindow* document = nullptr;
        RECT position{}, clip{};
        OLEINPLACEFRAMEINFO info{};
        info.cb = sizeof(info);
        inPlace->GetWindowContext(&frame, &document, &position, &clip, &info);
        frame_ = ComPtr<IOleInPlaceFrame>::Adopt(frame);
        if (document) document->Release();
        if (IsRectEmpty(&position)) GetClientRect(parent, &position);
        inPlaceSite_ = inPlace;
        if (!CreateControlWindow(parent, position)) {
            inPlace->OnInPlaceDeactivate();
            inPlaceSite_.Reset();
            frame_.Reset();
            return E_FAIL;
        }
        ReadHostSettings();
    }
    if (uiActivate && !uiActive_ && inPlaceSite_) {
        uiActive_ = true;
        inPlaceSite_->OnUIActivate();
        if (frame_) frame_->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this), L"");
        SetFocus(window_);
    }
    if (visible_) ShowWindow(window_, SW_SHOWNA);
    return S_OK;
}

bool WebBrowser::CreateControlWindow(HWND parent, const RECT& position) {
    RegisterClasses();
    position_ = position;
    window_ = CreateWindowExW(0, kControlClass, L"", WS_CHILD | WS_VSCROLL | WS_CLIPCHILDREN | WS_CLIPSIBLINGS |
                                  WS_TABSTOP,
                              position.left, position.top, position.right - position.left,
                              position.bottom - position.top, parent, nullptr, ThisModule(), this);
    if (!window_) return false;
    UpdateScrollBar();
    return true;
}

void WebBrowser::DestroyControlWindow() {
    if (!window_) return;
    HWND window = window_;
    window_ = nullptr;
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
    hover_ = nullptr;
    hits_.clear();
}

// ---------------------------------------------------------------------------
// Painting and scrolling

void WebBrowser::Paint(HDC dc, const RECT& client) {
    const int width = std::max<int>(client.right - client.left, 1);
    const int height = std::max<int>(client.bottom - client.top, 1);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT all{0, 0, width, height};
    FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    hover_ = nullptr;
    hits_.clear();
    if (page_) {
        context_->settings.textSizePercent = TextSizePercent(textSizeLevel_);
        RECT area{0, -scroll_, width, height};
        PaintResult result = PaintPage(*page_, memory, area, context_->settings);
        hits_ = std::move(result.links);
        contentMeasured_ = true;
        if (result.contentHeight != contentHeight_) {
            contentHeight_ = result.contentHeight;
            UpdateScrollBar();
        }
    }
    BitBlt(dc, client.left, client.top, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
}

void WebBrowser::UpdateScrollBar() {
    if (!window_) return;
    RECT client;
    GetClientRect(window_, &client);
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = std::max(contentHeight_ - 1, 0);
    info.nPage = static_cast<UINT>(std::max<LONG>(client.bottom, 0));
    const int maxScroll = std::max(0, contentHeight_ - static_cast<int>(client.bottom));
    scroll_ = std::clamp(scroll_, 0, maxScroll);
    info.nPos = scroll_;
    SetScrollInfo(window_, SB_VERT, &info, TRUE);
}

void WebBrowser::ScrollTo(int y) {
    if (!window_) return;
    RECT client;
    GetClientRect(window_, &client);
    const int maxScroll = std::max(0, ContentHeight() - static_cast<int>(client.bottom));
    y = std::clamp(y, 0, maxScroll);
    if (y == scroll_) return;
    scroll_ = y;
    SetScrollPos(window_, SB_VERT, scroll_, TRUE);
    InvalidateRect(window_, nullptr, FALSE);
    // One onscroll for any number of moves before the thread gets to it.
    if (!scrollEventPending_ && notify_ && PostMessageW(notify_, kScrolledMessage, 0, 0))
        scrollEventPending_ = true;
}

int WebBrowser::ContentHeight() {
    if (contentMeasured_ || !page_ || !window_) return contentHeight_;
    RECT client;
    GetClientRect(window_, &client);
    const int width = std::max<int>(client.right, 1);
    HDC screen = GetDC(window_);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, 1);
    HGDIOBJ old = SelectObject(memory, bitmap);
    context_->settings.textSizePercent = TextSizePercent(textSizeLevel_);
    RECT area{0, 0, width, std::max<int>(client.bottom, 1)};
    contentHeight_ = PaintPage(*page_, memory, area, context_->settings).contentHeight;
    contentMeasured_ = true;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window_, screen);
    UpdateScrollBar();
    return contentHeight_;
}

DocumentContext::Viewport WebBrowser::Viewport() {
    DocumentContext::Viewport v;
    if (!window_) return v;
    RECT client;
    GetClientRect(window_, &client);
    v.clientWidth = client.right;
    v.clientHeight = client.bottom;
    // The page is laid out to the window's width: it never scrolls sideways.
    v.scrollWidth = client.right;
    v.scrollHeight = std::max<long>(ContentHeight(), client.bottom);
    v.scrollTop = scroll_;
    return v;
}

void WebBrowser::FireWindowScroll() {
    scrollEventPending_ = false;
    if (eventsFrozen_ || !page_) return;
    // Sinks may unadvise while the event runs: fire to a copy.
    std::vector<ComPtr<IDispatch>> sinks;
    for (const auto& entry : context_->windowSinks)
        if (entry.page == page_.get()) sinks.push_back(entry.sink);
    ComPtr<IWebBrowser2> keepAlive(static_cast<IWebBrowser2*>(this));
    for (const ComPtr<IDispatch>& sink : sinks) {
        // onscroll(IHTMLEventObj* pEvtObj): no event object here.
        VARIANT arg;
        VariantInit(&arg);
        V_VT(&arg) = VT_DISPATCH;
        V_DISPATCH(&arg) = nullptr;
        DISPPARAMS params{&arg, nullptr, 1, 0};
        VARIANT result;
        VariantInit(&result);
        sink->Invoke(DISPID_HTMLWINDOWEVENTS2_ONSCROLL, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                     &result, nullptr, nullptr);
        VariantClear(&result);
    }
}

const PageHit* WebBrowser::HitTest(POINT point) const {
    for (const PageHit& hit : hits_) {
        if (PtInRect(&hit.rect, point)) return &hit;
    }
    return nullptr;
}

void WebBrowser::ShowContextMenu(POINT screen) {
    ComPtr<IWebBrowser2> keepAlive(static_cast<IWebBrowser2*>(this));
    if (uiHandler_) {
        ComPtr<IDispatch> target;
        if (document_) document_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(target.Put()));
        // S_OK: the host showed its own menu.
        if (uiHandler_->ShowContextMenu(CONTEXT_MENU_DEFAULT, &screen,
                                        static_cast<IOleCommandTarget*>(this), target.Get()) == S_OK)
            return;
    }
    if (!window_) return;
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    enum { kBack = 1, kForward, kRefresh, kPrint, kPreview };
    AppendMenuW(menu, MF_STRING | (historyIndex_ > 0 ? 0 : MF_GRAYED), kBack, L"&Back");
    AppendMenuW(menu, MF_STRING | (historyIndex_ + 1 < static_cast<int>(history_.size()) ? 0 : MF_GRAYED),
                kForward, L"F&orward");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kRefresh, L"R&efresh");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kPrint, L"&Print...");
    AppendMenuW(menu, MF_STRING, kPreview, L"Print Pre&view...");
    const int command = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, screen.x, screen.y, 0,
                                       window_, nullptr);
    DestroyMenu(menu);
    switch (command) {
    case kBack: GoBack(); break;
    case kForward: GoForward(); break;
    case kRefresh: Refresh(); break;
    case kPrint: Print(true); break;
    case kPreview: PrintPreview(); break;
    default: break;
    }
}

LRESULT WebBrowser::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ComPtr<IWebBrowser2> keepAlive(static_cast<IWebBrowser2*>(this));
    static const UINT scrollQuery = RegisterWindowMessageW(kScrollQueryMessageName);
    if (message == scrollQuery && scrollQuery) {
        const DocumentContext::Viewport v = Viewport();
        return wParam == 0 ? v.scrollTop : std::max<long>(v.scrollHeight - v.clientHeight, 0);
    }
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT client;
        GetClientRect(window, &client);
        Paint(dc, client);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_PRINTCLIENT: {
        RECT client;
        GetClientRect(window, &client);
        Paint(reinterpret_cast<HDC>(wParam), client);
        return 0;
    }
    case WM_SIZE:
        UpdateScrollBar();
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_VSCROLL: {
        RECT client;
        GetClientRect(window, &client);
        SCROLLINFO info{};
        info.cbSize = sizeof(info);
        info.fMask = SIF_TRACKPOS;
        GetScrollInfo(window, SB_VERT, &info);
        switch (LOWORD(wParam)) {
        case SB_LINEUP: ScrollTo(scroll_ - kLineStep); break;
        case SB_LINEDOWN: ScrollTo(scroll_ + kLineStep); break;
        case SB_PAGEUP: ScrollTo(scroll_ - client.bottom); break;
        case SB_PAGEDOWN: ScrollTo(scroll_ + client.bottom); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: ScrollTo(info.nTrackPos); break;
        case SB_TOP: ScrollTo(0); break;
        case SB_BOTTOM: ScrollTo(contentHeight_); break;
        default: break;
        }
        return 0;
    }
    case WM_MOUSEWHEEL:
        ScrollTo(scroll_ - GET_WHEEL_DELTA_WPARAM(wParam) * kLineStep / WHEEL_DELTA);
        return 0;
    case WM_KEYDOWN: {
        RECT client;
        GetClientRect(window, &client);
        switch (wParam) {
        case VK_UP: ScrollTo(scroll_ - kLineStep); return 0;
        case VK_DOWN: ScrollTo(scroll_ + kLineStep); return 0;
        case VK_PRIOR: ScrollTo(scroll_ - client.bottom); return 0;
        case VK_NEXT:
        case VK_SPACE: ScrollTo(scroll_ + client.bottom); return 0;
        case VK_HOME: ScrollTo(0); return 0;
        case VK_END: ScrollTo(contentHeight_); return 0;
        default: break;
        }
        break;
    }
    case WM_MOUSEACTIVATE:
        if (!uiActive_ && site_) InPlaceActivate(site_.Get(), true);
        return MA_ACTIVATE;
    case WM_LBUTTONDOWN:
        SetFocus(window);
        return 0;
    case WM_LBUTTONUP: {
        POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (const PageHit* hit = HitTest(point)) {
            const Page* page = hit->page;
            const std::size_t link = hit->link;
            if (page) OpenLink(*page, link);
        }
        return 0;
    }
    case WM_MOUSEMOVE: {
        POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        const PageHit* hit = HitTest(point);
        const bool changed = (hit == nullptr) != (hover_ == nullptr) ||
                             (hit && hover_ && (hit->page != hover_->page || hit->link != hover_->link));
        hover_ = hit;
        if (changed) {
            std::wstring text;
            if (hit && hit->page && hit->link < hit->page->document.links.size()) {
                const std::wstring& href = hit->page->document.links[hit->link].href;
                text = _wcsnicmp(href.c_str(), L"javascript:", 11) == 0 ? href : ResolveUrl(hit->page->url, href);
            }
            FireStatusText(text);
        }
        return 0;
    }
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT) {
            SetCursor(LoadCursorW(nullptr, hover_ ? IDC_HAND : IDC_ARROW));
            return TRUE;
        }
        break;
    case WM_CONTEXTMENU: {
        POINT screen{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (screen.x == -1 && screen.y == -1) {
            screen = POINT{0, 0};
            ClientToScreen(window, &screen);
        }
        ShowContextMenu(screen);
        return 0;
    }
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case kCloseMessage:
        return HandleNotifyMessage(message, wParam, lParam);
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace standin
