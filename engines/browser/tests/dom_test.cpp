// The stand-in control's document object model through its COM interfaces,
// as hosts use it: the zoom a host applies by wrapping the body's content
// in a zoomed <div>, run-time styles of frame documents, frames and their
// windows, collections, markup pointers and drawing through IViewObject.
#include "engines/browser/dom.h"

#include "engines/browser/com_util.h"

#include "engines/render/tests/canvas.h"

#include <gtest/gtest.h>

#include <mshtmhst.h>
#include <mshtml.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using standin::ComPtr;
using standin::CreateDocumentObject;
using standin::DocumentContext;
using standin::Page;
using standin::PaintPage;
using standin::PaintSettings;

constexpr wchar_t kWrapperId[] = L"__bm__fennickbar__zoom__";

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const wchar_t* text) : value_(SysAllocString(text)) {}
    ~Bstr() { SysFreeString(value_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR* Put() {
        SysFreeString(value_);
        value_ = nullptr;
        return &value_;
    }
    BSTR Get() const { return value_; }
    std::wstring Text() const { return value_ ? std::wstring(value_, SysStringLen(value_)) : std::wstring(); }

private:
    BSTR value_ = nullptr;
};

class Variant {
public:
    Variant() { VariantInit(&v_); }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    static Variant Int(long value, VARTYPE type = VT_I4) {
        Variant v;
        V_VT(&v.v_) = VT_I4;
        V_I4(&v.v_) = value;
        if (type != VT_I4) VariantChangeType(&v.v_, &v.v_, 0, type);
        return v;
    }
    static Variant Text(const wchar_t* text) {
        Variant v;
        V_VT(&v.v_) = VT_BSTR;
        V_BSTR(&v.v_) = SysAllocString(text);
        return v;
    }
    static Variant Double(double value) {
        Variant v;
        V_VT(&v.v_) = VT_R8;
        V_R8(&v.v_) = value;
        return v;
    }
    Variant(Variant&& other) noexcept {
        v_ = other.v_;
        VariantInit(&other.v_);
    }
    VARIANT* operator&() { return &v_; }
    const VARIANT& get() const { return v_; }
    VARIANT& get() { return v_; }

private:
    VARIANT v_;
};

struct ComInit {
    ComInit() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComInit() { CoUninitialize(); }
};

std::shared_ptr<Page> MakePage(const std::wstring& html, const std::wstring& name = L"") {
    auto page = std::make_shared<Page>();
    page->url = L"http://example.test/" + (name.empty() ? std::wstring(L"index.html") : name + L".html");
    page->name = name;
    page->document = render::ParseHtml(html, 8);
    return page;
}

template <typename T>
ComPtr<T> Query(IUnknown* object) {
    ComPtr<T> result;
    if (object) object->QueryInterface(__uuidof(T), reinterpret_cast<void**>(result.Put()));
    return result;
}

std::wstring Id(IHTMLElement* element) {
    Bstr id;
    EXPECT_EQ(element->get_id(id.Put()), S_OK);
    return id.Text();
}

std::wstring TagName(IHTMLElement* element) {
    Bstr tag;
    EXPECT_EQ(element->get_tagName(tag.Put()), S_OK);
    return tag.Text();
}

std::wstring ZoomOf(IHTMLStyle* style) {
    auto style3 = Query<IHTMLStyle3>(style);
    EXPECT_TRUE(style3);
    if (!style3) return L"<no IHTMLStyle3>";
    Variant zoom;
    EXPECT_EQ(style3->get_zoom(&zoom), S_OK);
    EXPECT_EQ(V_VT(&zoom), VT_BSTR);
    return V_VT(&zoom) == VT_BSTR ? std::wstring(V_BSTR(&zoom)) : L"";
}

render::Element* FindTag(render::Element& e, const std::wstring& tag) {
    if (e.tag == tag) return &e;
    for (auto& child : e.children)
        if (auto* found = FindTag(*child, tag)) return found;
    return nullptr;
}

// What a host does to zoom a page: the body's first element is its zoom
// wrapper when it has one, whose style zoom is set; otherwise a new wrapper
// is made around all the body's content with the markup services.
void HostZoom(IHTMLDocument2* doc, const wchar_t* percent) {
    ComPtr<IHTMLElement> body;
    ASSERT_EQ(doc->get_body(body.Put()), S_OK);
    ASSERT_TRUE(body);
    auto bodyElement = Query<IHTMLBodyElement>(body.Get());
    ASSERT_TRUE(bodyElement);

    ComPtr<IDispatch> allDispatch;
    ASSERT_EQ(body->get_all(allDispatch.Put()), S_OK);
    auto all = Query<IHTMLElementCollection>(allDispatch.Get());
    ASSERT_TRUE(all);
    Variant name = Variant::Int(0), index = Variant::Int(0);
    ComPtr<IDispatch> first;
    ASSERT_EQ(all->item(name.get(), index.get(), first.Put()), S_OK);
    auto firstElement = Query<IHTMLElement>(first.Get());
    if (firstElement && Id(firstElement.Get()) == kWrapperId) {
        ComPtr<IHTMLStyle> style;
        ASSERT_EQ(firstElement->get_style(style.Put()), S_OK);
        auto style3 = Query<IHTMLStyle3>(style.Get());
        ASSERT_TRUE(style3);
        Variant zoom = Variant::Text(percent);
        ASSERT_EQ(style3->put_zoom(zoom.get()), S_OK);
        return;
    }

    auto services = Query<IMarkupServices>(doc);
    auto container = Query<IMarkupContainer>(doc);
    ASSERT_TRUE(services);
    ASSERT_TRUE(container);
    ComPtr<IMarkupPointer> start, finish;
    ASSERT_EQ(services->CreateMarkupPointer(start.Put()), S_OK);
    ASSERT_EQ(services->CreateMarkupPointer(finish.Put()), S_OK);
    ASSERT_EQ(start->MoveAdjacentToElement(body.Get(), ELEM_ADJ_AfterBegin), S_OK);
    ASSERT_EQ(finish->MoveAdjacentToElement(body.Get(), ELEM_ADJ_BeforeEnd), S_OK);
    std::wstring attributes = std::wstring(L"ID = \"") + kWrapperId + L"\" NAME=\"" + kWrapperId +
                              L"\" STYLE=\"position: relative;zoom: " + percent + L"\"";
    ComPtr<IHTMLElement> wrapper;
    ASSERT_EQ(services->CreateElement(TAGID_DIV, const_cast<OLECHAR*>(attributes.c_str()), wrapper.Put()),
              S_OK);
    ASSERT_TRUE(wrapper);
    ASSERT_EQ(services->InsertElement(wrapper.Get(), start.Get(), finish.Get()), S_OK);
}

class DomTest : public testing::Test {
protected:
    void SetUp() override {
        liveAtStart_ = standin::g_liveObjects;
        context_ = std::make_shared<DocumentContext>();
        context_->changed = [this] { ++changes_; };
    }
    void TearDown() override {
        // Every object handed out in the test has been released by now.
        EXPECT_EQ(standin::g_liveObjects, liveAtStart_);
    }

    ComPtr<IHTMLDocument2> Document(const std::shared_ptr<Page>& page) {
        ComPtr<IHTMLDocument2> doc;
        EXPECT_EQ(CreateDocumentObject(page, context_, doc.Put()), S_OK);
        return doc;
    }

    ComInit com_;
    LONG liveAtStart_ = 0;
    std::shared_ptr<DocumentContext> context_;
    int changes_ = 0;
};

const wchar_t kArticle[] =
    L"<html><head><title>Article</title></head><body bgcolor=\"white\">\n"
    L"<h1>Heading</h1>\n<p>First paragraph with <b>bold</b> words.</p>\n"
    L"<p id=\"second\">Second paragraph of text that is long enough to wrap around when "
    L"the window is narrow.</p>\nTrailing text\n</body></html>";

using DomHostZoom = DomTest;

TEST_F(DomHostZoom, FirstZoomWrapsAllBodyContentInOneDiv) {
    auto page = MakePage(kArticle);
    render::Element* body = FindTag(*page->document.root, L"body");
    ASSERT_NE(body, nullptr);
    std::vector<render::Element*> before;
    for (auto& child : body->children) before.push_back(child.get());
    ASSERT_GE(before.size(), 5u);

    auto doc = Document(page);
    HostZoom(doc.Get(), L"150%");

    ASSERT_EQ(body->children.size(), 1u);
    render::Element* wrapper = body->children[0].get();
    EXPECT_EQ(wrapper->tag, L"div");
    EXPECT_EQ(wrapper->parent, body);
    ASSERT_NE(wrapper->Attribute(L"id"), nullptr);
    EXPECT_EQ(*wrapper->Attribute(L"id"), kWrapperId);
    EXPECT_EQ(*wrapper->Attribute(L"name"), kWrapperId);
    EXPECT_EQ(render::StyleValue(*wrapper->Attribute(L"style"), L"zoom"), L"150%");
    EXPECT_EQ(render::StyleValue(*wrapper->Attribute(L"style"), L"position"), L"relative");
    ASSERT_EQ(wrapper->children.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(wrapper->children[i].get(), before[i]) << i;
        EXPECT_EQ(before[i]->parent, wrapper) << i;
    }
    EXPECT_GT(changes_, 0);
}

TEST_F(DomHostZoom, SecondZoomReusesTheWrapper) {
    auto page = MakePage(kArticle);
    auto doc = Document(page);
    HostZoom(doc.Get(), L"150%");
    render::Element* body = FindTag(*page->document.root, L"body");
    ASSERT_EQ(body->children.size(), 1u);
    render::Element* wrapper = body->children[0].get();
    std::size_t content = wrapper->children.size();
    int changesAfterFirst = changes_;

    HostZoom(doc.Get(), L"200%");
    ASSERT_EQ(body->children.size(), 1u);
    EXPECT_EQ(body->children[0].get(), wrapper);
    EXPECT_EQ(wrapper->children.size(), content);
    const std::wstring* style = wrapper->Attribute(L"style");
    ASSERT_NE(style, nullptr);
    EXPECT_EQ(render::StyleValue(*style, L"zoom"), L"200%");
    EXPECT_EQ(render::StyleValue(*style, L"position"), L"relative");
    EXPECT_EQ(style->find(L"150%"), std::wstring::npos) << std::string(style->begin(), style->end());
    EXPECT_GT(changes_, changesAfterFirst);

    ComPtr<IHTMLElementCollection> all;
    ASSERT_EQ(doc->get_all(all.Put()), S_OK);
    Variant id = Variant::Text(kWrapperId), none;
    ComPtr<IDispatch> found;
    ASSERT_EQ(all->item(id.get(), none.get(), found.Put()), S_OK);
    auto element = Query<IHTMLElement>(found.Get());
    ASSERT_TRUE(element);
    ComPtr<IHTMLStyle> wrapperStyle;
    ASSERT_EQ(element->get_style(wrapperStyle.Put()), S_OK);
    EXPECT_EQ(ZoomOf(wrapperStyle.Get()), L"200%");
}

TEST_F(DomHostZoom, PaintedPageGrowsWithTheZoom) {
    auto page = MakePage(kArticle);
    auto doc = Document(page);
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 400, 2000);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT area{0, 0, 400, 2000};
    int normal = PaintPage(*page, dc, area, PaintSettings{}).contentHeight;
    HostZoom(doc.Get(), L"150%");
    int zoomed = PaintPage(*page, dc, area, PaintSettings{}).contentHeight;
    HostZoom(doc.Get(), L"200%");
    int doubled = PaintPage(*page, dc, area, PaintSettings{}).contentHeight;
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    EXPECT_GT(normal, 50);
    EXPECT_GT(zoomed, normal * 13 / 10);
    EXPECT_GT(doubled, zoomed * 11 / 10);
}

