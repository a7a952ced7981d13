// A tolerant HTML tokenizer and tree builder for the subset the stand-in
// engines draw. Every step consumes input, so any text ends in one pass.
#include "engines/render/render.h"

#include "engines/render/text_util.h"

#include <algorithm>
#include <initializer_list>

namespace render {
namespace {

using namespace detail;

constexpr std::size_t kMaxOpenElements = 200;  // deeper nesting is flattened

bool IsOneOf(std::wstring_view tag, std::initializer_list<std::wstring_view> tags) {
    return std::find(tags.begin(), tags.end(), tag) != tags.end();
}

bool IsVoid(std::wstring_view tag) {
    return IsOneOf(tag, {L"br", L"img", L"hr", L"meta", L"link", L"input", L"area", L"base",
                         L"col", L"param", L"embed", L"wbr", L"frame", L"basefont"});
}

bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

void AppendCodePoint(std::wstring& out, unsigned long cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp > 0xFFFF) {
        cp -= 0x10000;
        out += wchar_t(0xD800 + (cp >> 10));
        out += wchar_t(0xDC00 + (cp & 0x3FF));
    } else {
        out += wchar_t(cp);
    }
}

std::wstring DecodeEntities(std::wstring_view s) {
    struct Named { const wchar_t* name; wchar_t value; };
    static const Named kNamed[] = {
        {L"amp", L'&'},      {L"lt", L'<'},        {L"gt", L'>'},       {L"quot", L'"'},
        {L"apos", L'\''},    {L"nbsp", 0xA0},      {L"copy", 0xA9},     {L"reg", 0xAE},
        {L"trade", 0x2122},  {L"hellip", 0x2026},  {L"mdash", 0x2014},  {L"ndash", 0x2013},
        {L"laquo", 0xAB},    {L"raquo", 0xBB},     {L"middot", 0xB7},   {L"bull", 0x2022},
        {L"euro", 0x20AC},   {L"times", 0xD7},
    };
    std::wstring out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] != L'&') {
            out += s[i++];
            continue;
        }
        std::size_t j = i + 1;
        if (j < s.size() && s[j] == L'#') {
            ++j;
            bool hex = j < s.size() && (s[j] == L'x' || s[j] == L'X');
            if (hex) ++j;
            std::size_t digitsStart = j;
            unsigned long value = 0;
            while (j < s.size() && j - digitsStart < 8) {
                wchar_t c = s[j];
                int d = IsDigit(c) ? c - L'0'
                        : (hex && Lower(c) >= L'a' && Lower(c) <= L'f') ? Lower(c) - L'a' + 10
                                                                       : -1;
                if (d < 0) break;
                value = value * (hex ? 16 : 10) + d;
                ++j;
            }
            if (j == digitsStart) {
                out += s[i++];
                continue;
            }
            if (j < s.size() && s[j] == L';') ++j;
            AppendCodePoint(out, value);
            i = j;
            continue;
        }
        while (j < s.size() && j - i <= 8 && (IsAsciiLetter(s[j]) || IsDigit(s[j]))) ++j;
        std::wstring_view name = s.substr(i + 1, j - i - 1);
        const Named* match = nullptr;
        for (const auto& n : kNamed)
            if (name == n.name) match = &n;
        if (!match) {
            out += s[i++];
            continue;
        }
        out += match->value;
        if (j < s.size() && s[j] == L';') ++j;
        i = j;
    }
    return out;
}

class TreeBuilder {
public:
    explicit TreeBuilder(Document& doc) : doc_(doc) { open_.push_back(doc.root.get()); }

    void Text(std::wstring text) {
        if (text.empty()) return;
        Element* parent = open_.back();
        if (!parent->children.empty() && parent->children.back()->IsText()) {
            parent->children.back()->text += text;
            return;
        }
        auto node = std::make_unique<Element>();
        node->text = std::move(text);
        node->parent = parent;
        parent->children.push_back(std::move(node));
    }

