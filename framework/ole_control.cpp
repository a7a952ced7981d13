#include "ole_control.h"

#include "com_object.h"

#include <olectl.h>

#include <algorithm>

namespace fw {

// The site of one hosted control: its client site, in-place site and frame
// (a control in a dialog has no frame of its own to merge menus or tools
// into), control site and the ambient-property dispatch. It is reference
// counted like any COM object; the OleControl detaches it from its owner and
// window when the control goes, so a control that keeps a stray reference
// reaches a site that answers but no longer calls out.
class OleControlSite final : public DispatchObject<OleControlSite, IOleClientSite, IOleInPlaceSite, IOleInPlaceFrame,
                                                   IOleControlSite, IDispatch> {
public:
    OleControlSite(HWND parent, const RECT& rect, OleControlSiteOwner* owner)
        : m_parent(parent), m_rect(rect), m_owner(owner) {}

    void Detach() {
        m_owner = nullptr;
        m_parent = nullptr;
    }
    void SetRect(const RECT& rect) { m_rect = rect; }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
        if (moniker) *moniker = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** container) override {
        if (container) *container = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (shared by the in-place site and the frame)
    STDMETHODIMP GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = m_parent;
        return m_parent ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return m_parent ? S_OK : S_FALSE; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, RECT* position,
                                  RECT* clip, OLEINPLACEFRAMEINFO* info) override {
        if (frame) {
            *frame = this;
            AddRef();
        }
        if (document) *document = nullptr;
        if (position) *position = m_rect;
        if (clip) *clip = m_rect;
        if (info) {
            info->fMDIApp = FALSE;
            info->hwndFrame = m_parent;
            info->haccel = nullptr;
            info->cAccelEntries = 0;
        }
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT rect) override {
        if (rect) m_rect = *rect;
        return S_OK;
    }

    // IOleInPlaceUIWindow and IOleInPlaceFrame: no tool space, no menus.
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS widths) override {
        return widths ? INPLACE_E_NOTOOLSPACE : S_OK;
    }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IOleControlSite
    STDMETHODIMP OnControlInfoChanged() override { return S_OK; }
    STDMETHODIMP LockInPlaceActive(BOOL) override { return S_OK; }
    STDMETHODIMP GetExtendedControl(IDispatch** control) override {
        if (control) *control = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
    STDMETHODIMP OnFocus(BOOL) override { return S_OK; }
    STDMETHODIMP ShowPropertyFrame() override { return E_NOTIMPL; }

    // IDispatch: the ambient properties.
    HRESULT OnInvoke(DISPID id, WORD flags, DISPPARAMS*, VARIANT* result, UINT*) override {
        if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
        VARIANT value;
        VariantInit(&value);
        if (m_owner && m_owner->OnAmbientProperty(id, &value)) {
        } else if (id == DISPID_AMBIENT_USERMODE) {
            // Controls hosted here always run, never in design mode.
            value.vt = VT_BOOL;
            value.boolVal = VARIANT_TRUE;
        } else {
            return DISP_E_MEMBERNOTFOUND;
        }
        if (result) {
            VariantClear(result);
            *result = value;
        } else {
            VariantClear(&value);
        }
        return S_OK;
    }

protected:
    // The window interfaces shared by the in-place site and the frame, and
    // whatever the owner adds with the site's identity.
    HRESULT QueryOtherInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IOleWindow))
            *out = static_cast<IOleInPlaceSite*>(this);
        else if (IsEqualIID(iid, IID_IOleInPlaceUIWindow))
            *out = static_cast<IOleInPlaceFrame*>(this);
        else if (m_owner)
            return ComGuard("QuerySiteInterface", [&] { return m_owner->QuerySiteInterface(Identity(), iid, out); });
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

private:
    ~OleControlSite() override = default;

    HWND m_parent;
    RECT m_rect;
    OleControlSiteOwner* m_owner;
};

OleControl::OleControl() = default;
OleControl::~OleControl() { Destroy(); }