TEST_F(DomHostZoom, ElementPutBeforeTheWrapperGetsASecondWrapperAroundEverything) {
    auto page = MakePage(kArticle);
    auto doc = Document(page);
    HostZoom(doc.Get(), L"150%");
    render::Element* body = FindTag(*page->document.root, L"body");
    render::Element* firstWrapper = body->children[0].get();

    // The page's own script puts a new element at the start of the body.
    {
        auto services = Query<IMarkupServices>(doc.Get());
        ComPtr<IHTMLElement> bodyElement;
        ASSERT_EQ(doc->get_body(bodyElement.Put()), S_OK);
        ComPtr<IMarkupPointer> at;
        ASSERT_EQ(services->CreateMarkupPointer(at.Put()), S_OK);
        ASSERT_EQ(at->MoveAdjacentToElement(bodyElement.Get(), ELEM_ADJ_AfterBegin), S_OK);
        ComPtr<IHTMLElement> banner;
        ASSERT_EQ(services->CreateElement(TAGID_SPAN, const_cast<OLECHAR*>(L"id=banner"), banner.Put()), S_OK);
        ASSERT_EQ(services->InsertElement(banner.Get(), at.Get(), nullptr), S_OK);
    }
    ASSERT_EQ(body->children.size(), 2u);
    EXPECT_EQ(body->children[0]->tag, L"span");

    HostZoom(doc.Get(), L"200%");
    ASSERT_EQ(body->children.size(), 1u);
    render::Element* outer = body->children[0].get();
    EXPECT_NE(outer, firstWrapper);
    EXPECT_EQ(*outer->Attribute(L"id"), kWrapperId);
    EXPECT_EQ(render::StyleValue(*outer->Attribute(L"style"), L"zoom"), L"200%");
    ASSERT_EQ(outer->children.size(), 2u);
    EXPECT_EQ(outer->children[0]->tag, L"span");
    EXPECT_EQ(outer->children[1].get(), firstWrapper);
    EXPECT_EQ(firstWrapper->parent, outer);
    EXPECT_EQ(render::StyleValue(*firstWrapper->Attribute(L"style"), L"zoom"), L"150%");

    // Both wrappers answer to the id; a numeric index picks among them.
    ComPtr<IHTMLElementCollection> all;
    ASSERT_EQ(doc->get_all(all.Put()), S_OK);
    Variant id = Variant::Text(kWrapperId), second = Variant::Int(1);
    ComPtr<IDispatch> found;
    ASSERT_EQ(all->item(id.get(), second.get(), found.Put()), S_OK);
    auto element = Query<IHTMLElement>(found.Get());
    ASSERT_TRUE(element);
    ComPtr<IHTMLStyle> style;
    ASSERT_EQ(element->get_style(style.Put()), S_OK);
    EXPECT_EQ(ZoomOf(style.Get()), L"150%");
}