    Element* Start(std::wstring tag, std::vector<std::pair<std::wstring, std::wstring>> attributes,
                   bool selfClosing) {
        ImplyEnds(tag);
        auto node = std::make_unique<Element>();
        node->tag = std::move(tag);
        node->attributes = std::move(attributes);
        Element* parent = open_.back();
        node->parent = parent;
        Element* e = node.get();
        parent->children.push_back(std::move(node));

        if (e->tag == L"body" && !doc_.background) {
            if (const auto* bg = e->Attribute(L"bgcolor")) doc_.background = ParseColor(*bg);
            if (const auto* style = e->Attribute(L"style"); style && !doc_.background) {
                auto value = StyleValue(*style, L"background-color");
                if (!value) value = StyleValue(*style, L"background");
                if (value) doc_.background = ParseColor(*value);
            }
        }
        if (e->tag == L"frame" || e->tag == L"iframe") {
            Frame frame;
            frame.tag = e->tag;
            if (const auto* src = e->Attribute(L"src")) frame.src = *src;
            if (const auto* name = e->Attribute(L"name")) frame.name = *name;
            doc_.frames.push_back(std::move(frame));
        }
        if (!selfClosing && !IsVoid(e->tag) && open_.size() < kMaxOpenElements) open_.push_back(e);
        return e;
    }

    void End(std::wstring_view tag) {
        if (tag == L"body" || tag == L"html") return;  // content after them still counts
        if (tag == L"br") {
            Start(L"br", {}, true);
            return;
        }
        for (std::size_t i = open_.size(); i-- > 1;) {
            if (open_[i]->tag == tag) {
                open_.resize(i);
                return;
            }
        }
    }

    void Close(Element* e) {
        for (std::size_t i = open_.size(); i-- > 1;)
            if (open_[i] == e) {
                open_.resize(i);
                return;
            }
    }

private:
    // Index of the innermost open `tag` not hidden behind a boundary, or 0.
    std::size_t FindOpen(std::initializer_list<std::wstring_view> tags,
                         std::initializer_list<std::wstring_view> boundaries) const {
        for (std::size_t i = open_.size(); i-- > 1;) {
            if (IsOneOf(open_[i]->tag, tags)) return i;
            if (IsOneOf(open_[i]->tag, boundaries)) return 0;
        }
        return 0;
    }

    void CloseFrom(std::size_t index) {
        if (index > 0) open_.resize(index);
    }

    void ImplyEnds(std::wstring_view tag) {
        if (IsOneOf(tag, {L"p", L"div", L"h1", L"h2", L"h3", L"h4", L"h5", L"h6", L"ul", L"ol",
                          L"li", L"pre", L"table", L"blockquote", L"hr", L"form", L"dl", L"dt",
                          L"dd", L"address", L"center", L"frameset"}))
            CloseFrom(FindOpen({L"p"}, {L"table", L"td", L"th", L"caption", L"button", L"object",
                                        L"marquee", L"li"}));
        if (tag == L"li") CloseFrom(FindOpen({L"li"}, {L"ul", L"ol", L"table", L"td", L"th"}));
        if (tag == L"dt" || tag == L"dd")
            CloseFrom(FindOpen({L"dt", L"dd"}, {L"dl", L"table", L"td", L"th"}));
        if (tag == L"tr") CloseFrom(FindOpen({L"tr"}, {L"table"}));
        if (tag == L"td" || tag == L"th") CloseFrom(FindOpen({L"td", L"th"}, {L"tr", L"table"}));
        if (tag == L"option") CloseFrom(FindOpen({L"option"}, {L"select"}));
    }

    Document& doc_;
    std::vector<Element*> open_;
};

// Finds a marker at or after a position that only moves forward, remembering
// the last answer so that repeated searches stay linear over the input.
class Finder {
public:
    explicit Finder(std::wstring_view needle) : needle_(needle) {}

    std::size_t Find(std::wstring_view s, std::size_t from) {
        if (from >= searchedFrom_ && (found_ == std::wstring_view::npos || from <= found_))
            return found_;
        searchedFrom_ = from;
        found_ = FindNoCase(s, needle_, from);
        return found_;
    }

private:
    std::wstring_view needle_;
    std::size_t searchedFrom_ = std::wstring_view::npos;
    std::size_t found_ = std::wstring_view::npos;
};

