#include "engines/browser/tests/test_container.h"

#include "tests/support/process.h"

#include <exdispid.h>
#include <mshtmdid.h>
#include <olectl.h>

#include <cwchar>

namespace browser_test {

namespace {

constexpr IID kDiidEvents2 = {0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};
constexpr IID kDiidEvents = {0xEAB22AC2, 0x30C1, 0x11CF, {0xA7, 0xEB, 0x00, 0x00, 0xC0, 0x5B, 0xAE, 0x0B}};
constexpr CLSID kClsidWebBrowser = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
constexpr IID kIidDocHostUIHandler = {0xBD3F23C0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};

bool SameObject(IUnknown* a, IUnknown* b) {
    if (!a || !b) return a == b;
    IUnknown* ua = nullptr;
    IUnknown* ub = nullptr;
    a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ua));
    b->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ub));
    const bool same = ua && ua == ub;
    if (ua) ua->Release();
    if (ub) ub->Release();
    return same;
}

LRESULT CALLBACK ContainerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

std::wstring RenderArgument(const VARIANT& value, IUnknown* control) {
    switch (V_VT(&value)) {
    case VT_BYREF | VT_VARIANT:
        return V_VARIANTREF(&value) ? L"&" + RenderArgument(*V_VARIANTREF(&value), control) : L"&<null>";
    case VT_BYREF | VT_BOOL:
        return std::wstring(L"&") + (V_BOOLREF(&value) && *V_BOOLREF(&value) ? L"true" : L"false");
    case VT_BYREF | VT_DISPATCH:
        return L"&<object>";
    case VT_BSTR:
        return V_BSTR(&value) ? std::wstring(V_BSTR(&value), SysStringLen(V_BSTR(&value))) : L"";
    case VT_I4: return std::to_wstring(V_I4(&value));
    case VT_I2: return std::to_wstring(V_I2(&value));
    case VT_UI4: return std::to_wstring(V_UI4(&value));
    case VT_R8: {
        wchar_t text[64];
        swprintf(text, 64, L"%g", V_R8(&value));
        return text;
    }
    case VT_BOOL: return V_BOOL(&value) ? L"true" : L"false";
    case VT_DISPATCH:
        if (!V_DISPATCH(&value)) return L"<null>";
        return SameObject(V_DISPATCH(&value), control) ? L"<top>" : L"<object>";
    case VT_NULL: return L"null";
    case VT_EMPTY: return L"<empty>";
    default: return L"<vt " + std::to_wstring(V_VT(&value)) + L">";
    }
}

// ---------------------------------------------------------------------------
// The client site with its in-place site, host handler and ambient properties

