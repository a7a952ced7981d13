// Operations on the page's element tree used by the document object model:
// walking it in document order, the body, wrapping a run of children in a
// new element, attribute text, markup text and style declarations.
#include "engines/browser/dom_internal.h"

#include "engines/render/text_util.h"

#include <algorithm>

namespace standin::dom {

using render::Element;

std::wstring UpperCase(std::wstring_view text) {
    std::wstring out(text);
    for (auto& c : out)
        if (c >= L'a' && c <= L'z') c = wchar_t(c - 32);
    return out;
}

std::wstring LowerCase(std::wstring_view text) { return render::detail::ToLower(text); }

static void CollectElements(Element& e, std::vector<Element*>& out) {
    for (const auto& child : e.children) {
        if (child->IsText()) continue;
        out.push_back(child.get());
        CollectElements(*child, out);
    }
}

std::vector<Element*> Descendants(Element& root) {
    std::vector<Element*> out;
    CollectElements(root, out);
    return out;
}

std::vector<Element*> ElementChildren(Element& parent) {
    std::vector<Element*> out;
    for (const auto& child : parent.children)
        if (!child->IsText()) out.push_back(child.get());
    return out;
}

Element* TreeRoot(Element* e) {
    while (e && e->parent) e = e->parent;
    return e;
}

bool IsInPage(const Page& page, const Element* e) {
    return e && TreeRoot(const_cast<Element*>(e)) == page.document.root.get();
}

bool IsAncestorOrSelf(const Element* ancestor, const Element* e) {
    for (; e; e = e->parent)
        if (e == ancestor) return true;
    return false;
}

std::size_t IndexInParent(const Element& e) {
    if (!e.parent) return 0;
    const auto& siblings = e.parent->children;
    for (std::size_t i = 0; i < siblings.size(); ++i)
        if (siblings[i].get() == &e) return i;
    return 0;
}

static Element* FirstBodyOrFrameset(Element& e) {
    if (e.tag == L"body" || e.tag == L"frameset") return &e;
    for (const auto& child : e.children)
        if (Element* found = FirstBodyOrFrameset(*child)) return found;
    return nullptr;
}

// Content that belongs to the head rather than the body.
static bool IsHeadContent(const Element& e) {
    if (e.IsText()) return render::detail::Trim(e.text).empty();
    static const wchar_t* const kHead[] = {L"head", L"title", L"meta", L"link", L"style",
                                           L"base", L"script", L"basefont"};
    return std::any_of(std::begin(kHead), std::end(kHead), [&](const wchar_t* t) { return e.tag == t; });
}

Element* BodyElement(Page& page) {
    if (!page.document.root) return nullptr;
    if (Element* found = FirstBodyOrFrameset(*page.document.root)) return found;
    // No body in the markup: the content after the head's elements gets one,
    // inside <html> when the page has that element.
    Element* parent = page.document.root.get();
    for (const auto& child : parent->children)
        if (child->tag == L"html") {
            parent = child.get();
            break;
        }
    std::size_t first = 0;
    while (first < parent->children.size() && IsHeadContent(*parent->children[first])) ++first;
    auto body = std::make_unique<Element>();
    body->tag = L"body";
    return WrapChildren(*parent, first, parent->children.size(), std::move(body));
}

Element* WrapChildren(Element& parent, std::size_t first, std::size_t last,
                      std::unique_ptr<Element> wrapper) {
    last = std::min(last, parent.children.size());
    first = std::min(first, last);
    Element* w = wrapper.get();
    std::size_t existing = w->children.size();
    for (std::size_t i = first; i < last; ++i) {
        parent.children[i]->parent = w;
        w->children.push_back(std::move(parent.children[i]));
    }
    parent.children.erase(parent.children.begin() + std::ptrdiff_t(first),
                          parent.children.begin() + std::ptrdiff_t(last));
    w->parent = &parent;
    parent.children.insert(parent.children.begin() + std::ptrdiff_t(first), std::move(wrapper));
    AdjustPointersForWrap(&parent, first, last, w, existing);
    return w;
}

std::vector<std::pair<std::wstring, std::wstring>> ParseAttributeText(std::wstring_view text) {
    using render::detail::IsSpace;
    std::vector<std::pair<std::wstring, std::wstring>> out;
    std::size_t i = 0;
    auto skipSpace = [&] {
        while (i < text.size() && IsSpace(text[i])) ++i;
    };
    while (true) {
        skipSpace();
        if (i >= text.size()) break;
        std::size_t start = i;
        while (i < text.size() && !IsSpace(text[i]) && text[i] != L'=') ++i;
        if (i == start) {  // a stray '='
            ++i;
            continue;
        }
        std::wstring name = LowerCase(text.substr(start, i - start));
        std::wstring value;
        std::size_t look = i;
        while (look < text.size() && IsSpace(text[look])) ++look;
        if (look < text.size() && text[look] == L'=') {
            i = look + 1;
            skipSpace();
            if (i < text.size() && (text[i] == L'"' || text[i] == L'\'')) {
                wchar_t quote = text[i++];
                std::size_t end = text.find(quote, i);
                if (end == std::wstring_view::npos) end = text.size();
                value = std::wstring(text.substr(i, end - i));
                i = std::min(end + 1, text.size());
            } else {
                std::size_t valueStart = i;
                while (i < text.size() && !IsSpace(text[i])) ++i;
                value = std::wstring(text.substr(valueStart, i - valueStart));
            }
        }
        bool seen = std::any_of(out.begin(), out.end(), [&](const auto& a) { return a.first == name; });
        if (!seen) out.emplace_back(std::move(name), std::move(value));
    }
    return out;
}

static void Escape(std::wstring_view text, bool attribute, std::wstring& out) {
    for (wchar_t c : text) {
        switch (c) {
        case L'&': out += L"&amp;"; break;
        case L'<': out += attribute ? L"<" : L"&lt;"; break;
        case L'>': out += attribute ? L">" : L"&gt;"; break;
        case L'"': out += attribute ? L"&quot;" : L"\""; break;
        case 0xA0: out += L"&nbsp;"; break;
        default: out += c;
        }
    }
}

static bool IsVoidTag(const std::wstring& tag) {
    static const wchar_t* const kVoid[] = {L"br", L"img", L"hr", L"meta", L"link", L"input",
                                           L"area", L"base", L"col", L"param", L"embed",
                                           L"wbr", L"frame", L"basefont"};
    return std::any_of(std::begin(kVoid), std::end(kVoid), [&](const wchar_t* t) { return tag == t; });
}

static bool IsRawTextTag(const std::wstring& tag) {
    return tag == L"script" || tag == L"style" || tag == L"xmp";
}

static void AppendMarkup(const Element& e, bool rawText, std::wstring& out);

static void AppendChildren(const Element& e, std::wstring& out) {
    bool raw = IsRawTextTag(e.tag);
    for (const auto& child : e.children) AppendMarkup(*child, raw, out);
}

static void AppendMarkup(const Element& e, bool rawText, std::wstring& out) {
    if (e.IsText()) {
        if (rawText) out += e.text;
        else Escape(e.text, false, out);
        return;
    }
    out += L'<';
    out += UpperCase(e.tag);
    for (const auto& [name, value] : e.attributes) {
        out += L' ';
        out += name;
        out += L"=\"";
        Escape(value, true, out);
        out += L'"';
    }
    out += L'>';
    if (IsVoidTag(e.tag) && e.children.empty()) return;
    AppendChildren(e, out);
    out += L"</";
    out += UpperCase(e.tag);
    out += L'>';
}

std::wstring InnerMarkup(const Element& e) {
    std::wstring out;
    AppendChildren(e, out);
    return out;
}

std::wstring OuterMarkup(const Element& e) {
    std::wstring out;
    AppendMarkup(e, false, out);
    return out;
}

std::wstring SetDeclaration(std::wstring_view style, std::wstring_view property,
                            std::wstring_view value) {
    using render::detail::EqualNoCase;
    using render::detail::Trim;
    std::vector<std::wstring> declarations;
    bool replaced = false;
    std::size_t pos = 0;
    while (pos <= style.size()) {
        std::size_t end = style.find(L';', pos);
        if (end == std::wstring_view::npos) end = style.size();
        std::wstring_view decl = Trim(style.substr(pos, end - pos));
        pos = end + 1;
        if (decl.empty()) continue;
        std::size_t colon = decl.find(L':');
        if (colon != std::wstring_view::npos && EqualNoCase(Trim(decl.substr(0, colon)), property)) {
            if (!replaced && !value.empty())
                declarations.push_back(std::wstring(property) + L": " + std::wstring(value));
            replaced = true;
            continue;
        }
        declarations.emplace_back(decl);
    }
    if (!replaced && !value.empty())
        declarations.push_back(std::wstring(property) + L": " + std::wstring(value));
    std::wstring out;
    for (const auto& d : declarations) {
        if (!out.empty()) out += L"; ";
        out += d;
    }
    return out;
}

std::wstring CssPropertyName(std::wstring_view name) {
    std::wstring out;
    for (wchar_t c : name) {
        if (c >= L'A' && c <= L'Z') {
            out += L'-';
            out += wchar_t(c + 32);
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace standin::dom
