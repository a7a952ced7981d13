// The document tree's queries, colours and style declarations.
#include "engines/render/render.h"

#include "engines/render/text_util.h"

#include <cwchar>

namespace render {

using namespace detail;

const std::wstring* Element::Attribute(std::wstring_view name) const {
    for (const auto& [key, value] : attributes)
        if (EqualNoCase(key, name)) return &value;
    return nullptr;
}

static void AppendText(const Element& e, std::wstring& out) {
    if (e.IsText()) {
        out += e.text;
        return;
    }
    for (const auto& child : e.children) AppendText(*child, out);
}

std::wstring Element::TextContent() const {
    std::wstring out;
    AppendText(*this, out);
    return out;
}

Document::Document() : root(std::make_unique<Element>()) { root->tag = L"#document"; }

static const Element* FindId(const Element& e, std::wstring_view id) {
    if (const auto* value = e.Attribute(L"id"); value && *value == id) return &e;
    for (const auto& child : e.children)
        if (const auto* found = FindId(*child, id)) return found;
    return nullptr;
}

const Element* Document::FindById(std::wstring_view id) const {
    if (id.empty()) return nullptr;
    return FindId(*root, id);
}

static void CollectTag(const Element& e, std::wstring_view tag, std::vector<const Element*>& out) {
    if (!e.IsText() && EqualNoCase(e.tag, tag)) out.push_back(&e);
    for (const auto& child : e.children) CollectTag(*child, tag, out);
}

std::vector<const Element*> Document::ElementsByTag(std::wstring_view tag) const {
    std::vector<const Element*> out;
    for (const auto& child : root->children) CollectTag(*child, tag, out);
    return out;
}

static int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    c = Lower(c);
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    return -1;
}

std::optional<COLORREF> ParseColor(std::wstring_view value) {
    value = Trim(value);
    if (value.empty()) return std::nullopt;
    struct Named { const wchar_t* name; COLORREF color; };
    static const Named kNames[] = {
        {L"black", RGB(0, 0, 0)},         {L"white", RGB(255, 255, 255)},
        {L"red", RGB(255, 0, 0)},         {L"green", RGB(0, 128, 0)},
        {L"lime", RGB(0, 255, 0)},        {L"blue", RGB(0, 0, 255)},
        {L"navy", RGB(0, 0, 128)},        {L"yellow", RGB(255, 255, 0)},
        {L"aqua", RGB(0, 255, 255)},      {L"cyan", RGB(0, 255, 255)},
        {L"fuchsia", RGB(255, 0, 255)},   {L"magenta", RGB(255, 0, 255)},
        {L"gray", RGB(128, 128, 128)},    {L"grey", RGB(128, 128, 128)},
        {L"silver", RGB(192, 192, 192)},  {L"maroon", RGB(128, 0, 0)},
        {L"olive", RGB(128, 128, 0)},     {L"purple", RGB(128, 0, 128)},
        {L"teal", RGB(0, 128, 128)},      {L"orange", RGB(255, 165, 0)},
    };
    for (const auto& n : kNames)
        if (EqualNoCase(value, n.name)) return n.color;
    if (StartsWithNoCase(value, 0, L"rgb(") && value.back() == L')') {
        int parts[3] = {0, 0, 0};
        int count = 0;
        std::size_t i = 4;
        while (count < 3 && i < value.size() - 1) {
            while (i < value.size() && IsSpace(value[i])) ++i;
            int n = 0, digits = 0;
            while (i < value.size() && value[i] >= L'0' && value[i] <= L'9' && digits < 4) {
                n = n * 10 + (value[i] - L'0');
                ++i;
                ++digits;
            }
            if (digits == 0) return std::nullopt;
            parts[count++] = n > 255 ? 255 : n;
            while (i < value.size() && IsSpace(value[i])) ++i;
            if (i < value.size() && value[i] == L',') ++i;
        }
        if (count != 3) return std::nullopt;
        return RGB(parts[0], parts[1], parts[2]);
    }
    if (value.front() == L'#') value.remove_prefix(1);
    for (wchar_t c : value)
        if (HexDigit(c) < 0) return std::nullopt;
    if (value.size() == 3) {
        int r = HexDigit(value[0]), g = HexDigit(value[1]), b = HexDigit(value[2]);
        return RGB(r * 17, g * 17, b * 17);
    }
    if (value.size() == 6) {
        auto byte = [&](int i) { return HexDigit(value[i]) * 16 + HexDigit(value[i + 1]); };
        return RGB(byte(0), byte(2), byte(4));
    }
    return std::nullopt;
}

std::optional<std::wstring> StyleValue(std::wstring_view style, std::wstring_view property) {
    std::size_t pos = 0;
    while (pos <= style.size()) {
        std::size_t end = style.find(L';', pos);
        if (end == std::wstring_view::npos) end = style.size();
        std::wstring_view decl = style.substr(pos, end - pos);
        std::size_t colon = decl.find(L':');
        if (colon != std::wstring_view::npos && EqualNoCase(Trim(decl.substr(0, colon)), property))
            return std::wstring(Trim(decl.substr(colon + 1)));
        pos = end + 1;
    }
    return std::nullopt;
}

}  // namespace render