class Container::Site final : public IOleClientSite,
                              public IOleInPlaceSite,
                              public IDocHostUIHandler,
                              public IDispatch {
public:
    explicit Site(Container& owner) : owner_(owner) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite) *out = static_cast<IOleClientSite*>(this);
        else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) *out = static_cast<IOleInPlaceSite*>(this);
        else if (iid == kIidDocHostUIHandler) *out = static_cast<IDocHostUIHandler*>(this);
        else if (iid == IID_IDispatch) *out = static_cast<IDispatch*>(this);
        else return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** out) override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow, IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = owner_.window_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                               LPRECT position, LPRECT clip,
                                               LPOLEINPLACEFRAMEINFO info) override {
        if (frame) *frame = nullptr;
        if (document) *document = nullptr;
        RECT client;
        GetClientRect(owner_.window_, &client);
        if (position) *position = client;
        if (clip) *clip = client;
        if (info) {
            info->fMDIApp = FALSE;
            info->hwndFrame = owner_.window_;
            info->haccel = nullptr;
            info->cAccelEntries = 0;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override {
        ++owner_.inPlaceDeactivations;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

    // IDocHostUIHandler
    HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
        ++owner_.contextMenuCalls;
        return owner_.hostContextMenu ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override {
        ++owner_.hostInfoCalls;
        if (!info) return E_POINTER;
        info->dwFlags = owner_.hostFlags;
        info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                                     IOleInPlaceUIWindow*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE HideUI() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UpdateUI() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, const GUID*, DWORD) override {
        ++owner_.acceleratorCalls;
        return owner_.acceleratorAnswer;
    }
    HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD) override {
        if (key) *key = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** out) override;
    HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

    // IDispatch: the ambient properties
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result,
                                     EXCEPINFO*, UINT*) override {
        if (id == DISPID_AMBIENT_DLCONTROL && (flags & DISPATCH_PROPERTYGET) && result) {
            ++owner_.ambientReads;
            VariantInit(result);
            V_VT(result) = VT_I4;
            V_I4(result) = static_cast<LONG>(owner_.downloadFlags);
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    Container& owner_;
    LONG refs_ = 1;
};

// ---------------------------------------------------------------------------
// Event sinks

class Container::Sink final : public IDispatch {
public:
    Sink(Container& owner, bool oldStyle) : owner_(owner), oldStyle_(oldStyle) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == (oldStyle_ ? kDiidEvents : kDiidEvents2)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        Event event;
        event.oldStyle = oldStyle_;
        event.id = id;
        const UINT count = params ? params->cArgs : 0;
        for (UINT i = 0; i < count; ++i)
            event.args.push_back(RenderArgument(params->rgvarg[count - 1 - i], owner_.control_));
        // The last argument of these events is the host's answer.
        VARIANT* last = count ? &params->rgvarg[0] : nullptr;
        auto answer = [&](bool value) {
            if (last && V_VT(last) == (VT_BYREF | VT_BOOL) && V_BOOLREF(last))
                *V_BOOLREF(last) = value ? VARIANT_TRUE : VARIANT_FALSE;
        };
        if (!oldStyle_) {
            if (id == DISPID_BEFORENAVIGATE2 && owner_.cancelNavigation && event.args.size() > 1) {
                std::wstring url = event.args[1];
                if (!url.empty() && url[0] == L'&') url.erase(0, 1);
                answer(owner_.cancelNavigation(url));
            } else if (id == DISPID_NAVIGATEERROR) {
                answer(owner_.cancelNavigateError);
            } else if (id == DISPID_WINDOWCLOSING) {
                answer(owner_.cancelWindowClosing);
            }
        } else if (id == DISPID_NEWWINDOW) {
            answer(owner_.processNewWindow);
        }
        owner_.events.push_back(std::move(event));
        return S_OK;
    }

private:
    Container& owner_;
    bool oldStyle_;
    LONG refs_ = 1;
};

// ---------------------------------------------------------------------------
// window.external: methods "Hello" (1) and "Add" (2) record their arguments.

class Container::External final : public IDispatch {
public:
    explicit External(Container& owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IDispatch) return E_NOINTERFACE;
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (count != 1 || !names || !ids) return E_INVALIDARG;
        if (_wcsicmp(names[0], L"Hello") == 0) ids[0] = 1;
        else if (_wcsicmp(names[0], L"Add") == 0) ids[0] = 2;
        else {
            ids[0] = DISPID_UNKNOWN;
            return DISP_E_UNKNOWNNAME;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO*, UINT*) override {
        if ((id != 1 && id != 2) || !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        std::vector<std::wstring> call{id == 1 ? L"Hello" : L"Add"};
        const UINT count = params ? params->cArgs : 0;
        for (UINT i = 0; i < count; ++i) {
            const VARIANT& arg = params->rgvarg[count - 1 - i];
            call.push_back(std::to_wstring(V_VT(&arg)) + L":" + RenderArgument(arg, nullptr));
        }
        owner_.externalCalls.push_back(std::move(call));
        if (result) VariantInit(result);
        return S_OK;
    }

private:
    Container& owner_;
    LONG refs_ = 1;
};

HRESULT Container::Site::GetExternal(IDispatch** out) {
    if (!out) return E_INVALIDARG;
    if (!owner_.giveExternal) return S_FALSE;
    *out = owner_.external_;
    (*out)->AddRef();
    return S_OK;
}

// ---------------------------------------------------------------------------
// Container

Container::Container(HWND parent, RECT rect) {
    static const bool registered = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = ContainerProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"BrowserTestContainer";
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        return RegisterClassW(&wc) != 0;
    }();
    (void)registered;
    const DWORD style = (parent ? WS_CHILD : WS_OVERLAPPEDWINDOW) | WS_CLIPCHILDREN | WS_VISIBLE;
    window_ = CreateWindowExW(0, L"BrowserTestContainer", L"Browser test container", style, rect.left, rect.top,
                              rect.right - rect.left, rect.bottom - rect.top, parent, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    site_ = new Site(*this);
    sink2_ = new Sink(*this, false);
    sink1_ = new Sink(*this, true);
    external_ = new External(*this);
}

Container::~Container() {
    Close();
    if (window_) DestroyWindow(window_);
    delete site_;
    delete sink2_;
    delete sink1_;
    delete external_;
}

HRESULT Container::CreateFromLibrary(const wchar_t* file) {
    library_ = LoadLibraryW(file);
    if (!library_) return HRESULT_FROM_WIN32(GetLastError());
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(library_, "DllGetClassObject")));
    if (!get) return E_NOINTERFACE;
    IClassFactory* factory = nullptr;
    HRESULT hr = get(kClsidWebBrowser, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    IUnknown* control = nullptr;
    hr = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&control));
    factory->Release();
    if (FAILED(hr)) return hr;
    hr = Embed(control);
    control->Release();
    return hr;
}

HRESULT Container::Embed(IUnknown* control) {
    if (!control) return E_POINTER;
    control_ = control;
    control_->AddRef();
    HRESULT hr = control_->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&oleObject_));
    if (FAILED(hr)) return hr;
    hr = control_->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser_));
    if (FAILED(hr)) return hr;
    hr = oleObject_->SetClientSite(static_cast<IOleClientSite*>(site_));
    if (FAILED(hr)) return hr;
    IConnectionPointContainer* points = nullptr;
    hr = control_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points));
    if (FAILED(hr)) return hr;
    IConnectionPoint* point = nullptr;
    if (SUCCEEDED(points->FindConnectionPoint(kDiidEvents2, &point))) {
        hr = point->Advise(sink2_, &cookie2_);
        point->Release();
    }
    if (SUCCEEDED(hr) && SUCCEEDED(points->FindConnectionPoint(kDiidEvents, &point))) {
        hr = point->Advise(sink1_, &cookie1_);
        point->Release();
    }
    points->Release();
    if (FAILED(hr)) return hr;
    RECT client;
    GetClientRect(window_, &client);
    return oleObject_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(site_), 0,
                              window_, &client);
}