TEST_F(DomHostZoom, PageWithoutBodyTagGetsABodyAroundItsContent) {
    auto page = MakePage(L"<title>Bare</title><p>One</p><p>Two</p>");
    auto doc = Document(page);
    ComPtr<IHTMLElement> body;
    ASSERT_EQ(doc->get_body(body.Put()), S_OK);
    ASSERT_TRUE(body);
    EXPECT_EQ(TagName(body.Get()), L"BODY");
    HostZoom(doc.Get(), L"150%");
    render::Element* bodyNode = FindTag(*page->document.root, L"body");
    ASSERT_NE(bodyNode, nullptr);
    ASSERT_EQ(bodyNode->children.size(), 1u);
    render::Element* wrapper = bodyNode->children[0].get();
    ASSERT_EQ(wrapper->children.size(), 2u);
    EXPECT_EQ(wrapper->children[0]->TextContent(), L"One");
    EXPECT_EQ(page->document.root->children[0]->tag, L"title");  // the head's elements stay out
}

using DomMarkup = DomTest;

TEST_F(DomMarkup, CreateElementParsesAttributeTextAndStaysDetached) {
    auto page = MakePage(kArticle);
    auto doc = Document(page);
    auto services = Query<IMarkupServices>(doc.Get());
    ASSERT_TRUE(services);
    ComPtr<IHTMLElement> element;
    ASSERT_EQ(services->CreateElement(
                  TAGID_DIV, const_cast<OLECHAR*>(L"ID = \"x1\"  title='single quoted' CLASS=bare "
                                                  L"STYLE=\"position: relative;zoom: 150%\""),
                  element.Put()),
              S_OK);
    EXPECT_EQ(TagName(element.Get()), L"DIV");
    EXPECT_EQ(Id(element.Get()), L"x1");
    Bstr title, className;
    ASSERT_EQ(element->get_title(title.Put()), S_OK);
    EXPECT_EQ(title.Text(), L"single quoted");
    ASSERT_EQ(element->get_className(className.Put()), S_OK);
    EXPECT_EQ(className.Text(), L"bare");
    ComPtr<IHTMLStyle> style;
    ASSERT_EQ(element->get_style(style.Put()), S_OK);
    EXPECT_EQ(ZoomOf(style.Get()), L"150%");

    ComPtr<IHTMLElement> parent;
    ASSERT_EQ(element->get_parentElement(parent.Put()), S_OK);
    EXPECT_FALSE(parent);
    Variant all = Variant::Text(L"x1"), none;
    ComPtr<IHTMLElementCollection> documentAll;
    ASSERT_EQ(doc->get_all(documentAll.Put()), S_OK);
    ComPtr<IDispatch> found;
    ASSERT_EQ(documentAll->item(all.get(), none.get(), found.Put()), S_OK);
    EXPECT_FALSE(found);  // not in the page until inserted

    ComPtr<IHTMLElement> other;
    EXPECT_EQ(services->CreateElement(TAGID_IFRAME, nullptr, other.Put()), E_NOTIMPL);
    EXPECT_FALSE(other);
}

