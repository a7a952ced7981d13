// Line layout and GDI painting of a parsed document: text flows word by
// word and wraps at the area's width; block elements start new lines with
// their margins; every piece of a line shares one baseline.
#include "engines/render/render.h"

#include "engines/render/text_util.h"

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <map>
#include <tuple>
#include <unordered_map>

namespace render {
namespace {

using namespace detail;

constexpr COLORREF kLinkColor = RGB(0, 0, 255);
constexpr COLORREF kFrameColor = RGB(128, 128, 128);
// Words up to this length are measured whole before they are placed.
constexpr std::size_t kMeasuredWhole = 256;

bool IsOneOf(std::wstring_view tag, std::initializer_list<std::wstring_view> tags) {
    return std::find(tags.begin(), tags.end(), tag) != tags.end();
}

struct Style {
    double scale = 1.0;  // overall zoom times the element zooms above
    int sizePx = 16;     // unscaled font size
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool mono = false;
    bool pre = false;
    COLORREF color = RGB(0, 0, 0);
    int link = -1;
};

struct FontInfo {
    HFONT font = nullptr;
    int ascent = 0;
    int descent = 0;
};

class FontCache {
public:
    FontCache(HDC dc, double textScale) : dc_(dc), textScale_(textScale) {}
    FontCache(const FontCache&) = delete;
    FontCache& operator=(const FontCache&) = delete;
    ~FontCache() {
        for (auto& [key, info] : fonts_) DeleteObject(info.font);
    }

    const FontInfo& Get(const Style& style) {
        int px = std::clamp(int(std::lround(style.sizePx * style.scale * textScale_)), 1, 1000);
        auto key = std::make_tuple(px, style.bold, style.italic, style.underline, style.mono);
        auto it = fonts_.find(key);
        if (it != fonts_.end()) return it->second;
        FontInfo info;
        info.font = CreateFontW(-px, 0, 0, 0, style.bold ? FW_BOLD : FW_NORMAL, style.italic,
                                style.underline, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                (style.mono ? FIXED_PITCH | FF_MODERN : VARIABLE_PITCH | FF_ROMAN),
                                style.mono ? L"Courier New" : L"Times New Roman");
        if (!info.font) info.font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        HGDIOBJ old = SelectObject(dc_, info.font);
        TEXTMETRICW tm{};
        if (GetTextMetricsW(dc_, &tm)) {
            info.ascent = tm.tmAscent;
            info.descent = tm.tmDescent;
        } else {
            info.ascent = px;
            info.descent = px / 4;
        }
        SelectObject(dc_, old);
        return fonts_.emplace(key, info).first->second;
    }

private:
    HDC dc_;
    double textScale_;
    std::map<std::tuple<int, bool, bool, bool, bool>, FontInfo> fonts_;
};

struct Piece {
    enum class Kind { Text, Box, Marker } kind = Kind::Text;
    std::wstring text;
    const FontInfo* font = nullptr;
    COLORREF color = 0;
    int x = 0;
    int width = 0;
    int height = 0;  // boxes only: their height above the baseline
    int link = -1;
    const Element* element = nullptr;  // boxes drawn by a hook: the <img> or <iframe>
    bool picture = false;              // an image whose picture is drawn
};

// A "zoom" style value: "150%", "1.5" or "normal"; nullopt when unusable.
std::optional<double> ParseZoom(std::wstring_view value) {
    value = Trim(value);
    if (value.empty()) return std::nullopt;
    bool percent = value.back() == L'%';
    if (percent) value.remove_suffix(1);
    std::wstring text(Trim(value));
    if (text.empty() || text.size() > 12) return std::nullopt;
    wchar_t* end = nullptr;
    double number = std::wcstod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !(number > 0)) return std::nullopt;
    if (percent) number /= 100.0;
    return std::clamp(number, 0.05, 20.0);
}

int ParsePixels(const std::wstring* value, int fallback) {
    if (!value) return fallback;
    int n = 0, digits = 0;
    for (wchar_t c : Trim(*value)) {
        if (c < L'0' || c > L'9' || digits >= 5) break;
        n = n * 10 + (c - L'0');
        ++digits;
    }
    return digits ? std::clamp(n, 1, 4000) : fallback;
}

class Painter {
public:
    Painter(const Document& doc, HDC dc, RECT area, const PaintOptions& options)
        : doc_(doc), dc_(dc), area_(area), options_(options), showImages_(options.showImages),
          fonts_(dc, std::clamp(options.textSizePercent, 10, 1000) / 100.0) {
        base_.scale = std::clamp(options.zoomPercent, 10, 1000) / 100.0;
        for (std::size_t i = 0; i < doc.links.size(); ++i) linkIndex_[doc.links[i].element] = int(i);
    }

