// Windows of the pages (the top page's and each frame's) and the
// collection of a page's frames.
//
// A frame whose page could not be loaded still has a window, with its name;
// asking that window for its document fails with E_FAIL and a null document.
//
// A window is a connection point container with one point,
// HTMLWindowEvents2; the sinks live in the page's DocumentContext, since a
// window object is made afresh each time a host asks for one. The top
// page's window scrolls (scrollTo, scrollBy) the control's viewport.
#include "engines/browser/dom_internal.h"

#include "standin_stubs.h"

namespace standin::dom {
namespace {

// A page's frame windows as a collection: the frames collection itself and,
// since a window is also the collection of its frames, the page's window.
template <typename... Interfaces>
class FramesCollection : public DispatchObject<Interfaces...> {
public:
    // By position (any numeric variant) or by frame name (a string).
    HRESULT STDMETHODCALLTYPE item(VARIANT* index, VARIANT* result) override {
        if (!index || !result) return E_POINTER;
        VariantInit(result);
        const VARIANT* key = index;
        if (V_VT(key) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(key)) key = V_VARIANTREF(key);
        long at = -1;
        if (V_VT(key) == VT_BSTR || V_VT(key) == (VT_BYREF | VT_BSTR)) {
            std::wstring name = VariantText(key);
            for (LONG i = 0; i < Length() && at < 0; ++i)
                if (Name(std::size_t(i)) == name) at = i;
        } else if (V_VT(key) != VT_EMPTY && V_VT(key) != VT_NULL && V_VT(key) != VT_ERROR) {
            at = VariantLong(key, -1);
        }
        if (at < 0 || at >= Length()) return E_INVALIDARG;
        IDispatch* window = nullptr;
        HRESULT hr = MakeWindow(FramePage(std::size_t(at)), context_, Name(std::size_t(at)),
                                IID_IDispatch, reinterpret_cast<void**>(&window));
        if (FAILED(hr)) return hr;
        V_VT(result) = VT_DISPATCH;
        V_DISPATCH(result) = window;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_length(LONG* p) override {
        if (!p) return E_POINTER;
        *p = Length();
        return S_OK;
    }

protected:
    FramesCollection(std::shared_ptr<Page> page, std::shared_ptr<DocumentContext> context)
        : page_(std::move(page)), context_(std::move(context)) {}

    std::shared_ptr<Page> page_;
    std::shared_ptr<DocumentContext> context_;

private:
    LONG Length() const { return page_ ? LONG(page_->document.frames.size()) : 0; }

    std::shared_ptr<Page> FramePage(std::size_t i) const {
        return i < page_->frames.size() ? page_->frames[i] : nullptr;
    }

    std::wstring Name(std::size_t i) const {
        if (!page_->document.frames[i].name.empty()) return page_->document.frames[i].name;
        auto frame = FramePage(i);
        return frame ? frame->name : std::wstring();
    }
};

class FramesObject final : public FramesCollection<IHTMLFramesCollection2Stubs> {
public:
    FramesObject(std::shared_ptr<Page> page, std::shared_ptr<DocumentContext> context)
        : FramesCollection(std::move(page), std::move(context)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch) &&
            !IsEqualIID(iid, __uuidof(IHTMLFramesCollection2)))
            return E_NOINTERFACE;
        *out = static_cast<IHTMLFramesCollection2*>(this);
        AddRef();
        return S_OK;
    }
};

// The HTMLWindowEvents2 point of one window object, which it keeps alive.
class WindowEventsPoint final : public ComObject<IConnectionPointStubs> {
public:
    WindowEventsPoint(IConnectionPointContainer* window, std::shared_ptr<Page> page,
                      std::shared_ptr<DocumentContext> context)
        : window_(window), page_(std::move(page)), context_(std::move(context)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IConnectionPoint)) return E_NOINTERFACE;
        *out = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
        if (!iid) return E_POINTER;
        *iid = kDiidHTMLWindowEvents2;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override {
        if (!out) return E_POINTER;
        *out = window_.Get();
        (*out)->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
        if (!sink || !cookie) return E_POINTER;
        *cookie = 0;
        if (!context_ || !page_) return CONNECT_E_CANNOTCONNECT;
        ComPtr<IDispatch> dispatch;
        if (FAILED(sink->QueryInterface(kDiidHTMLWindowEvents2, reinterpret_cast<void**>(dispatch.Put()))) ||
            !dispatch) {
            if (FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.Put()))) || !dispatch)
                return CONNECT_E_CANNOTCONNECT;
        }
        *cookie = context_->nextWindowCookie++;
        context_->windowSinks.push_back({page_.get(), *cookie, std::move(dispatch)});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        if (!context_) return CONNECT_E_NOCONNECTION;
        auto& sinks = context_->windowSinks;
        for (auto it = sinks.begin(); it != sinks.end(); ++it) {
            if (it->cookie != cookie) continue;
            ComPtr<IDispatch> released = std::move(it->sink);
            sinks.erase(it);
            return S_OK;
        }
        return CONNECT_E_NOCONNECTION;
    }