TEST_F(DomMarkup, InsertedElementCannotBeInsertedAgain) {
    auto page = MakePage(kArticle);
    auto doc = Document(page);
    auto services = Query<IMarkupServices>(doc.Get());
    ComPtr<IHTMLElement> body, element;
    ASSERT_EQ(doc->get_body(body.Put()), S_OK);
    ASSERT_EQ(services->CreateElement(TAGID_B, nullptr, element.Put()), S_OK);
    ComPtr<IMarkupPointer> at, unplaced;
    ASSERT_EQ(services->CreateMarkupPointer(at.Put()), S_OK);
    ASSERT_EQ(services->CreateMarkupPointer(unplaced.Put()), S_OK);
    EXPECT_EQ(services->InsertElement(element.Get(), unplaced.Get(), nullptr), E_INVALIDARG);
    ASSERT_EQ(at->MoveAdjacentToElement(body.Get(), ELEM_ADJ_BeforeEnd), S_OK);
    ASSERT_EQ(services->InsertElement(element.Get(), at.Get(), nullptr), S_OK);
    EXPECT_EQ(services->InsertElement(element.Get(), at.Get(), nullptr), E_INVALIDARG);

    ComPtr<IHTMLElement> parent;
    ASSERT_EQ(element->get_parentElement(parent.Put()), S_OK);
    ASSERT_TRUE(parent);
    EXPECT_EQ(TagName(parent.Get()), L"BODY");
    render::Element* bodyNode = FindTag(*page->document.root, L"body");
    EXPECT_EQ(bodyNode->children.back()->tag, L"b");
}

TEST_F(DomMarkup, PointersFollowTheContentAroundAnInsertion) {
    auto page = MakePage(L"<body><p id=a>A</p><p id=b>B</p><p id=c>C</p></body>");
    auto doc = Document(page);
    auto services = Query<IMarkupServices>(doc.Get());
    ComPtr<IHTMLElement> body;
    ASSERT_EQ(doc->get_body(body.Put()), S_OK);
    ComPtr<IHTMLElementCollection> all;
    ASSERT_EQ(doc->get_all(all.Put()), S_OK);
    auto byId = [&](const wchar_t* id) {
        Variant name = Variant::Text(id), none;
        ComPtr<IDispatch> found;
        EXPECT_EQ(all->item(name.get(), none.get(), found.Put()), S_OK);
        return Query<IHTMLElement>(found.Get());
    };
    auto make = [&] {
        ComPtr<IMarkupPointer> p;
        EXPECT_EQ(services->CreateMarkupPointer(p.Put()), S_OK);
        return p;
    };
    auto scopeId = [&](IMarkupPointer* p) {
        ComPtr<IHTMLElement> scope;
        EXPECT_EQ(p->CurrentScope(scope.Put()), S_OK);
        return scope ? Id(scope.Get()) + L"/" + TagName(scope.Get()) : std::wstring(L"<none>");
    };

    // Wrap B and C: start before B, finish after C.
    auto start = make(), finish = make(), beforeA = make(), insideRun = make(), rightEdge = make();
    ASSERT_EQ(start->MoveAdjacentToElement(byId(L"b").Get(), ELEM_ADJ_BeforeBegin), S_OK);
    ASSERT_EQ(finish->MoveAdjacentToElement(byId(L"c").Get(), ELEM_ADJ_AfterEnd), S_OK);
    ASSERT_EQ(beforeA->MoveAdjacentToElement(byId(L"a").Get(), ELEM_ADJ_BeforeBegin), S_OK);
    ASSERT_EQ(insideRun->MoveAdjacentToElement(byId(L"c").Get(), ELEM_ADJ_BeforeBegin), S_OK);
    ASSERT_EQ(rightEdge->MoveToPointer(finish.Get()), S_OK);
    ASSERT_EQ(rightEdge->SetGravity(POINTER_GRAVITY_Right), S_OK);
    WINBOOL result = FALSE;
    ASSERT_EQ(start->IsLeftOf(finish.Get(), &result), S_OK);
    EXPECT_TRUE(result);
    ASSERT_EQ(rightEdge->IsEqualTo(finish.Get(), &result), S_OK);
    EXPECT_TRUE(result);

    ComPtr<IHTMLElement> wrapper;
    ASSERT_EQ(services->CreateElement(TAGID_DIV, const_cast<OLECHAR*>(L"id=w"), wrapper.Put()), S_OK);
    ASSERT_EQ(services->InsertElement(wrapper.Get(), start.Get(), finish.Get()), S_OK);

    EXPECT_EQ(scopeId(start.Get()), L"/BODY");     // stays before the wrapper
    EXPECT_EQ(scopeId(finish.Get()), L"w/DIV");    // left gravity: inside, after C
    EXPECT_EQ(scopeId(insideRun.Get()), L"w/DIV");
    EXPECT_EQ(scopeId(beforeA.Get()), L"/BODY");
    EXPECT_EQ(scopeId(rightEdge.Get()), L"/BODY");  // right gravity: after the wrapper

    auto afterWrapper = make(), endOfWrapper = make(), beforeC = make();
    ASSERT_EQ(afterWrapper->MoveAdjacentToElement(wrapper.Get(), ELEM_ADJ_AfterEnd), S_OK);
    ASSERT_EQ(endOfWrapper->MoveAdjacentToElement(wrapper.Get(), ELEM_ADJ_BeforeEnd), S_OK);
    ASSERT_EQ(beforeC->MoveAdjacentToElement(byId(L"c").Get(), ELEM_ADJ_BeforeBegin), S_OK);
    ASSERT_EQ(rightEdge->IsEqualTo(afterWrapper.Get(), &result), S_OK);
    EXPECT_TRUE(result);
    ASSERT_EQ(finish->IsEqualTo(endOfWrapper.Get(), &result), S_OK);
    EXPECT_TRUE(result);
    ASSERT_EQ(insideRun->IsEqualTo(beforeC.Get(), &result), S_OK);
    EXPECT_TRUE(result);
    ASSERT_EQ(beforeA->IsLeftOf(start.Get(), &result), S_OK);
    EXPECT_TRUE(result);

    ASSERT_EQ(start->Unposition(), S_OK);
    ASSERT_EQ(start->IsPositioned(&result), S_OK);
    EXPECT_FALSE(result);
    ASSERT_EQ(finish->IsPositioned(&result), S_OK);
    EXPECT_TRUE(result);

    render::Element* bodyNode = FindTag(*page->document.root, L"body");
    ASSERT_EQ(bodyNode->children.size(), 2u);
    EXPECT_EQ(*bodyNode->children[0]->Attribute(L"id"), L"a");
    ASSERT_EQ(bodyNode->children[1]->children.size(), 2u);
    EXPECT_EQ(*bodyNode->children[1]->children[1]->Attribute(L"id"), L"c");
}

