// Element objects (IHTMLElement, IHTMLElement2 and, for the right tags,
// IHTMLBodyElement and IHTMLFrameSetElement), their style objects and the
// element collections.
#include "engines/browser/dom_internal.h"

#include "engines/render/text_util.h"
#include "standin_stubs.h"

#include <cwchar>

namespace standin::dom {
namespace {

using render::Element;

// Answered only by this model's element objects, to reach the tree behind them.
constexpr GUID kElementObjectIid = {0x6d1f3b52, 0x0c4e, 0x4a8f, {0x9b, 0x61, 0x2e, 0x47, 0xd0, 0x83, 0x15, 0xa9}};

HRESULT ReturnVariantText(const std::wstring& text, VARIANT* out) {
    if (!out) return E_POINTER;
    VariantInit(out);
    BSTR value = nullptr;
    HRESULT hr = ReturnBstr(text, &value);
    if (FAILED(hr)) return hr;
    V_VT(out) = VT_BSTR;
    V_BSTR(out) = value;
    return S_OK;
}

// The text a style or attribute value takes from a variant: strings as
// they are, numbers in their shortest form; nullopt for other types.
std::optional<std::wstring> ValueText(const VARIANT& value) {
    const VARIANT* v = &value;
    if (V_VT(v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(v)) v = V_VARIANTREF(v);
    switch (V_VT(v)) {
    case VT_EMPTY:
    case VT_NULL:
        return std::wstring();
    case VT_BSTR:
        return FromBstr(V_BSTR(v));
    case VT_R4:
    case VT_R8: {
        double number = V_VT(v) == VT_R4 ? V_R4(v) : V_R8(v);
        wchar_t buffer[64];
        std::swprintf(buffer, 64, L"%g", number);
        return std::wstring(buffer);
    }
    default: {
        std::wstring text = VariantText(v);
        if (text.empty() && V_VT(v) != VT_BSTR) return std::nullopt;
        return text;
    }
    }
}

class StyleObject final : public DispatchObject<IHTMLStyleStubs, IHTMLStyle3Stubs> {
public:
    // `runtime` selects the element's run-time declarations instead of its
    // style attribute.
    StyleObject(const Anchor& anchor, Element* e, bool runtime)
        : anchor_(anchor), element_(e), runtime_(runtime) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            IsEqualIID(iid, __uuidof(IHTMLStyle)))
            *out = static_cast<IHTMLStyle*>(this);
        else if (IsEqualIID(iid, __uuidof(IHTMLStyle3)))
            *out = static_cast<IHTMLStyle3*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

    // IHTMLStyle
    HRESULT STDMETHODCALLTYPE get_cssText(BSTR* p) override { return ReturnBstr(Text(), p); }
    HRESULT STDMETHODCALLTYPE put_cssText(BSTR v) override {
        SetText(FromBstr(v));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE getAttribute(BSTR name, LONG, VARIANT* value) override {
        if (!value) return E_POINTER;
        auto text = render::StyleValue(Text(), CssPropertyName(FromBstr(name)));
        return ReturnVariantText(text.value_or(std::wstring()), value);
    }
    HRESULT STDMETHODCALLTYPE setAttribute(BSTR name, VARIANT value, LONG) override {
        return Set(CssPropertyName(FromBstr(name)), value);
    }
    HRESULT STDMETHODCALLTYPE removeAttribute(BSTR name, LONG, VARIANT_BOOL* success) override {
        std::wstring property = CssPropertyName(FromBstr(name));
        bool present = render::StyleValue(Text(), property).has_value();
        if (present) SetText(SetDeclaration(Text(), property, L""));
        if (success) *success = present ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }

    // IHTMLStyle3
    HRESULT STDMETHODCALLTYPE get_zoom(VARIANT* p) override {
        return ReturnVariantText(render::StyleValue(Text(), L"zoom").value_or(std::wstring()), p);
    }
    HRESULT STDMETHODCALLTYPE put_zoom(VARIANT v) override { return Set(L"zoom", v); }

private:
    std::wstring Text() const {
        if (runtime_) return element_->runtimeStyle;
        const std::wstring* style = element_->Attribute(L"style");
        return style ? *style : std::wstring();
    }

    void SetText(std::wstring text) {
        if (runtime_) {
            element_->runtimeStyle = std::move(text);
        } else {
            bool found = false;
            for (auto& [name, value] : element_->attributes)
                if (name == L"style") {
                    value = text;
                    found = true;
                }
            if (!found) element_->attributes.emplace_back(L"style", std::move(text));
        }
        anchor_.Changed();
    }

    HRESULT Set(const std::wstring& property, const VARIANT& value) {
        auto text = ValueText(value);
        if (!text) return E_INVALIDARG;
        SetText(SetDeclaration(Text(), property, render::detail::Trim(*text)));
        return S_OK;
    }

    Anchor anchor_;
    Element* element_;
    bool runtime_;
};

class ElementObject final : public DispatchObject<IHTMLElementStubs, IHTMLElement2Stubs,
                                                 IHTMLBodyElementStubs, IHTMLFrameSetElementStubs> {
public:
    ElementObject(const Anchor& anchor, Element* e) : anchor_(anchor), element_(e) {}

    const Anchor& anchor() const { return anchor_; }
    Element* element() const { return element_; }

    // IUnknown: one identity per object, the IHTMLElement pointer.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            IsEqualIID(iid, __uuidof(IHTMLElement)) || IsEqualIID(iid, kElementObjectIid))
            *out = static_cast<IHTMLElement*>(this);
        else if (IsEqualIID(iid, __uuidof(IHTMLElement2)))
            *out = static_cast<IHTMLElement2*>(this);
        else if (IsEqualIID(iid, __uuidof(IHTMLBodyElement)) && element_->tag == L"body")
            *out = static_cast<IHTMLBodyElement*>(this);
        else if (IsEqualIID(iid, __uuidof(IHTMLFrameSetElement)) && element_->tag == L"frameset")
            *out = static_cast<IHTMLFrameSetElement*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

    // IHTMLElement
    HRESULT STDMETHODCALLTYPE setAttribute(BSTR name, VARIANT value, LONG) override {
        std::wstring key = AttributeName(FromBstr(name));
        if (key.empty()) return E_INVALIDARG;
        auto text = ValueText(value);
        if (!text) return E_INVALIDARG;
        SetAttributeText(key, *text);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE getAttribute(BSTR name, LONG, VARIANT* value) override {
        if (!value) return E_POINTER;
        VariantInit(value);
        const std::wstring* text = element_->Attribute(AttributeName(FromBstr(name)));
        if (!text) {
            V_VT(value) = VT_NULL;
            return S_OK;
        }
        return ReturnVariantText(*text, value);
    }
    HRESULT STDMETHODCALLTYPE removeAttribute(BSTR name, LONG, VARIANT_BOOL* success) override {
        std::wstring key = AttributeName(FromBstr(name));
        auto& attributes = element_->attributes;
        auto it = std::find_if(attributes.begin(), attributes.end(),
                               [&](const auto& a) { return render::detail::EqualNoCase(a.first, key); });
        bool found = it != attributes.end();
        if (found) {
            attributes.erase(it);
            anchor_.Changed();
        }
        if (success) *success = found ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_className(BSTR v) override { return SetAttributeBstr(L"class", v); }
    HRESULT STDMETHODCALLTYPE get_className(BSTR* p) override { return AttributeBstr(L"class", p); }
    HRESULT STDMETHODCALLTYPE put_id(BSTR v) override { return SetAttributeBstr(L"id", v); }
    HRESULT STDMETHODCALLTYPE get_id(BSTR* p) override { return AttributeBstr(L"id", p); }
    HRESULT STDMETHODCALLTYPE get_tagName(BSTR* p) override { return ReturnBstr(UpperCase(element_->tag), p); }
    HRESULT STDMETHODCALLTYPE get_parentElement(IHTMLElement** p) override {
        if (!p) return E_POINTER;
        *p = nullptr;
        Element* parent = element_->parent;
        if (!parent || parent->tag == L"#document") return S_OK;
        return MakeElement(anchor_, parent, __uuidof(IHTMLElement), reinterpret_cast<void**>(p));
    }
    HRESULT STDMETHODCALLTYPE get_style(IHTMLStyle** p) override { return MakeStyle(false, p); }
    HRESULT STDMETHODCALLTYPE put_title(BSTR v) override { return SetAttributeBstr(L"title", v); }
    HRESULT STDMETHODCALLTYPE get_title(BSTR* p) override { return AttributeBstr(L"title", p); }
    HRESULT STDMETHODCALLTYPE get_lang(BSTR* p) override { return AttributeBstr(L"lang", p); }
    HRESULT STDMETHODCALLTYPE get_document(IDispatch** p) override {
        if (!p) return E_POINTER;
        *p = nullptr;
        Anchor document{anchor_.page, anchor_.context, nullptr};
        return MakeDocument(document, IID_IDispatch, reinterpret_cast<void**>(p));
    }
    HRESULT STDMETHODCALLTYPE contains(IHTMLElement* child, VARIANT_BOOL* result) override {
        if (!result) return E_POINTER;
        Anchor other;
        Element* e = nullptr;
        *result = ElementOf(child, &other, &e) && IsAncestorOrSelf(element_, e) ? VARIANT_TRUE
                                                                                 : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_sourceIndex(LONG* p) override {
        if (!p) return E_POINTER;
        *p = -1;
        if (!IsInPage(*anchor_.page, element_)) return S_OK;
        auto all = Descendants(*anchor_.page->document.root);
        auto it = std::find(all.begin(), all.end(), element_);
        if (it != all.end()) *p = LONG(it - all.begin());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_innerHTML(BSTR* p) override { return ReturnBstr(InnerMarkup(*element_), p); }
    HRESULT STDMETHODCALLTYPE get_innerText(BSTR* p) override {
        return ReturnBstr(render::detail::CollapseSpace(element_->TextContent()), p);
    }
    HRESULT STDMETHODCALLTYPE get_outerHTML(BSTR* p) override { return ReturnBstr(OuterMarkup(*element_), p); }
    HRESULT STDMETHODCALLTYPE get_outerText(BSTR* p) override { return get_innerText(p); }
    HRESULT STDMETHODCALLTYPE get_children(IDispatch** p) override {
        if (!p) return E_POINTER;
        *p = nullptr;
        return MakeCollection(anchor_, element_, CollectionKind::Children, IID_IDispatch,
                              reinterpret_cast<void**>(p));
    }
    HRESULT STDMETHODCALLTYPE get_all(IDispatch** p) override {
        if (!p) return E_POINTER;
        *p = nullptr;
        return MakeCollection(anchor_, element_, CollectionKind::Descendants, IID_IDispatch,
                              reinterpret_cast<void**>(p));
    }
    HRESULT STDMETHODCALLTYPE toString(BSTR* p) override {
        return ReturnBstr(L"[object HTML" + UpperCase(element_->tag) + L"Element]", p);
    }

    // IHTMLElement2
    HRESULT STDMETHODCALLTYPE get_runtimeStyle(IHTMLStyle** p) override { return MakeStyle(true, p); }
    // The scroll and client sizes: the top page's <html> and <body> answer
    // its viewport (both, as an engine answers one or the other by the
    // document's mode); other elements are not boxes of their own here and
    // answer 0.
    HRESULT STDMETHODCALLTYPE get_scrollTop(LONG* p) override { return Metric(&Viewport::scrollTop, p); }
    HRESULT STDMETHODCALLTYPE get_scrollLeft(LONG* p) override { return Metric(&Viewport::scrollLeft, p); }
    HRESULT STDMETHODCALLTYPE get_scrollHeight(LONG* p) override { return Metric(&Viewport::scrollHeight, p); }
    HRESULT STDMETHODCALLTYPE get_scrollWidth(LONG* p) override { return Metric(&Viewport::scrollWidth, p); }
    HRESULT STDMETHODCALLTYPE get_clientHeight(LONG* p) override { return Metric(&Viewport::clientHeight, p); }
    HRESULT STDMETHODCALLTYPE get_clientWidth(LONG* p) override { return Metric(&Viewport::clientWidth, p); }
    HRESULT STDMETHODCALLTYPE get_clientTop(LONG* p) override { return Zero(p); }
    HRESULT STDMETHODCALLTYPE get_clientLeft(LONG* p) override { return Zero(p); }
    HRESULT STDMETHODCALLTYPE put_scrollTop(LONG v) override {
        if (IsViewport()) anchor_.context->scrollTo(anchor_.context->viewport().scrollLeft, v);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_scrollLeft(LONG v) override {
        if (IsViewport()) anchor_.context->scrollTo(v, anchor_.context->viewport().scrollTop);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_tagUrn(BSTR* p) override { return ReturnBstr(L"", p); }

    // IHTMLBodyElement
    HRESULT STDMETHODCALLTYPE put_bgColor(VARIANT v) override { return SetAttributeVariant(L"bgcolor", v); }
    HRESULT STDMETHODCALLTYPE get_bgColor(VARIANT* p) override { return AttributeVariant(L"bgcolor", p); }
    HRESULT STDMETHODCALLTYPE put_text(VARIANT v) override { return SetAttributeVariant(L"text", v); }
    HRESULT STDMETHODCALLTYPE get_text(VARIANT* p) override { return AttributeVariant(L"text", p); }
    HRESULT STDMETHODCALLTYPE put_link(VARIANT v) override { return SetAttributeVariant(L"link", v); }
    HRESULT STDMETHODCALLTYPE get_link(VARIANT* p) override { return AttributeVariant(L"link", p); }
    HRESULT STDMETHODCALLTYPE put_background(BSTR v) override { return SetAttributeBstr(L"background", v); }
    HRESULT STDMETHODCALLTYPE get_background(BSTR* p) override { return AttributeBstr(L"background", p); }

    // IHTMLFrameSetElement
    HRESULT STDMETHODCALLTYPE put_rows(BSTR v) override { return SetAttributeBstr(L"rows", v); }
    HRESULT STDMETHODCALLTYPE get_rows(BSTR* p) override { return AttributeBstr(L"rows", p); }
    HRESULT STDMETHODCALLTYPE put_cols(BSTR v) override { return SetAttributeBstr(L"cols", v); }
    HRESULT STDMETHODCALLTYPE get_cols(BSTR* p) override { return AttributeBstr(L"cols", p); }

private:
    using Viewport = DocumentContext::Viewport;

    bool IsViewport() const {
        const DocumentContext* c = anchor_.context.get();
        return c && c->viewport && c->scrollTo && c->topPage && c->topPage == anchor_.page.get() &&
               (element_->tag == L"html" || element_->tag == L"body") && IsInPage(*anchor_.page, element_);
    }

    HRESULT Metric(long Viewport::*member, LONG* p) const {
        if (!p) return E_POINTER;
        *p = IsViewport() ? LONG(anchor_.context->viewport().*member) : 0;
        return S_OK;
    }

    static HRESULT Zero(LONG* p) {
        if (!p) return E_POINTER;
        *p = 0;
        return S_OK;
    }

    // Attribute names as scripts give them: "className" is the class attribute.
    static std::wstring AttributeName(const std::wstring& name) {
        std::wstring lower = LowerCase(name);
        return lower == L"classname" ? L"class" : lower;
    }

    HRESULT AttributeBstr(const wchar_t* name, BSTR* p) const {
        const std::wstring* value = element_->Attribute(name);
        return ReturnBstr(value ? *value : std::wstring(), p);
    }

    HRESULT AttributeVariant(const wchar_t* name, VARIANT* p) const {
        const std::wstring* value = element_->Attribute(name);
        return ReturnVariantText(value ? *value : std::wstring(), p);
    }

    HRESULT SetAttributeBstr(const wchar_t* name, BSTR v) {
        SetAttributeText(name, FromBstr(v));
        return S_OK;
    }

    HRESULT SetAttributeVariant(const wchar_t* name, const VARIANT& v) {
        auto text = ValueText(v);
        if (!text) return E_INVALIDARG;
        SetAttributeText(name, *text);
        return S_OK;
    }

    void SetAttributeText(const std::wstring& name, const std::wstring& value) {
        bool found = false;
        for (auto& attribute : element_->attributes)
            if (render::detail::EqualNoCase(attribute.first, name)) {
                attribute.second = value;
                found = true;
                break;
            }
        if (!found) element_->attributes.emplace_back(LowerCase(name), value);
        anchor_.Changed();
    }

    HRESULT MakeStyle(bool runtime, IHTMLStyle** p) {
        if (!p) return E_POINTER;
        *p = new (std::nothrow) StyleObject(anchor_, element_, runtime);
        return *p ? S_OK : E_OUTOFMEMORY;
    }

    Anchor anchor_;
    Element* element_;
};

class CollectionObject final : public DispatchObject<IHTMLElementCollectionStubs> {
public:
    CollectionObject(const Anchor& anchor, Element* root, CollectionKind kind)
        : anchor_(anchor), root_(root), kind_(kind) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch) &&
            !IsEqualIID(iid, __uuidof(IHTMLElementCollection)))
            return E_NOINTERFACE;
        *out = static_cast<IHTMLElementCollection*>(this);
        AddRef();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE toString(BSTR* p) override { return ReturnBstr(L"[object]", p); }
    HRESULT STDMETHODCALLTYPE get_length(LONG* p) override {
        if (!p) return E_POINTER;
        *p = LONG(Elements().size());
        return S_OK;
    }
    // A number picks by position; a string picks the elements whose id or
    // name is that string, the first of them or, with a numeric `index`,
    // the index-th. Nothing found answers S_OK with null.
    HRESULT STDMETHODCALLTYPE item(VARIANT name, VARIANT index, IDispatch** p) override {
        if (!p) return E_POINTER;
        *p = nullptr;
        const VARIANT* key = &name;
        if (V_VT(key) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(key)) key = V_VARIANTREF(key);
        auto elements = Elements();
        Element* found = nullptr;
        if (IsNumber(*key)) {
            long at = VariantLong(key, -1);
            if (at >= 0 && std::size_t(at) < elements.size()) found = elements[std::size_t(at)];
        } else if (V_VT(key) == VT_BSTR || V_VT(key) == (VT_BYREF | VT_BSTR)) {
            std::wstring wanted = VariantText(key);
            const VARIANT* which = &index;
            if (V_VT(which) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(which)) which = V_VARIANTREF(which);
            long nth = IsNumber(*which) ? VariantLong(which, 0) : 0;
            for (Element* e : elements) {
                const std::wstring* id = e->Attribute(L"id");
                const std::wstring* n = e->Attribute(L"name");
                if ((id && *id == wanted) || (n && *n == wanted)) {
                    if (nth-- == 0) {
                        found = e;
                        break;
                    }
                }
            }
        } else if (V_VT(key) != VT_EMPTY && V_VT(key) != VT_ERROR && V_VT(key) != VT_NULL) {
            return E_INVALIDARG;
        }
        if (!found) return S_OK;
        return MakeElement(anchor_, found, IID_IDispatch, reinterpret_cast<void**>(p));
    }

private:
    static bool IsNumber(const VARIANT& v) {
        switch (V_VT(&v) & ~VT_BYREF) {
        case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT:
        case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: case VT_UINT:
        case VT_R4: case VT_R8:
            return true;
        default:
            return false;
        }
    }

    std::vector<Element*> Elements() const {
        return kind_ == CollectionKind::Children ? ElementChildren(*root_) : Descendants(*root_);
    }

    Anchor anchor_;
    Element* root_;
    CollectionKind kind_;
};

}  // namespace

HRESULT MakeElement(const Anchor& anchor, render::Element* e, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!e) return S_OK;
    if (e->IsText() || e->tag == L"#document") return E_INVALIDARG;
    return NewObject<ElementObject>(iid, out, anchor, e);
}

HRESULT MakeCollection(const Anchor& anchor, render::Element* root, CollectionKind kind, REFIID iid,
                       void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return NewObject<CollectionObject>(iid, out, anchor, root, kind);
}

bool ElementOf(IUnknown* object, Anchor* anchor, render::Element** e) {
    if (!object) return false;
    IHTMLElement* inner = nullptr;
    if (FAILED(object->QueryInterface(kElementObjectIid, reinterpret_cast<void**>(&inner))) || !inner)
        return false;
    auto* element = static_cast<ElementObject*>(inner);
    if (anchor) *anchor = element->anchor();
    if (e) *e = element->element();
    inner->Release();
    return true;
}

}  // namespace standin::dom
