// The document object of a page: IHTMLDocument2, drawing through
// IViewObject2, and the markup services with the document as their
// container.
#include "engines/browser/dom_internal.h"

#include "standin_stubs.h"

namespace standin {
namespace dom {
namespace {

class DocumentObject final : public DispatchObject<IHTMLDocument2Stubs, IViewObject2Stubs,
                                                  IMarkupServicesStubs, IMarkupContainerStubs> {
public:
    explicit DocumentObject(const Anchor& anchor) : anchor_(anchor) {}

    // IUnknown: the IHTMLDocument2 pointer is the object's identity.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            IsEqualIID(iid, __uuidof(IHTMLDocument)) || IsEqualIID(iid, __uuidof(IHTMLDocument2)))
            *out = static_cast<IHTMLDocument2*>(this);
        else if (IsEqualIID(iid, IID_IViewObject) || IsEqualIID(iid, IID_IViewObject2))
            *out = static_cast<IViewObject2*>(this);
        else if (IsEqualIID(iid, __uuidof(IMarkupServices)))
            *out = static_cast<IMarkupServices*>(this);
        else if (IsEqualIID(iid, __uuidof(IMarkupContainer)))
            *out = static_cast<IMarkupContainer*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

    // IHTMLDocument2
    HRESULT STDMETHODCALLTYPE get_all(IHTMLElementCollection** p) override {
        if (!p) return E_POINTER;
        return MakeCollection(anchor_, anchor_.page->document.root.get(), CollectionKind::Descendants,
                              __uuidof(IHTMLElementCollection), reinterpret_cast<void**>(p));
    }
    HRESULT STDMETHODCALLTYPE get_body(IHTMLElement** p) override {
        if (!p) return E_POINTER;
        *p = nullptr;
        return MakeElement(anchor_, BodyElement(*anchor_.page), __uuidof(IHTMLElement),
                           reinterpret_cast<void**>(p));
    }
    HRESULT STDMETHODCALLTYPE get_title(BSTR* p) override {
        return ReturnBstr(anchor_.page->document.title, p);
    }
    HRESULT STDMETHODCALLTYPE put_title(BSTR v) override {
        anchor_.page->document.title = FromBstr(v);
        anchor_.Changed();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_readyState(BSTR* p) override { return ReturnBstr(L"complete", p); }
    HRESULT STDMETHODCALLTYPE get_frames(IHTMLFramesCollection2** p) override {
        if (!p) return E_POINTER;
        *p = nullptr;
        return MakeFrames(anchor_.page, anchor_.context, __uuidof(IHTMLFramesCollection2),
                          reinterpret_cast<void**>(p));
    }
    HRESULT STDMETHODCALLTYPE get_URL(BSTR* p) override { return ReturnBstr(anchor_.page->url, p); }
    HRESULT STDMETHODCALLTYPE get_parentWindow(IHTMLWindow2** p) override {
        if (!p) return E_POINTER;
        *p = nullptr;
        return MakeWindow(anchor_.page, anchor_.context, anchor_.page->name, __uuidof(IHTMLWindow2),
                          reinterpret_cast<void**>(p));
    }
    HRESULT STDMETHODCALLTYPE toString(BSTR* p) override { return ReturnBstr(L"[object]", p); }

    // IViewObject2: the page painted into the given bounds as the control shows it.
    HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc,
                                   LPCRECTL bounds, LPCRECTL, WINBOOL(STDMETHODCALLTYPE*)(ULONG_PTR),
                                   ULONG_PTR) override {
        if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
        if (!dc || !bounds) return E_INVALIDARG;
        RECT area{bounds->left, bounds->top, bounds->right, bounds->bottom};
        if (area.right <= area.left || area.bottom <= area.top) return S_OK;
        PaintSettings settings = anchor_.context ? anchor_.context->settings : PaintSettings{};
        PaintPage(*anchor_.page, dc, area, settings);
        return S_OK;
    }

    // IMarkupServices
    HRESULT STDMETHODCALLTYPE CreateMarkupPointer(IMarkupPointer** pointer) override {
        return MakeMarkupPointer(anchor_, pointer);
    }
    HRESULT STDMETHODCALLTYPE CreateElement(ELEMENT_TAG_ID tag, OLECHAR* attributes,
                                            IHTMLElement** element) override {
        return CreateElementFromTag(anchor_, tag, attributes, element);
    }
    HRESULT STDMETHODCALLTYPE InsertElement(IHTMLElement* element, IMarkupPointer* start,
                                            IMarkupPointer* finish) override {
        return InsertElementAt(anchor_, element, start, finish);
    }

    // IMarkupContainer
    HRESULT STDMETHODCALLTYPE OwningDoc(IHTMLDocument2** doc) override {
        if (!doc) return E_POINTER;
        *doc = static_cast<IHTMLDocument2*>(this);
        AddRef();
        return S_OK;
    }

private:
    Anchor anchor_;
};

}  // namespace

HRESULT MakeDocument(const Anchor& anchor, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!anchor.page) return E_FAIL;
    Anchor document{anchor.page, anchor.context, nullptr};
    return NewObject<DocumentObject>(iid, out, document);
}

}  // namespace dom

HRESULT CreateDocumentObject(const std::shared_ptr<Page>& page,
                             const std::shared_ptr<DocumentContext>& context, IHTMLDocument2** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!page) return E_INVALIDARG;
    return dom::MakeDocument(dom::Anchor{page, context, nullptr}, __uuidof(IHTMLDocument2),
                             reinterpret_cast<void**>(out));
}

}  // namespace standin