TEST_F(DomMarkup, DocumentAnswersItsInterfacesWithOneIdentity) {
    auto page = MakePage(kArticle);
    auto doc = Document(page);
    auto unknown = Query<IUnknown>(doc.Get());
    auto services = Query<IMarkupServices>(doc.Get());
    auto container = Query<IMarkupContainer>(doc.Get());
    auto view = Query<IViewObject2>(doc.Get());
    auto dispatch = Query<IDispatch>(doc.Get());
    ASSERT_TRUE(services && container && view && dispatch);
    EXPECT_EQ(Query<IUnknown>(services.Get()).Get(), unknown.Get());
    EXPECT_EQ(Query<IUnknown>(view.Get()).Get(), unknown.Get());
    ComPtr<IHTMLDocument2> owner;
    ASSERT_EQ(container->OwningDoc(owner.Put()), S_OK);
    EXPECT_EQ(Query<IUnknown>(owner.Get()).Get(), unknown.Get());
    EXPECT_FALSE(Query<IOleCommandTarget>(doc.Get()));

    ComPtr<IHTMLElement> body;
    ASSERT_EQ(doc->get_body(body.Put()), S_OK);
    auto body2 = Query<IHTMLElement2>(body.Get());
    ASSERT_TRUE(body2);
    EXPECT_EQ(Query<IUnknown>(body2.Get()).Get(), Query<IUnknown>(body.Get()).Get());
}

using DomDocument = DomTest;

TEST_F(DomDocument, TitleUrlAndReadyState) {
    auto page = MakePage(kArticle);
    auto doc = Document(page);
    Bstr title, url, state;
    ASSERT_EQ(doc->get_title(title.Put()), S_OK);
    EXPECT_EQ(title.Text(), L"Article");
    ASSERT_EQ(doc->get_URL(url.Put()), S_OK);
    EXPECT_EQ(url.Text(), L"http://example.test/index.html");
    ASSERT_EQ(doc->get_readyState(state.Put()), S_OK);
    EXPECT_EQ(state.Text(), L"complete");

    Bstr newTitle(L"Renamed");
    ASSERT_EQ(doc->put_title(newTitle.Get()), S_OK);
    EXPECT_EQ(page->document.title, L"Renamed");
    EXPECT_EQ(changes_, 1);
    // Once the control is gone, changes notify nobody and still apply.
    context_->changed = nullptr;
    Bstr again(L"Again");
    ASSERT_EQ(doc->put_title(again.Get()), S_OK);
    EXPECT_EQ(page->document.title, L"Again");
}