    LayoutResult Run() {
        int saved = SaveDC(dc_);
        IntersectClipRect(dc_, area_.left, area_.top, area_.right, area_.bottom);
        HBRUSH brush = CreateSolidBrush(doc_.background.value_or(RGB(255, 255, 255)));
        FillRect(dc_, &area_, brush);
        DeleteObject(brush);
        SetBkMode(dc_, TRANSPARENT);

        int margin = Scaled(base_, 10);
        left_ = area_.left + margin;
        right_ = std::max(left_ + 1, int(area_.right) - margin);
        y_ = area_.top + margin;
        x_ = left_;
        Walk(*doc_.root, base_);
        BreakLine();
        y_ += margin;
        result_.contentHeight = y_ - area_.top;
        // Painting follows the layout, so that a block's background, known
        // only once its content is laid out, goes under that content.
        for (const auto& op : ops_)
            if (op) op();
        RestoreDC(dc_, saved);
        return std::move(result_);
    }

private:
    static int Scaled(const Style& style, int px) { return int(std::lround(px * style.scale)); }

    bool LineHasContent() const {
        for (const auto& p : line_)
            if (p.kind != Piece::Kind::Marker) return true;
        return false;
    }

    int Measure(const FontInfo& font, std::wstring_view text) {
        if (text.empty()) return 0;
        result_.measuredCharacters += text.size();
        HGDIOBJ old = SelectObject(dc_, font.font);
        SIZE size{};
        GetTextExtentPoint32W(dc_, text.data(), int(text.size()), &size);
        SelectObject(dc_, old);
        return size.cx;
    }

    // How many leading characters of `text` fit in `width` pixels (none
    // when `width` is negative).
    std::size_t FitCount(const FontInfo& font, std::wstring_view text, int width) {
        if (text.empty() || width < 0) return 0;
        result_.measuredCharacters += text.size();
        HGDIOBJ old = SelectObject(dc_, font.font);
        int fit = 0;
        SIZE size{};
        GetTextExtentExPointW(dc_, text.data(), int(text.size()), width, &fit, nullptr, &size);
        SelectObject(dc_, old);
        return std::size_t(std::clamp(fit, 0, int(text.size())));
    }

    // FitCount over a long text, measuring only about twice as many
    // characters as fit: the probe doubles while all of it fits. This keeps
    // a word of millions of characters near-linear to lay out.
    std::size_t FitPrefix(const FontInfo& font, std::wstring_view text, int width) {
        std::size_t probe = std::min<std::size_t>(text.size(), 8);
        for (;;) {
            std::size_t fit = FitCount(font, text.substr(0, probe), width);
            if (fit < probe || probe == text.size()) return fit;
            probe = std::min(text.size(), probe * 2);
        }
    }

    void AddGap(int gap) { pendingGap_ = std::max(pendingGap_, gap); }

