#pragma once
// Shared inside the document object model: what every object of a page's
// model holds, the tree operations, and the makers of the COM objects.
#include "engines/browser/com_util.h"
#include "engines/browser/dom.h"

#include <mshtml.h>
#include <mshtmhst.h>

#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace standin::dom {

// Elements made by CreateElement live outside the page's tree until they
// are inserted: the tree is owned here, shared by every object over it.
struct DetachedTree {
    std::unique_ptr<render::Element> root;
};

// What an object of the model keeps alive: the page, the control's shared
// settings and, for elements not in the page's tree, their detached tree.
struct Anchor {
    std::shared_ptr<Page> page;
    std::shared_ptr<DocumentContext> context;
    std::shared_ptr<DetachedTree> detached;

    void Changed() const {
        if (context && context->changed) context->changed();
    }
};

// The reference count of an object of the model that implements the
// interfaces `Bases` (or their stub classes); AddRef and Release here serve
// every one of them. The object starts with one reference, held by whoever
// made it, and counts once among the library's live objects. Each object
// answers QueryInterface itself.
template <typename... Bases>
class ComObject : public LiveObject, public Bases... {
public:
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return ULONG(left);
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;

private:
    LONG refs_ = 1;
};

// A ComObject whose interfaces (those of them that derive from IDispatch)
// offer no type information and no members through IDispatch: callers use
// the interfaces' own methods.
template <typename... Bases>
class DispatchObject : public ComObject<Bases...> {
public:
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
};

// Makes a `T` from `args` and asks it for `iid` through `out`; when it does
// not answer that interface the object goes away again.
template <typename T, typename... Args>
HRESULT NewObject(REFIID iid, void** out, Args&&... args) {
    auto* object = new (std::nothrow) T(std::forward<Args>(args)...);
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
}

// A place between nodes: before child `index` of `container` (index equal
// to the child count is the end of the container).
struct Position {
    render::Element* container = nullptr;
    std::size_t index = 0;
};

// --- Tree operations (dom_tree.cpp) ---

// The element nodes under `root` (not `root` itself) in document order.
std::vector<render::Element*> Descendants(render::Element& root);
// The element children of `parent`.
std::vector<render::Element*> ElementChildren(render::Element& parent);
// The topmost ancestor of `e` (or `e` itself).
render::Element* TreeRoot(render::Element* e);
bool IsInPage(const Page& page, const render::Element* e);
// Whether `ancestor` is `e` or one of its ancestors.
bool IsAncestorOrSelf(const render::Element* ancestor, const render::Element* e);
std::size_t IndexInParent(const render::Element& e);

// The page's <body>, or its <frameset> for a frameset document: the first
// of either in document order. When the page has neither (markup without a
// body tag, an empty page) a <body> is made around the content after the
// head's elements, so that hosts always find one.
render::Element* BodyElement(Page& page);

// Puts `wrapper` at child `first` of `parent` and moves the children from
// `first` up to `last` into it, after its own; markup pointers positioned in
// `parent` follow the moved content. Returns the wrapper.
render::Element* WrapChildren(render::Element& parent, std::size_t first, std::size_t last,
                              std::unique_ptr<render::Element> wrapper);

// Attributes written as in a start tag: NAME = "value" OTHER='x' FLAG v=bare.
std::vector<std::pair<std::wstring, std::wstring>> ParseAttributeText(std::wstring_view text);

// Markup of the children of `e` (innerHTML) or of `e` itself (outerHTML).
std::wstring InnerMarkup(const render::Element& e);
std::wstring OuterMarkup(const render::Element& e);

// Sets `property` in a list of style declarations, keeping the others as
// they were; an empty value removes the declaration.
std::wstring SetDeclaration(std::wstring_view style, std::wstring_view property,
                            std::wstring_view value);

// "backgroundColor" → "background-color"; already hyphenated names stay.
std::wstring CssPropertyName(std::wstring_view name);

std::wstring UpperCase(std::wstring_view text);
std::wstring LowerCase(std::wstring_view text);

// --- Markup pointer bookkeeping (dom_markup.cpp) ---

// Updates every live markup pointer after WrapChildren moved the children
// [first, last) of `parent` into `wrapper`, which held `existing` children.
void AdjustPointersForWrap(render::Element* parent, std::size_t first, std::size_t last,
                           render::Element* wrapper, std::size_t existing);

// --- Object makers ---

HRESULT MakeDocument(const Anchor& anchor, REFIID iid, void** out);       // dom_document.cpp
HRESULT MakeWindow(const std::shared_ptr<Page>& page, const std::shared_ptr<DocumentContext>& context,
                   const std::wstring& name, REFIID iid, void** out);     // dom_window.cpp
HRESULT MakeFrames(const std::shared_ptr<Page>& page, const std::shared_ptr<DocumentContext>& context,
                   REFIID iid, void** out);                               // dom_window.cpp
// An element's object; S_OK with a null result when `e` is null.
HRESULT MakeElement(const Anchor& anchor, render::Element* e, REFIID iid, void** out);  // dom_element.cpp
enum class CollectionKind { Descendants, Children };
HRESULT MakeCollection(const Anchor& anchor, render::Element* root, CollectionKind kind, REFIID iid,
                       void** out);                                       // dom_element.cpp
HRESULT MakeMarkupPointer(const Anchor& anchor, IMarkupPointer** out);    // dom_markup.cpp

// The tree behind one of this model's element objects; false for other objects.
bool ElementOf(IUnknown* object, Anchor* anchor, render::Element** e);
// The position of one of this model's markup pointers; false for other objects.
bool PointerOf(IUnknown* object, Anchor* anchor, std::optional<Position>* position);

// The markup services' halves, used by the document object.
HRESULT CreateElementFromTag(const Anchor& anchor, ELEMENT_TAG_ID tag, const OLECHAR* attributes,
                             IHTMLElement** out);
HRESULT InsertElementAt(const Anchor& anchor, IHTMLElement* element, IMarkupPointer* start,
                        IMarkupPointer* finish);

}  // namespace standin::dom