private:
    ComPtr<IConnectionPointContainer> window_;
    std::shared_ptr<Page> page_;
    std::shared_ptr<DocumentContext> context_;
};

class WindowObject final : public FramesCollection<IHTMLWindow2Stubs, IConnectionPointContainerStubs> {
public:
    WindowObject(std::shared_ptr<Page> page, std::shared_ptr<DocumentContext> context, std::wstring name)
        : FramesCollection(std::move(page), std::move(context)), name_(std::move(name)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IConnectionPointContainer)) {
            *out = static_cast<IConnectionPointContainer*>(this);
            AddRef();
            return S_OK;
        }
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch) &&
            !IsEqualIID(iid, __uuidof(IHTMLFramesCollection2)) &&
            !IsEqualIID(iid, __uuidof(IHTMLWindow2)))
            return E_NOINTERFACE;
        *out = static_cast<IHTMLWindow2*>(this);
        AddRef();
        return S_OK;
    }

    // IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, kDiidHTMLWindowEvents2)) return CONNECT_E_NOCONNECTION;
        *out = new (std::nothrow) WindowEventsPoint(this, page_, context_);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    // Scrolling moves the control's viewport when this is the top page's
    // window; a frame's window does not scroll.
    HRESULT STDMETHODCALLTYPE scrollTo(LONG x, LONG y) override {
        if (IsTopWindow()) context_->scrollTo(x, y);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE scroll(LONG x, LONG y) override { return scrollTo(x, y); }
    HRESULT STDMETHODCALLTYPE scrollBy(LONG x, LONG y) override {
        if (!IsTopWindow()) return S_OK;
        const DocumentContext::Viewport v = context_->viewport();
        context_->scrollTo(v.scrollLeft + x, v.scrollTop + y);
        return S_OK;
    }

    // IHTMLWindow2
    HRESULT STDMETHODCALLTYPE get_frames(IHTMLFramesCollection2** p) override {
        if (!p) return E_POINTER;
        *p = nullptr;
        return MakeFrames(page_, context_, __uuidof(IHTMLFramesCollection2), reinterpret_cast<void**>(p));
    }
    HRESULT STDMETHODCALLTYPE get_name(BSTR* p) override { return ReturnBstr(name_, p); }
    HRESULT STDMETHODCALLTYPE get_document(IHTMLDocument2** p) override {
        if (!p) return E_POINTER;
        *p = nullptr;
        if (!page_) return E_FAIL;  // the frame's page did not load
        return MakeDocument(Anchor{page_, context_, nullptr}, __uuidof(IHTMLDocument2),
                            reinterpret_cast<void**>(p));
    }
    HRESULT STDMETHODCALLTYPE get_self(IHTMLWindow2** p) override { return Self(p); }
    HRESULT STDMETHODCALLTYPE get_window(IHTMLWindow2** p) override { return Self(p); }
    HRESULT STDMETHODCALLTYPE get_closed(VARIANT_BOOL* p) override {
        if (!p) return E_POINTER;
        *p = VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE toString(BSTR* p) override { return ReturnBstr(L"[object Window]", p); }
    // The event being handled: only a script error's, while it is reported.
    HRESULT STDMETHODCALLTYPE get_event(IHTMLEventObj** p) override {
        if (!p) return E_POINTER;
        *p = nullptr;
        if (!context_ || !context_->event) return S_OK;
        return context_->event->QueryInterface(__uuidof(IHTMLEventObj), reinterpret_cast<void**>(p));
    }

private:
    bool IsTopWindow() const {
        return page_ && context_ && context_->viewport && context_->scrollTo && context_->topPage == page_.get();
    }

    HRESULT Self(IHTMLWindow2** p) {
        if (!p) return E_POINTER;
        *p = this;
        AddRef();
        return S_OK;
    }

    std::wstring name_;
};

}  // namespace

HRESULT MakeWindow(const std::shared_ptr<Page>& page, const std::shared_ptr<DocumentContext>& context,
                   const std::wstring& name, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return NewObject<WindowObject>(iid, out, page, context, name);
}

HRESULT MakeFrames(const std::shared_ptr<Page>& page, const std::shared_ptr<DocumentContext>& context,
                   REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return NewObject<FramesObject>(iid, out, page, context);
}

}  // namespace standin::dom