    // Ends the current line; with `emptyFont`, an empty line still takes
    // that font's height (a <br> or a blank line in preformatted text).
    void FlushLine(const FontInfo* emptyFont = nullptr) {
        if (line_.empty()) {
            if (emptyFont) {
                y_ += pendingGap_ + emptyFont->ascent + emptyFont->descent;
                pendingGap_ = 0;
            }
            x_ = left_;
            needSpace_ = false;
            preColumn_ = 0;
            return;
        }
        int ascent = 0, descent = 0;
        for (const auto& p : line_) {
            if (p.kind == Piece::Kind::Box) {
                ascent = std::max(ascent, p.height);
            } else {
                ascent = std::max(ascent, p.font->ascent);
                descent = std::max(descent, p.font->descent);
            }
        }
        y_ += pendingGap_;
        pendingGap_ = 0;
        int baseline = y_ + ascent;
        int bottom = baseline + descent;
        ops_.push_back([this, pieces = line_, baseline] {
            for (const auto& p : pieces) {
                if (p.kind == Piece::Kind::Box) {
                    DrawBox(p, baseline);
                } else {
                    HGDIOBJ old = SelectObject(dc_, p.font->font);
                    SetTextColor(dc_, p.color);
                    TextOutW(dc_, p.x, baseline - p.font->ascent, p.text.data(), int(p.text.size()));
                    SelectObject(dc_, old);
                }
            }
        });
        for (const auto& p : line_) {
            if (p.link >= 0) {
                RECT r{p.x, y_, p.x + p.width, bottom};
                auto& hits = result_.links;
                if (!hits.empty() && hits.back().link == std::size_t(p.link) &&
                    hits.back().rect.top == r.top && hits.back().rect.right <= r.left &&
                    r.left - hits.back().rect.right <= Scaled(base_, 8)) {
                    hits.back().rect.right = r.right;
                    hits.back().rect.bottom = std::max(hits.back().rect.bottom, r.bottom);
                } else {
                    hits.push_back({std::size_t(p.link), r});
                }
            }
            result_.contentWidth = std::max(result_.contentWidth, int(p.x + p.width - area_.left));
        }
        y_ = bottom;
        line_.clear();
        x_ = left_;
        needSpace_ = false;
        preColumn_ = 0;
    }

    void BreakLine() {
        if (!line_.empty()) FlushLine();
        x_ = left_;
        needSpace_ = false;
    }

    // A block's background colour, padding and border from its style.
    struct BlockDecoration {
        std::optional<COLORREF> background;
        int padding = 0;  // pixels, scaled
        int border = 0;   // pixels, scaled
        COLORREF borderColor = RGB(0, 0, 0);
        bool Any() const { return background || padding > 0 || border > 0; }
    };

    BlockDecoration Decoration(const Element& e, const Style& s) {
        BlockDecoration d;
        if (const auto* bg = e.Attribute(L"bgcolor")) d.background = ParseColor(*bg);
        const auto* style = e.Attribute(L"style");
        if (!style) return d;
        auto value = StyleValue(*style, L"background-color");
        if (!value) value = StyleValue(*style, L"background");
        if (value)
            if (auto color = ParseColor(*value)) d.background = color;
        if (auto padding = StyleValue(*style, L"padding")) {
            // One length for all sides, or the first of several.
            std::wstring first(Trim(*padding));
            first = first.substr(0, first.find(L' '));
            d.padding = Scaled(s, std::min(ParsePixels(&first, 0), 200));
        }
        if (auto border = StyleValue(*style, L"border")) {
            // "1px solid #888": a width and a colour in any order.
            std::wstring text(*border);
            std::size_t start = 0;
            int width = 0;
            while (start < text.size()) {
                std::size_t end = text.find(L' ', start);
                if (end == std::wstring::npos) end = text.size();
                std::wstring word = text.substr(start, end - start);
                if (!word.empty() && word[0] >= L'0' && word[0] <= L'9') width = ParsePixels(&word, 0);
                else if (auto color = ParseColor(word)) d.borderColor = *color;
                else if (word == L"solid" || word == L"dashed" || word == L"dotted" || word == L"double") width = std::max(width, 1);
                start = end + 1;
            }
            d.border = width > 0 ? std::max(1, Scaled(s, std::min(width, 50))) : 0;
        }
        return d;
    }

    void FillColor(const RECT& r, COLORREF color) {
        HBRUSH brush = CreateSolidBrush(color);
        FillRect(dc_, &r, brush);
        DeleteObject(brush);
    }