TEST_F(DomDocument, ElementsReadTheirTree) {
    auto page = MakePage(kArticle);
    auto doc = Document(page);
    ComPtr<IHTMLElementCollection> all;
    ASSERT_EQ(doc->get_all(all.Put()), S_OK);
    LONG length = 0;
    ASSERT_EQ(all->get_length(&length), S_OK);
    // html head title body h1 p b p
    EXPECT_EQ(length, 8);
    Variant sixth = Variant::Int(5, VT_I2), none;
    ComPtr<IDispatch> item;
    ASSERT_EQ(all->item(sixth.get(), none.get(), item.Put()), S_OK);
    auto p = Query<IHTMLElement>(item.Get());
    ASSERT_TRUE(p);
    EXPECT_EQ(TagName(p.Get()), L"P");
    Bstr text, html;
    ASSERT_EQ(p->get_innerText(text.Put()), S_OK);
    EXPECT_EQ(text.Text(), L"First paragraph with bold words.");
    ASSERT_EQ(p->get_innerHTML(html.Put()), S_OK);
    EXPECT_EQ(html.Text(), L"First paragraph with <B>bold</B> words.");
    LONG index = 0;
    ASSERT_EQ(p->get_sourceIndex(&index), S_OK);
    EXPECT_EQ(index, 5);

    ComPtr<IHTMLElement> parent;
    ASSERT_EQ(p->get_parentElement(parent.Put()), S_OK);
    EXPECT_EQ(TagName(parent.Get()), L"BODY");
    ComPtr<IDispatch> childrenDispatch;
    ASSERT_EQ(parent->get_children(childrenDispatch.Put()), S_OK);
    auto children = Query<IHTMLElementCollection>(childrenDispatch.Get());
    ASSERT_EQ(children->get_length(&length), S_OK);
    EXPECT_EQ(length, 3);  // h1 p p: the text between them is not an element

    Variant outOfRange = Variant::Int(99);
    ComPtr<IDispatch> missing;
    ASSERT_EQ(all->item(outOfRange.get(), none.get(), missing.Put()), S_OK);
    EXPECT_FALSE(missing);
    Variant unknownName = Variant::Text(L"nothing-here");
    ASSERT_EQ(all->item(unknownName.get(), none.get(), missing.Put()), S_OK);
    EXPECT_FALSE(missing);

    Bstr attribute(L"data-mark");
    Variant value = Variant::Text(L"yes");
    ASSERT_EQ(p->setAttribute(attribute.Get(), value.get(), 0), S_OK);
    Variant read;
    ASSERT_EQ(p->getAttribute(attribute.Get(), 0, &read), S_OK);
    ASSERT_EQ(V_VT(&read), VT_BSTR);
    EXPECT_STREQ(V_BSTR(&read), L"yes");
    Bstr absent(L"absent");
    Variant nothing;
    ASSERT_EQ(p->getAttribute(absent.Get(), 0, &nothing), S_OK);
    EXPECT_EQ(V_VT(&nothing), VT_NULL);
    Bstr newId(L"first");
    ASSERT_EQ(p->put_id(newId.Get()), S_OK);
    EXPECT_NE(page->document.FindById(L"first"), nullptr);
}

TEST_F(DomDocument, CollectionsFindByIdOrName) {
    auto page = MakePage(L"<body><form name=\"f\"><input name=\"q\"><input id=\"q\"></form>"
                         L"<div id=\"box\"><span name=\"q\">s</span></div></body>");
    auto doc = Document(page);
    ComPtr<IHTMLElementCollection> all;
    ASSERT_EQ(doc->get_all(all.Put()), S_OK);
    auto pick = [&](const wchar_t* name, Variant index) {
        Variant key = Variant::Text(name);
        ComPtr<IDispatch> found;
        EXPECT_EQ(all->item(key.get(), index.get(), found.Put()), S_OK);
        auto element = Query<IHTMLElement>(found.Get());
        return element ? TagName(element.Get()) + L"#" + Id(element.Get()) : std::wstring(L"none");
    };
    EXPECT_EQ(pick(L"f", Variant()), L"FORM#");
    EXPECT_EQ(pick(L"q", Variant()), L"INPUT#");
    EXPECT_EQ(pick(L"q", Variant::Int(1)), L"INPUT#q");
    EXPECT_EQ(pick(L"q", Variant::Int(2)), L"SPAN#");
    EXPECT_EQ(pick(L"q", Variant::Int(3)), L"none");

    // An element's own collection holds only its descendants.
    Variant box = Variant::Text(L"box"), none;
    ComPtr<IDispatch> found;
    ASSERT_EQ(all->item(box.get(), none.get(), found.Put()), S_OK);
    auto div = Query<IHTMLElement>(found.Get());
    ComPtr<IDispatch> divAllDispatch;
    ASSERT_EQ(div->get_all(divAllDispatch.Put()), S_OK);
    auto divAll = Query<IHTMLElementCollection>(divAllDispatch.Get());
    LONG length = 0;
    ASSERT_EQ(divAll->get_length(&length), S_OK);
    EXPECT_EQ(length, 1);
    Variant q = Variant::Text(L"q"), second = Variant::Int(1);
    ComPtr<IDispatch> none2;
    ASSERT_EQ(divAll->item(q.get(), second.get(), none2.Put()), S_OK);
    EXPECT_FALSE(none2);
}

TEST_F(DomDocument, StyleZoomKeepsOtherDeclarationsAndTakesNumbers) {
    auto page = MakePage(L"<body><p id=p style=\"color: red; ZOOM: 1\">x</p></body>");
    auto doc = Document(page);
    ComPtr<IHTMLElementCollection> all;
    ASSERT_EQ(doc->get_all(all.Put()), S_OK);
    Variant key = Variant::Text(L"p"), none;
    ComPtr<IDispatch> found;
    ASSERT_EQ(all->item(key.get(), none.get(), found.Put()), S_OK);
    auto p = Query<IHTMLElement>(found.Get());
    ComPtr<IHTMLStyle> style;
    ASSERT_EQ(p->get_style(style.Put()), S_OK);
    auto style3 = Query<IHTMLStyle3>(style.Get());
    ASSERT_TRUE(style3);
    const render::Element* node = page->document.FindById(L"p");
    auto attribute = [&] { return *node->Attribute(L"style"); };

    EXPECT_EQ(ZoomOf(style.Get()), L"1");
    Variant number = Variant::Double(1.5);
    ASSERT_EQ(style3->put_zoom(number.get()), S_OK);
    EXPECT_EQ(attribute(), L"color: red; zoom: 1.5");
    Variant integer = Variant::Int(2);
    ASSERT_EQ(style3->put_zoom(integer.get()), S_OK);
    EXPECT_EQ(render::StyleValue(attribute(), L"zoom"), L"2");
    Variant percent = Variant::Text(L"125%");
    ASSERT_EQ(style3->put_zoom(percent.get()), S_OK);
    EXPECT_EQ(ZoomOf(style.Get()), L"125%");
    Variant empty = Variant::Text(L"");
    ASSERT_EQ(style3->put_zoom(empty.get()), S_OK);
    EXPECT_EQ(attribute(), L"color: red");
    EXPECT_EQ(ZoomOf(style.Get()), L"");
    Bstr css;
    ASSERT_EQ(style->get_cssText(css.Put()), S_OK);
    EXPECT_EQ(css.Text(), L"color: red");
    EXPECT_GE(changes_, 4);
}