void Container::Close() {
    if (!control_) return;
    IConnectionPointContainer* points = nullptr;
    if (SUCCEEDED(control_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points)))) {
        IConnectionPoint* point = nullptr;
        if (cookie2_ && SUCCEEDED(points->FindConnectionPoint(kDiidEvents2, &point))) {
            point->Unadvise(cookie2_);
            point->Release();
        }
        if (cookie1_ && SUCCEEDED(points->FindConnectionPoint(kDiidEvents, &point))) {
            point->Unadvise(cookie1_);
            point->Release();
        }
        points->Release();
    }
    cookie1_ = cookie2_ = 0;
    if (oleObject_) {
        oleObject_->SetClientSite(nullptr);
        oleObject_->Close(OLECLOSE_NOSAVE);
        oleObject_->Release();
        oleObject_ = nullptr;
    }
    if (browser_) browser_->Release();
    browser_ = nullptr;
    control_->Release();
    control_ = nullptr;
    // Let finished loads and closing messages drain.
    Pump([] { return false; }, 50);
}

HWND Container::ControlWindow() const {
    if (!control_) return nullptr;
    IOleWindow* window = nullptr;
    HWND result = nullptr;
    if (SUCCEEDED(control_->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&window)))) {
        window->GetWindow(&result);
        window->Release();
    }
    return result;
}

bool Container::Pump(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

int Container::Find(DISPID id, size_t from, bool oldStyle) const {
    for (size_t i = from; i < events.size(); ++i) {
        if (events[i].id == id && events[i].oldStyle == oldStyle) return static_cast<int>(i);
    }
    return -1;
}

bool Container::WaitFor(DISPID id, size_t from, DWORD timeoutMs) {
    return Pump([&] { return Find(id, from) >= 0; }, timeoutMs);
}

std::vector<Event> Container::Of(DISPID id, bool oldStyle) const {
    std::vector<Event> result;
    for (const Event& e : events)
        if (e.id == id && e.oldStyle == oldStyle) result.push_back(e);
    return result;
}

bool Container::NavigateAndWait(const std::wstring& url) {
    if (!browser_) return false;
    const size_t from = events.size();
    BSTR text = SysAllocString(url.c_str());
    const HRESULT hr = browser_->Navigate(text, nullptr, nullptr, nullptr, nullptr);
    SysFreeString(text);
    if (FAILED(hr)) return false;
    return Pump([&] {
        for (size_t i = from; i < events.size(); ++i)
            if (!events[i].oldStyle && events[i].id == DISPID_DOCUMENTCOMPLETE && !events[i].args.empty() &&
                events[i].args[0] == L"<top>")
                return true;
        return false;
    });
}

// ---------------------------------------------------------------------------
// MessageBoxAnswer

namespace {

BOOL CALLBACK FindDialogBox(HWND window, LPARAM result) {
    wchar_t name[16];
    if (GetClassNameW(window, name, 16) && wcscmp(name, L"#32770") == 0 && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(result) = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

MessageBoxAnswer::MessageBoxAnswer(DWORD threadId, int button, DWORD timeoutMs)
    : threadId_(threadId), button_(button), timeoutMs_(timeoutMs) {
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

MessageBoxAnswer::~MessageBoxAnswer() { Join(); }

std::wstring MessageBoxAnswer::Join() {
    if (thread_) {
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    return text_;
}

DWORD WINAPI MessageBoxAnswer::Run(void* param) {
    auto* self = static_cast<MessageBoxAnswer*>(param);
    const DWORD start = GetTickCount();
    auto timeLeft = [&] { return GetTickCount() - start < self->timeoutMs_; };
    while (timeLeft()) {
        HWND found = nullptr;
        EnumThreadWindows(self->threadId_, FindDialogBox, reinterpret_cast<LPARAM>(&found));
        if (found) {
            if (GetDlgItem(found, 0xFFFF)) {
                // A message box: its window exists a moment before its text
                // does, so the text is waited for, not read once. Pressing
                // the button earlier would keep an empty text.
                while ((self->text_ = testing_support::MessageBoxText(found)).empty() && timeLeft()) Sleep(10);
            } else {
                // A dialog of another kind (the print dialog) has no message
                // text; its title tells that it was shown.
                self->text_ = testing_support::WindowText(found);
            }
            PostMessageW(found, WM_COMMAND, MAKEWPARAM(self->button_, BN_CLICKED), 0);
            return 0;
        }
        Sleep(20);
    }
    return 0;
}

}  // namespace browser_test