    void Decorate(const RECT& box, const BlockDecoration& d) {
        if (d.background) FillColor(box, *d.background);
        if (d.border > 0) {
            const int w = d.border;
            FillColor(RECT{box.left, box.top, box.right, std::min<LONG>(box.top + w, box.bottom)}, d.borderColor);
            FillColor(RECT{box.left, std::max<LONG>(box.bottom - w, box.top), box.right, box.bottom}, d.borderColor);
            FillColor(RECT{box.left, box.top, std::min<LONG>(box.left + w, box.right), box.bottom}, d.borderColor);
            FillColor(RECT{std::max<LONG>(box.right - w, box.left), box.top, box.right, box.bottom}, d.borderColor);
        }
    }

    void DrawBox(const Piece& p, int baseline) {
        RECT r{p.x, baseline - p.height, p.x + p.width, baseline};
        if (p.element && p.picture && options_.drawImage) {
            options_.drawImage(*p.element, dc_, r);
            return;
        }
        if (p.element && !p.picture && options_.drawFrame) {
            int saved = SaveDC(dc_);
            IntersectClipRect(dc_, r.left, r.top, r.right, r.bottom);
            options_.drawFrame(*p.element, dc_, r);
            RestoreDC(dc_, saved);
            SetBkMode(dc_, TRANSPARENT);
        }
        HPEN pen = CreatePen(PS_SOLID, 1, kFrameColor);
        HGDIOBJ oldPen = SelectObject(dc_, pen);
        HGDIOBJ oldBrush = SelectObject(dc_, GetStockObject(NULL_BRUSH));
        Rectangle(dc_, r.left, r.top, r.right, r.bottom);
        SelectObject(dc_, oldBrush);
        SelectObject(dc_, oldPen);
        DeleteObject(pen);
        if (!p.text.empty() && p.font) {
            RECT inner{r.left + 3, r.top + 2, r.right - 3, r.bottom - 2};
            HGDIOBJ old = SelectObject(dc_, p.font->font);
            SetTextColor(dc_, p.color);
            DrawTextW(dc_, p.text.data(), int(p.text.size()), &inner,
                      DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX | DT_END_ELLIPSIS);
            SelectObject(dc_, old);
        }
    }

    void AddText(const Style& style, const FontInfo& font, std::wstring text, int width) {
        Piece p;
        p.text = std::move(text);
        p.font = &font;
        p.color = style.color;
        p.x = x_;
        p.width = width;
        p.link = style.link;
        line_.push_back(std::move(p));
        x_ += width;
    }

    void FlowWord(const Style& style, const FontInfo& font, std::wstring_view word) {
        while (!word.empty()) {
            int space = needSpace_ && LineHasContent() ? Measure(font, L" ") : 0;
            // A short word is measured whole; a long one only as far as the
            // line reaches, so that it is measured whole only when it fits.
            bool fits = false;
            int width = 0;
            std::optional<std::size_t> fitted;  // characters that fit, when known
            if (word.size() <= kMeasuredWhole) {
                width = Measure(font, word);
                fits = x_ + space + width <= right_;
            } else {
                fitted = FitPrefix(font, word, right_ - x_ - space);
                if (*fitted == word.size()) {
                    width = Measure(font, word);
                    fits = true;
                }
            }
            if (fits) {
                // Inside one link the space belongs to it, so its underline runs on.
                if (space > 0 && style.link >= 0 && line_.back().link == style.link &&
                    line_.back().kind == Piece::Kind::Text) {
                    AddText(style, font, L" " + std::wstring(word), space + width);
                } else {
                    x_ += space;
                    AddText(style, font, std::wstring(word), width);
                }
                needSpace_ = false;
                return;
            }
            if (LineHasContent()) {
                FlushLine();
                continue;
            }
            // Wider than a whole line: break it where it stops fitting (at
            // least one character per line).
            // (The line is empty, so no space was counted in `fitted`.)
            std::size_t count = std::max<std::size_t>(1, fitted ? *fitted : FitPrefix(font, word, right_ - x_));
            std::wstring_view head = word.substr(0, count);
            AddText(style, font, std::wstring(head), Measure(font, head));
            FlushLine();
            word.remove_prefix(count);
        }
    }

    void FlowText(const Style& style, std::wstring_view text) {
        const FontInfo& font = fonts_.Get(style);
        std::size_t i = 0;
        while (i < text.size()) {
            if (IsSpace(text[i])) {
                needSpace_ = true;
                ++i;
                continue;
            }
            std::size_t start = i;
            while (i < text.size() && !IsSpace(text[i])) ++i;
            FlowWord(style, font, text.substr(start, i - start));
        }
    }