class Tokenizer {
public:
    Tokenizer(std::wstring_view html, int engineVersion, Document& doc)
        : s_(html), engineVersion_(engineVersion), doc_(doc), builder_(doc) {}

    void Run() {
        while (pos_ < s_.size()) {
            if (s_[pos_] != L'<') {
                std::size_t next = s_.find(L'<', pos_);
                if (next == std::wstring_view::npos) next = s_.size();
                builder_.Text(DecodeEntities(s_.substr(pos_, next - pos_)));
                pos_ = next;
            } else if (At(L"<!--[if")) {
                HiddenConditional();
            } else if (At(L"<!--")) {
                Comment();
            } else if (At(L"<![if")) {
                RevealedConditional();
            } else if (At(L"<![endif") || At(L"<!") || At(L"<?")) {
                SkipPast(L'>');
            } else if (At(L"</") && pos_ + 2 < s_.size() && IsAsciiLetter(s_[pos_ + 2])) {
                pos_ += 2;
                std::wstring name = Name();
                SkipPast(L'>');
                builder_.End(name);
            } else if (pos_ + 1 < s_.size() && IsAsciiLetter(s_[pos_ + 1])) {
                StartTag();
            } else {
                builder_.Text(L"<");
                ++pos_;
            }
        }
    }

private:
    bool At(std::wstring_view prefix) const { return StartsWithNoCase(s_, pos_, prefix); }

    void SkipPast(wchar_t c) {
        std::size_t at = s_.find(c, pos_);
        pos_ = at == std::wstring_view::npos ? s_.size() : at + 1;
    }

    void SkipPast(std::wstring_view text) {
        std::size_t at = s_.find(text, pos_);
        pos_ = at == std::wstring_view::npos ? s_.size() : at + text.size();
    }

    void Comment() {
        pos_ += 4;
        if (pos_ < s_.size() && s_[pos_] == L'>') {  // "<!-->"
            ++pos_;
            return;
        }
        if (StartsWithNoCase(s_, pos_, L"->")) {  // "<!--->"
            pos_ += 2;
            return;
        }
        SkipPast(L"-->");
    }

    // <!--[if condition]> content <![endif]-->: the content is markup that
    // only this engine sees, and only while the condition holds.
    void HiddenConditional() {
        std::size_t condStart = pos_ + 7;
        std::size_t close = conditionClose_.Find(s_, condStart);
        std::size_t commentEnd = commentClose_.Find(s_, condStart);
        if (close == std::wstring_view::npos ||
            (commentEnd != std::wstring_view::npos && commentEnd < close)) {
            Comment();
            return;
        }
        bool shown = EvaluateCondition(s_.substr(condStart, close - condStart), engineVersion_);
        pos_ = close + 2;
        if (shown) return;  // the content follows; its <![endif]--> is skipped when met
        std::size_t endif = endif_.Find(s_, pos_);
        if (endif == std::wstring_view::npos) {
            std::size_t end = commentClose_.Find(s_, pos_);
            pos_ = end == std::wstring_view::npos ? s_.size() : end + 3;
            return;
        }
        pos_ = endif;
        SkipPast(L'>');
    }

    // <![if condition]> content <![endif]>: the content is ordinary markup
    // that this engine leaves out when the condition does not hold.
    void RevealedConditional() {
        std::size_t condStart = pos_ + 5;
        std::size_t gt = s_.find(L'>', condStart);
        if (gt == std::wstring_view::npos || s_[gt - 1] != L']') {
            SkipPast(L'>');
            return;
        }
        bool shown = EvaluateCondition(s_.substr(condStart, gt - 1 - condStart), engineVersion_);
        pos_ = gt + 1;
        if (shown) return;
        std::size_t endif = FindNoCase(s_, L"<![endif", pos_);
        if (endif == std::wstring_view::npos) {
            pos_ = s_.size();
            return;
        }
        pos_ = endif;
        SkipPast(L'>');
    }

    std::wstring Name() {
        std::size_t start = pos_;
        while (pos_ < s_.size() && !IsSpace(s_[pos_]) && s_[pos_] != L'>' && s_[pos_] != L'/' &&
               s_[pos_] != L'<')
            ++pos_;
        return ToLower(s_.substr(start, pos_ - start));
    }