using DomFrames = DomTest;

const wchar_t kFrameset[] =
    L"<html><head><title>Frames</title></head>"
    L"<frameset cols=\"30%,*\" rows=\"*\"><frame name=\"menu\" src=\"menu.html\">"
    L"<frame name=\"main\" src=\"main.html\"></frameset></html>";

std::shared_ptr<Page> FramesetPage() {
    auto page = MakePage(kFrameset);
    page->frames = {MakePage(L"<html><head><title>Menu</title></head><body><p>menu entries</p>"
                             L"<p>more entries</p></body></html>",
                             L"menu"),
                    MakePage(L"<title>Main</title><body><p>main text</p><p>more main text</p></body>",
                             L"main")};
    return page;
}

TEST_F(DomFrames, FramesReachTheirDocumentsThroughWindows) {
    auto page = FramesetPage();
    auto doc = Document(page);
    ComPtr<IHTMLFramesCollection2> frames;
    ASSERT_EQ(doc->get_frames(frames.Put()), S_OK);
    LONG length = 0;
    ASSERT_EQ(frames->get_length(&length), S_OK);
    ASSERT_EQ(length, 2);
    const wchar_t* titles[] = {L"Menu", L"Main"};
    const wchar_t* names[] = {L"menu", L"main"};
    for (LONG i = 0; i < length; ++i) {
        Variant index = Variant::Int(i), result;
        ASSERT_EQ(frames->item(&index, &result), S_OK);
        ASSERT_EQ(V_VT(&result), VT_DISPATCH);
        auto window = Query<IHTMLWindow2>(V_DISPATCH(&result));
        ASSERT_TRUE(window);
        Bstr name, title;
        ASSERT_EQ(window->get_name(name.Put()), S_OK);
        EXPECT_EQ(name.Text(), names[i]);
        ComPtr<IHTMLDocument2> frameDoc;
        ASSERT_EQ(window->get_document(frameDoc.Put()), S_OK);
        ASSERT_EQ(frameDoc->get_title(title.Put()), S_OK);
        EXPECT_EQ(title.Text(), titles[i]);
    }
    Variant byName = Variant::Text(L"main"), result;
    ASSERT_EQ(frames->item(&byName, &result), S_OK);
    auto mainWindow = Query<IHTMLWindow2>(V_DISPATCH(&result));
    ComPtr<IHTMLDocument2> mainDoc;
    ASSERT_EQ(mainWindow->get_document(mainDoc.Put()), S_OK);
    Bstr url;
    ASSERT_EQ(mainDoc->get_URL(url.Put()), S_OK);
    EXPECT_EQ(url.Text(), L"http://example.test/main.html");

    Variant outOfRange = Variant::Int(2), nothing;
    EXPECT_EQ(frames->item(&outOfRange, &nothing), E_INVALIDARG);
    Variant unknownName = Variant::Text(L"sidebar");
    EXPECT_EQ(frames->item(&unknownName, &nothing), E_INVALIDARG);

    // The page's window is also the collection of its frames.
    ComPtr<IHTMLWindow2> top;
    ASSERT_EQ(doc->get_parentWindow(top.Put()), S_OK);
    ASSERT_EQ(top->get_length(&length), S_OK);
    EXPECT_EQ(length, 2);
    ComPtr<IHTMLDocument2> topDoc;
    ASSERT_EQ(top->get_document(topDoc.Put()), S_OK);
    Bstr topTitle;
    ASSERT_EQ(topDoc->get_title(topTitle.Put()), S_OK);
    EXPECT_EQ(topTitle.Text(), L"Frames");
}

TEST_F(DomFrames, FrameWithoutPageHasAWindowButNoDocument) {
    auto page = FramesetPage();
    page->frames[1] = nullptr;
    auto doc = Document(page);
    ComPtr<IHTMLFramesCollection2> frames;
    ASSERT_EQ(doc->get_frames(frames.Put()), S_OK);
    Variant index = Variant::Int(1), result;
    ASSERT_EQ(frames->item(&index, &result), S_OK);
    auto window = Query<IHTMLWindow2>(V_DISPATCH(&result));
    ASSERT_TRUE(window);
    Bstr name;
    ASSERT_EQ(window->get_name(name.Put()), S_OK);
    EXPECT_EQ(name.Text(), L"main");
    ComPtr<IHTMLDocument2> frameDoc;
    EXPECT_EQ(window->get_document(frameDoc.Put()), E_FAIL);
    EXPECT_FALSE(frameDoc);
}