    void PreText(const Style& style, std::wstring_view text) {
        const FontInfo& font = fonts_.Get(style);
        std::wstring run;
        auto emit = [&] {
            if (!run.empty()) AddText(style, font, run, Measure(font, run));
            run.clear();
        };
        for (wchar_t c : text) {
            if (c == L'\r') continue;
            if (c == L'\n') {
                emit();
                FlushLine(&font);
            } else if (c == L'\t') {
                do {
                    run += L' ';
                    ++preColumn_;
                } while (preColumn_ % 8 != 0);
            } else {
                run += c;
                ++preColumn_;
            }
        }
        emit();
    }

    void AddBox(const Style& style, std::wstring text, int width, int height,
                const Element* element = nullptr, bool picture = false) {
        const FontInfo& font = fonts_.Get(style);
        if (x_ + width > right_ && LineHasContent()) FlushLine();
        if (needSpace_ && LineHasContent()) x_ += Measure(font, L" ");
        Piece p;
        p.kind = Piece::Kind::Box;
        p.text = std::move(text);
        p.font = &font;
        p.color = style.color;
        p.x = x_;
        p.width = width;
        p.height = height;
        p.link = style.link;
        p.element = element;
        p.picture = picture;
        line_.push_back(std::move(p));
        x_ += width;
        needSpace_ = false;
    }

    void Image(const Element& e, const Style& style) {
        const FontInfo& font = fonts_.Get(style);
        const std::wstring* alt = e.Attribute(L"alt");
        std::wstring text = alt ? CollapseSpace(*alt) : std::wstring();
        int textWidth = Measure(font, text) + Scaled(style, 8);
        int textHeight = font.ascent + font.descent + Scaled(style, 4);
        int width = std::max(textWidth, Scaled(style, 16));
        int height = textHeight;
        SIZE natural{};
        bool picture = showImages_ && options_.imageSize && options_.drawImage &&
                       options_.imageSize(e, &natural) && natural.cx > 0 && natural.cy > 0;
        if (picture) {
            // One given dimension keeps the picture's proportions.
            const std::wstring* w = e.Attribute(L"width");
            const std::wstring* h = e.Attribute(L"height");
            int pw = ParsePixels(w, 0), ph = ParsePixels(h, 0);
            if (pw && !ph) ph = std::max(1, int(std::lround(double(pw) * natural.cy / natural.cx)));
            if (ph && !pw) pw = std::max(1, int(std::lround(double(ph) * natural.cx / natural.cy)));
            if (!pw) pw = natural.cx, ph = natural.cy;
            width = Scaled(style, std::min(pw, 4000));
            height = Scaled(style, std::min(ph, 4000));
        } else if (showImages_) {
            width = Scaled(style, ParsePixels(e.Attribute(L"width"), std::max(width, 28)));
            height = Scaled(style, ParsePixels(e.Attribute(L"height"), std::max(height, 30)));
        }
        AddBox(style, std::move(text), std::max(width, 1), std::max(height, 1), &e, picture);
    }

    void Marker(const Element& li, const Style& style) {
        std::wstring text = L"\x2022";
        if (li.parent && li.parent->tag == L"ol") {
            int number = ParsePixels(li.parent->Attribute(L"start"), 1);
            for (const auto& sibling : li.parent->children) {
                if (sibling.get() == &li) break;
                if (sibling->tag == L"li") ++number;
            }
            text = std::to_wstring(number) + L".";
        }
        Style markerStyle = style;
        markerStyle.link = -1;
        markerStyle.underline = false;
        const FontInfo& font = fonts_.Get(markerStyle);
        int width = Measure(font, text);
        Piece p;
        p.kind = Piece::Kind::Marker;
        p.text = std::move(text);
        p.font = &font;
        p.color = style.color;
        p.x = left_ - width - Scaled(style, 6);
        p.width = width;
        line_.push_back(std::move(p));
    }