    void StartTag() {
        ++pos_;
        std::wstring tag = Name();
        std::vector<std::pair<std::wstring, std::wstring>> attributes;
        bool selfClosing = false;
        while (pos_ < s_.size()) {
            wchar_t c = s_[pos_];
            if (IsSpace(c)) {
                ++pos_;
                continue;
            }
            if (c == L'>') {
                ++pos_;
                break;
            }
            if (c == L'/') {
                ++pos_;
                if (pos_ < s_.size() && s_[pos_] == L'>') {
                    selfClosing = true;
                    ++pos_;
                    break;
                }
                continue;
            }
            std::size_t nameStart = pos_;
            while (pos_ < s_.size() && !IsSpace(s_[pos_]) && s_[pos_] != L'=' && s_[pos_] != L'>' &&
                   s_[pos_] != L'/')
                ++pos_;
            if (pos_ == nameStart) {  // a stray '=' or similar: drop it
                ++pos_;
                continue;
            }
            std::wstring name = ToLower(s_.substr(nameStart, pos_ - nameStart));
            std::wstring value;
            std::size_t look = pos_;
            while (look < s_.size() && IsSpace(s_[look])) ++look;
            if (look < s_.size() && s_[look] == L'=') {
                pos_ = look + 1;
                while (pos_ < s_.size() && IsSpace(s_[pos_])) ++pos_;
                if (pos_ < s_.size() && (s_[pos_] == L'"' || s_[pos_] == L'\'')) {
                    wchar_t quote = s_[pos_++];
                    std::size_t end = s_.find(quote, pos_);
                    if (end == std::wstring_view::npos) end = s_.size();
                    value = DecodeEntities(s_.substr(pos_, end - pos_));
                    pos_ = std::min(end + 1, s_.size());
                } else {
                    std::size_t start = pos_;
                    while (pos_ < s_.size() && !IsSpace(s_[pos_]) && s_[pos_] != L'>') ++pos_;
                    value = DecodeEntities(s_.substr(start, pos_ - start));
                }
            }
            bool seen = false;
            for (const auto& a : attributes) seen = seen || a.first == name;
            if (!seen) attributes.emplace_back(std::move(name), std::move(value));
        }

        bool skipped = tag == L"script" || tag == L"style";
        bool rawText = tag == L"title" || tag == L"textarea" || tag == L"xmp";
        Element* e = builder_.Start(tag, std::move(attributes), selfClosing);
        if ((!skipped && !rawText) || selfClosing) return;
        std::wstring closing = L"</" + tag;
        std::size_t end = FindNoCase(s_, closing, pos_);
        if (end == std::wstring_view::npos) end = s_.size();
        if (rawText) {
            std::wstring text = tag == L"xmp" ? std::wstring(s_.substr(pos_, end - pos_))
                                              : DecodeEntities(s_.substr(pos_, end - pos_));
            if (tag == L"title" && !titleSeen_) {
                doc_.title = CollapseSpace(text);
                titleSeen_ = true;
            }
            builder_.Text(std::move(text));
        }
        pos_ = end;
        if (pos_ < s_.size()) SkipPast(L'>');
        builder_.Close(e);
    }

    std::wstring_view s_;
    int engineVersion_;
    Document& doc_;
    TreeBuilder builder_;
    std::size_t pos_ = 0;
    bool titleSeen_ = false;
    Finder conditionClose_{L"]>"};
    Finder commentClose_{L"-->"};
    Finder endif_{L"<![endif"};
};

void CollectLinks(const Element& e, std::vector<Link>& out) {
    if (e.tag == L"a") {
        if (const auto* href = e.Attribute(L"href")) {
            Link link;
            link.href = *href;
            if (const auto* target = e.Attribute(L"target")) link.target = *target;
            link.text = CollapseSpace(e.TextContent());
            link.element = &e;
            out.push_back(std::move(link));
        }
    }
    for (const auto& child : e.children) CollectLinks(*child, out);
}

}  // namespace

Document ParseHtml(std::wstring_view html, int engineVersion) {
    Document doc;
    Tokenizer(html, engineVersion, doc).Run();
    CollectLinks(*doc.root, doc.links);
    return doc;
}

}  // namespace render