HRESULT OleControl::Create(REFCLSID clsid, HWND parent, const RECT& rect, UINT id, OleControlSiteOwner* owner) {
    if (m_object) return E_UNEXPECTED;
    if (!parent) return E_INVALIDARG;

    // The class object of the calling thread, as a dialog template's control
    // would get it; no licence key is involved.
    ComPtr<IClassFactory> factory;
    HRESULT hr = CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.put_void());
    if (FAILED(hr)) return hr;
    if (!factory) return E_FAIL;
    hr = factory->CreateInstance(nullptr, IID_IOleObject, m_object.put_void());
    if (FAILED(hr) || !m_object) {
        m_object.reset();
        return FAILED(hr) ? hr : E_FAIL;
    }

    m_site = MakeCom<OleControlSite>(parent, rect, owner);
    if (!m_site) {
        m_object.reset();
        return E_OUTOFMEMORY;
    }
    // The site comes first: controls such as the WebBrowser read their
    // ambient properties while they initialise.
    hr = m_object->SetClientSite(static_cast<IOleClientSite*>(m_site.get()));
    if (SUCCEEDED(hr)) {
        ComPtr<IPersistStreamInit> persist;
        if (SUCCEEDED(m_object.As(IID_IPersistStreamInit, persist)) && persist) hr = persist->InitNew();
    }
    if (SUCCEEDED(hr)) {
        RECT position = rect;
        hr = m_object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(m_site.get()), 0,
                              parent, &position);
    }
    HWND window = SUCCEEDED(hr) ? Window() : nullptr;
    if (SUCCEEDED(hr) && !window) hr = E_FAIL;
    if (FAILED(hr)) {
        Destroy();
        return hr;
    }
    SetWindowLongPtrW(window, GWLP_ID, static_cast<LONG_PTR>(id));
    Move(rect);
    ShowWindow(window, SW_SHOW);
    return S_OK;
}

HRESULT OleControl::CreateInPlaceOf(HWND dialog, UINT id, REFCLSID clsid, OleControlSiteOwner* owner) {
    HWND placeholder = dialog ? GetDlgItem(dialog, static_cast<int>(id)) : nullptr;
    if (!placeholder) return E_INVALIDARG;
    RECT rect{};
    GetWindowRect(placeholder, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    DestroyWindow(placeholder);
    return Create(clsid, dialog, rect, id, owner);
}

HRESULT OleControl::Advise(REFIID iid, IUnknown* sink, DWORD* cookie) {
    if (cookie) *cookie = 0;
    if (!m_object || !sink) return E_INVALIDARG;
    ComPtr<IConnectionPointContainer> container;
    HRESULT hr = m_object.As(IID_IConnectionPointContainer, container);
    if (FAILED(hr)) return hr;
    ComPtr<IConnectionPoint> point;
    hr = container->FindConnectionPoint(iid, point.put());
    if (FAILED(hr)) return hr;
    DWORD connection = 0;
    hr = point->Advise(sink, &connection);
    if (FAILED(hr)) return hr;
    m_connections.push_back({std::move(point), connection});
    if (cookie) *cookie = connection;
    return S_OK;
}

void OleControl::Move(const RECT& rect) {
    if (!m_object) return;
    m_site->SetRect(rect);
    ComPtr<IOleInPlaceObject> inPlace;
    if (SUCCEEDED(m_object.As(IID_IOleInPlaceObject, inPlace)) && inPlace) inPlace->SetObjectRects(&rect, &rect);
    if (HWND window = Window())
        MoveWindow(window, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
}

bool OleControl::TranslateAccelerator(MSG& msg) {
    if (!m_object) return false;
    ComPtr<IOleInPlaceActiveObject> active;
    if (FAILED(m_object.As(IID_IOleInPlaceActiveObject, active)) || !active) return false;
    return active->TranslateAccelerator(&msg) == S_OK;
}

HWND OleControl::Window() const {
    if (!m_object) return nullptr;
    ComPtr<IOleInPlaceObject> inPlace;
    HWND window = nullptr;
    if (SUCCEEDED(m_object.As(IID_IOleInPlaceObject, inPlace)) && inPlace && SUCCEEDED(inPlace->GetWindow(&window)))
        return window;
    return nullptr;
}

void OleControl::Destroy() {
    // The reverse of Create and Advise: connections, activation, the
    // control's hold on its site, the control, the site.
    for (auto it = m_connections.rbegin(); it != m_connections.rend(); ++it) it->point->Unadvise(it->cookie);
    m_connections.clear();
    if (m_object) {
        ComPtr<IOleInPlaceObject> inPlace;
        if (SUCCEEDED(m_object.As(IID_IOleInPlaceObject, inPlace)) && inPlace) inPlace->InPlaceDeactivate();
        m_object->Close(OLECLOSE_NOSAVE);
        m_object->SetClientSite(nullptr);
        m_object.reset();
    }
    if (m_site) {
        m_site->Detach();
        m_site.reset();
    }
}

} // namespace fw