    Style ChildStyle(const Element& e, const Style& parent) {
        Style s = parent;
        const std::wstring& t = e.tag;
        static const int kHeading[] = {32, 24, 19, 16, 13, 11};
        if (t.size() == 2 && t[0] == L'h' && t[1] >= L'1' && t[1] <= L'6') {
            s.sizePx = kHeading[t[1] - L'1'];
            s.bold = true;
        } else if (IsOneOf(t, {L"b", L"strong", L"th"})) {
            s.bold = true;
        } else if (IsOneOf(t, {L"i", L"em", L"cite", L"var", L"address", L"dfn"})) {
            s.italic = true;
        } else if (IsOneOf(t, {L"u", L"ins"})) {
            s.underline = true;
        } else if (IsOneOf(t, {L"code", L"tt", L"kbd", L"samp"})) {
            s.mono = true;
            s.sizePx = 13;
        } else if (IsOneOf(t, {L"pre", L"xmp", L"plaintext", L"listing"})) {
            s.mono = true;
            s.pre = true;
            s.sizePx = 13;
        } else if (t == L"big") {
            s.sizePx = s.sizePx * 6 / 5;
        } else if (t == L"small") {
            s.sizePx = std::max(1, s.sizePx * 5 / 6);
        } else if (t == L"body") {
            if (auto c = e.Attribute(L"text")) s.color = ParseColor(*c).value_or(s.color);
        } else if (t == L"font") {
            if (auto c = e.Attribute(L"color")) s.color = ParseColor(*c).value_or(s.color);
            if (auto size = e.Attribute(L"size")) {
                static const int kSizes[] = {10, 13, 16, 18, 24, 32, 48};
                int n = ParsePixels(size, 3);
                s.sizePx = kSizes[std::clamp(n, 1, 7) - 1];
            }
        } else if (t == L"a") {
            auto it = linkIndex_.find(&e);
            if (it != linkIndex_.end()) {
                s.link = it->second;
                s.color = kLinkColor;
                s.underline = true;
            }
        }
        if (const auto* style = e.Attribute(L"style")) {
            if (auto color = StyleValue(*style, L"color"))
                s.color = ParseColor(*color).value_or(s.color);
        }
        // The runtime style's zoom replaces the style attribute's.
        std::optional<double> zoom;
        if (auto value = StyleValue(e.runtimeStyle, L"zoom")) zoom = ParseZoom(*value);
        if (const auto* style = e.Attribute(L"style"); style && !zoom)
            if (auto value = StyleValue(*style, L"zoom")) zoom = ParseZoom(*value);
        if (zoom) s.scale = std::clamp(s.scale * *zoom, 0.05, 50.0);
        return s;
    }