TEST_F(DomFrames, RuntimeStyleZoomOnFramesetAndFrameBodies) {
    auto page = FramesetPage();
    auto doc = Document(page);

    ComPtr<IHTMLElement> top;
    ASSERT_EQ(doc->get_body(top.Put()), S_OK);
    ASSERT_TRUE(top);
    EXPECT_EQ(TagName(top.Get()), L"FRAMESET");
    EXPECT_FALSE(Query<IHTMLBodyElement>(top.Get()));
    auto frameset = Query<IHTMLFrameSetElement>(top.Get());
    ASSERT_TRUE(frameset);
    Bstr cols, rows;
    ASSERT_EQ(frameset->get_cols(cols.Put()), S_OK);
    EXPECT_EQ(cols.Text(), L"30%,*");
    ASSERT_EQ(frameset->get_rows(rows.Put()), S_OK);
    EXPECT_EQ(rows.Text(), L"*");
    auto top2 = Query<IHTMLElement2>(top.Get());
    ComPtr<IHTMLStyle> framesetRuntime;
    ASSERT_EQ(top2->get_runtimeStyle(framesetRuntime.Put()), S_OK);
    Variant half = Variant::Text(L"50%");
    ASSERT_EQ(Query<IHTMLStyle3>(framesetRuntime.Get())->put_zoom(half.get()), S_OK);
    EXPECT_EQ(ZoomOf(framesetRuntime.Get()), L"50%");
    EXPECT_EQ(render::StyleValue(FindTag(*page->document.root, L"frameset")->runtimeStyle, L"zoom"), L"50%");

    ComPtr<IHTMLFramesCollection2> frames;
    ASSERT_EQ(doc->get_frames(frames.Put()), S_OK);
    for (LONG i = 0; i < 2; ++i) {
        auto framePage = page->frames[std::size_t(i)];
        HDC dc = CreateCompatibleDC(nullptr);
        HBITMAP bitmap = CreateCompatibleBitmap(dc, 300, 1000);
        HGDIOBJ old = SelectObject(dc, bitmap);
        int before = PaintPage(*framePage, dc, RECT{0, 0, 300, 1000}, PaintSettings{}).contentHeight;

        Variant index = Variant::Int(i), result;
        ASSERT_EQ(frames->item(&index, &result), S_OK);
        auto window = Query<IHTMLWindow2>(V_DISPATCH(&result));
        ComPtr<IHTMLDocument2> frameDoc;
        ASSERT_EQ(window->get_document(frameDoc.Put()), S_OK);
        ComPtr<IHTMLElement> body;
        ASSERT_EQ(frameDoc->get_body(body.Put()), S_OK);
        auto body2 = Query<IHTMLElement2>(body.Get());
        ASSERT_TRUE(body2);
        ComPtr<IHTMLStyle> runtime;
        ASSERT_EQ(body2->get_runtimeStyle(runtime.Put()), S_OK);
        Variant zoom = Variant::Text(L"50%");
        ASSERT_EQ(Query<IHTMLStyle3>(runtime.Get())->put_zoom(zoom.get()), S_OK);

        ComPtr<IHTMLStyle> again;
        ASSERT_EQ(body2->get_runtimeStyle(again.Put()), S_OK);
        EXPECT_EQ(ZoomOf(again.Get()), L"50%");
        // The style attribute is a different thing and stays untouched.
        ComPtr<IHTMLStyle> inline_;
        ASSERT_EQ(body->get_style(inline_.Put()), S_OK);
        EXPECT_EQ(ZoomOf(inline_.Get()), L"");
        EXPECT_EQ(render::StyleValue(FindTag(*framePage->document.root, L"body")->runtimeStyle, L"zoom"),
                  L"50%");

        int after = PaintPage(*framePage, dc, RECT{0, 0, 300, 1000}, PaintSettings{}).contentHeight;
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        EXPECT_LT(after, before * 3 / 4) << i;
    }
}

using DomViewObject = DomTest;

TEST_F(DomViewObject, DrawPaintsThePageIntoTheBounds) {
    auto page = MakePage(kArticle);
    auto doc = Document(page);
    auto view = Query<IViewObject>(doc.Get());
    ASSERT_TRUE(view);

    const int width = 320, height = 240;
    render_test::Canvas canvas(width, height);
    ASSERT_TRUE(canvas.valid());
    canvas.Fill(RGB(0x33, 0x66, 0x99));  // not a page colour
    HDC dc = canvas.dc();

    RECTL bounds{20, 10, 300, 230};
    EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0),
              S_OK);
    int dark = 0, white = 0, outsideChanged = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const COLORREF c = canvas.At(x, y);
            const DWORD p = (DWORD(GetRValue(c)) << 16) | (DWORD(GetGValue(c)) << 8) | GetBValue(c);
            bool inside = x >= bounds.left && x < bounds.right && y >= bounds.top && y < bounds.bottom;
            if (!inside) {
                if (p != 0x336699) ++outsideChanged;
                continue;
            }
            if (p == 0xFFFFFF) ++white;
            else if (((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF) < 300) ++dark;
        }
    EXPECT_EQ(outsideChanged, 0);
    EXPECT_GT(white, (bounds.right - bounds.left) * (bounds.bottom - bounds.top) / 2);
    EXPECT_GT(dark, 200);  // the heading and paragraphs

    EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, nullptr, &bounds, nullptr, nullptr, 0),
              E_INVALIDARG);
    EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, nullptr, nullptr, nullptr, 0),
              E_INVALIDARG);
    EXPECT_EQ(view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0),
              DV_E_DVASPECT);
}

TEST_F(DomViewObject, DrawUsesTheControlsTextSize) {
    auto page = MakePage(kArticle);
    auto doc = Document(page);
    auto view = Query<IViewObject2>(doc.Get());
    ASSERT_TRUE(view);
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 300, 300);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECTL bounds{0, 0, 300, 300};
    auto darkRows = [&] {
        int rows = 0;
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 300; ++x) {
                COLORREF c = GetPixel(dc, x, y);
                if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 300) {
                    ++rows;
                    break;
                }
            }
        return rows;
    };
    ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0), S_OK);
    int normal = darkRows();
    context_->settings.textSizePercent = 150;
    ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0), S_OK);
    int larger = darkRows();
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    EXPECT_GT(normal, 20);
    EXPECT_GT(larger, normal);
}

}  // namespace
