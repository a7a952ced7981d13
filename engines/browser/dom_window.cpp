// Windows of the pages (the top page's and each frame's) and the
// collection of a page's frames.
//
// A frame whose page could not be loaded still has a window, with its name;
// asking that window for its document fails with E_FAIL and a null document.
#include "engines/browser/dom_internal.h"

#include "standin_stubs.h"

namespace standin::dom {
namespace {

// The frame windows of a page, shared by its frames collection and its window.
class FrameList {
public:
    FrameList(std::shared_ptr<Page> page, std::shared_ptr<DocumentContext> context)
        : page_(std::move(page)), context_(std::move(context)) {}

    LONG Length() const { return page_ ? LONG(page_->document.frames.size()) : 0; }

    // By position (any numeric variant) or by frame name (a string).
    HRESULT Item(const VARIANT* index, VARIANT* result) const {
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
        HRESULT hr = MakeWindow(Page(std::size_t(at)), context_, Name(std::size_t(at)), IID_IDispatch,
                                reinterpret_cast<void**>(&window));
        if (FAILED(hr)) return hr;
        V_VT(result) = VT_DISPATCH;
        V_DISPATCH(result) = window;
        return S_OK;
    }

private:
    std::shared_ptr<standin::Page> Page(std::size_t i) const {
        return i < page_->frames.size() ? page_->frames[i] : nullptr;
    }

    std::wstring Name(std::size_t i) const {
        if (!page_->document.frames[i].name.empty()) return page_->document.frames[i].name;
        auto frame = Page(i);
        return frame ? frame->name : std::wstring();
    }

    std::shared_ptr<standin::Page> page_;
    std::shared_ptr<DocumentContext> context_;
};

template <typename Interface>
class DispatchObject : public LiveObject, public Interface {
public:
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return ULONG(left);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

protected:
    virtual ~DispatchObject() = default;

private:
    LONG refs_ = 1;
};

class FramesObject final : public DispatchObject<IHTMLFramesCollection2Stubs> {
public:
    FramesObject(std::shared_ptr<Page> page, std::shared_ptr<DocumentContext> context)
        : frames_(std::move(page), std::move(context)) {}

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
    HRESULT STDMETHODCALLTYPE item(VARIANT* index, VARIANT* result) override {
        return frames_.Item(index, result);
    }
    HRESULT STDMETHODCALLTYPE get_length(LONG* p) override {
        if (!p) return E_POINTER;
        *p = frames_.Length();
        return S_OK;
    }

private:
    FrameList frames_;
};

class WindowObject final : public DispatchObject<IHTMLWindow2Stubs> {
public:
    WindowObject(std::shared_ptr<Page> page, std::shared_ptr<DocumentContext> context, std::wstring name)
        : page_(page), context_(context), name_(std::move(name)), frames_(page, context) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch) &&
            !IsEqualIID(iid, __uuidof(IHTMLFramesCollection2)) &&
            !IsEqualIID(iid, __uuidof(IHTMLWindow2)))
            return E_NOINTERFACE;
        *out = static_cast<IHTMLWindow2*>(this);
        AddRef();
        return S_OK;
    }

    // IHTMLFramesCollection2: a window is also the collection of its frames.
    HRESULT STDMETHODCALLTYPE item(VARIANT* index, VARIANT* result) override {
        return frames_.Item(index, result);
    }
    HRESULT STDMETHODCALLTYPE get_length(LONG* p) override {
        if (!p) return E_POINTER;
        *p = frames_.Length();
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

private:
    HRESULT Self(IHTMLWindow2** p) {
        if (!p) return E_POINTER;
        *p = this;
        AddRef();
        return S_OK;
    }

    std::shared_ptr<Page> page_;
    std::shared_ptr<DocumentContext> context_;
    std::wstring name_;
    FrameList frames_;
};

}  // namespace

HRESULT MakeWindow(const std::shared_ptr<Page>& page, const std::shared_ptr<DocumentContext>& context,
                   const std::wstring& name, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto* object = new (std::nothrow) WindowObject(page, context, name);
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
}

HRESULT MakeFrames(const std::shared_ptr<Page>& page, const std::shared_ptr<DocumentContext>& context,
                   REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto* object = new (std::nothrow) FramesObject(page, context);
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
}

}  // namespace standin::dom