    void Walk(const Element& e, const Style& style) {
        if (e.IsText()) {
            if (style.pre) PreText(style, e.text);
            else FlowText(style, e.text);
            return;
        }
        const std::wstring& t = e.tag;
        if (IsOneOf(t, {L"head", L"script", L"style", L"title", L"meta", L"link", L"frameset",
                        L"frame", L"noframes", L"select", L"option", L"textarea", L"base",
                        L"object", L"param", L"input", L"map", L"area"}))
            return;
        Style s = ChildStyle(e, style);
        if (t == L"br") {
            FlushLine(&fonts_.Get(s));
            return;
        }
        if (t == L"img") {
            Image(e, s);
            return;
        }
        if (t == L"iframe") {
            const auto* src = e.Attribute(L"src");
            AddBox(s, options_.drawFrame || !src ? std::wstring() : *src,
                   Scaled(s, ParsePixels(e.Attribute(L"width"), 300)),
                   Scaled(s, ParsePixels(e.Attribute(L"height"), 150)), &e, false);
            return;
        }
        if (t == L"hr") {
            BreakLine();
            AddGap(Scaled(s, 8));
            y_ += pendingGap_;
            pendingGap_ = 0;
            RECT r{left_, y_, right_, y_ + std::max(1, Scaled(s, 2))};
            ops_.push_back([this, r] { FillColor(r, kFrameColor); });
            y_ = r.bottom;
            AddGap(Scaled(s, 8));
            return;
        }
        if (t == L"td" || t == L"th") {
            if (cellIndex_++ > 0) {
                Style separator = s;
                separator.color = kFrameColor;
                separator.link = -1;
                separator.bold = separator.underline = false;
                needSpace_ = true;
                FlowWord(separator, fonts_.Get(separator), L"|");
                needSpace_ = true;
            }
            for (const auto& child : e.children) Walk(*child, s);
            needSpace_ = true;
            return;
        }

        bool block = IsOneOf(t, {L"p", L"div", L"h1", L"h2", L"h3", L"h4", L"h5", L"h6", L"ul",
                                 L"ol", L"li", L"pre", L"xmp", L"plaintext", L"listing", L"table",
                                 L"tr", L"blockquote", L"center", L"form", L"dl", L"dt", L"dd",
                                 L"address", L"body", L"html", L"caption"});
        int margin = 0;
        if (IsOneOf(t, {L"p", L"pre", L"xmp", L"blockquote", L"dl"})) margin = Scaled(s, 16);
        else if (t.size() == 2 && t[0] == L'h' && t[1] >= L'1' && t[1] <= L'6') margin = Scaled(s, s.sizePx * 2 / 3);
        else if ((t == L"ul" || t == L"ol") && !(e.parent && e.parent->tag == L"li")) margin = Scaled(s, 16);
        int indent = IsOneOf(t, {L"ul", L"ol", L"blockquote", L"dd"}) ? Scaled(s, 40) : 0;

        int savedLeft = left_, savedRight = right_, savedCells = cellIndex_;
        const BlockDecoration decoration = block ? Decoration(e, s) : BlockDecoration{};
        std::size_t decorationSlot = 0;
        int boxTop = 0, boxLeft = 0, boxRight = 0;
        if (block) {
            BreakLine();
            AddGap(margin);
            left_ = std::min(left_ + indent, right_ - 1);
            if (t == L"blockquote") right_ = std::max(left_ + 1, right_ - indent);
            if (decoration.Any()) {
                // The box starts below the margin; its content sits inside
                // the border and the padding.
                y_ += pendingGap_;
                pendingGap_ = 0;
                boxTop = y_;
                boxLeft = left_;
                boxRight = right_;
                decorationSlot = ops_.size();
                ops_.push_back(nullptr);
                const int inset = decoration.border + decoration.padding;
                y_ += inset;
                left_ = std::min(left_ + inset, right_ - 1);
                right_ = std::max(left_ + 1, right_ - inset);
            }
            x_ = left_;
            if (t == L"tr") cellIndex_ = 0;
            if (t == L"li") Marker(e, s);
        }
        for (const auto& child : e.children) Walk(*child, s);
        if (block) {
            BreakLine();
            if (decoration.Any()) {
                y_ += decoration.border + decoration.padding;
                const RECT box{boxLeft, boxTop, boxRight, y_};
                ops_[decorationSlot] = [this, box, decoration] { Decorate(box, decoration); };
            }
            left_ = savedLeft;
            right_ = savedRight;
            x_ = left_;
            cellIndex_ = savedCells;
            AddGap(margin);
        }
    }

    const Document& doc_;
    HDC dc_;
    RECT area_;
    const PaintOptions& options_;
    bool showImages_;
    FontCache fonts_;
    Style base_;
    std::unordered_map<const Element*, int> linkIndex_;
    std::vector<Piece> line_;
    std::vector<std::function<void()>> ops_;  // painting, in order, after the layout
    int left_ = 0, right_ = 0, x_ = 0, y_ = 0;
    int pendingGap_ = 0;
    int preColumn_ = 0;
    int cellIndex_ = 0;
    bool needSpace_ = false;
    LayoutResult result_;
};

}  // namespace

LayoutResult LayoutAndPaint(const Document& document, HDC dc, RECT area,
                            const PaintOptions& options) {
    return Painter(document, dc, area, options).Run();
}

LayoutResult LayoutAndPaint(const Document& document, HDC dc, RECT area, int zoomPercent,
                            bool showImages) {
    PaintOptions options;
    options.zoomPercent = zoomPercent;
    options.showImages = showImages;
    return Painter(document, dc, area, options).Run();
}

}  // namespace render
