// Painting a page: an ordinary document through the HTML core with its
// pictures and the pages of its iframes, or a frameset document as the
// frameset's grid with each frame's page in its cell.
#include "engines/browser/page.h"

#include "engines/browser/picture.h"

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <unordered_map>

namespace standin {
namespace {

// Frames inside frames deeper than this paint white (pages cannot nest
// without end, but a broken loader should not turn into a deep recursion).
constexpr int kMaxFrameDepth = 8;
constexpr COLORREF kSeparatorColor = RGB(128, 128, 128);

using FrameIndex = std::unordered_map<const render::Element*, std::size_t>;

// Page::frames follows the document's frame and iframe elements in document
// order, so an element's position among them is its frame page's index.
void IndexFrames(const render::Element& e, FrameIndex& index) {
    if (e.tag == L"frame" || e.tag == L"iframe") index.emplace(&e, index.size());
    for (const auto& child : e.children) IndexFrames(*child, index);
}

// The first <body> or <frameset> in document order: a frameset there means
// the page is a frameset document.
const render::Element* BodyOrFrameset(const render::Element& e) {
    if (e.tag == L"body" || e.tag == L"frameset") return &e;
    for (const auto& child : e.children)
        if (const auto* found = BodyOrFrameset(*child)) return found;
    return nullptr;
}

void Fill(HDC dc, const RECT& rect, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

struct Length {
    enum class Kind { Pixels, Percent, Relative } kind = Kind::Relative;
    double value = 1;
};

// A frameset's rows or cols: "*", "2*", "30%", "120" or "120px", comma separated.
std::vector<Length> ParseLengths(const std::wstring* text) {
    std::vector<Length> out;
    if (text) {
        std::size_t pos = 0;
        while (pos <= text->size()) {
            std::size_t end = text->find(L',', pos);
            if (end == std::wstring::npos) end = text->size();
            std::wstring item = text->substr(pos, end - pos);
            item.erase(std::remove_if(item.begin(), item.end(), [](wchar_t c) { return iswspace(c); }),
                       item.end());
            pos = end + 1;
            if (item.empty()) continue;
            Length length;
            wchar_t* stop = nullptr;
            double number = std::wcstod(item.c_str(), &stop);
            bool hasNumber = stop != item.c_str();
            std::wstring unit(stop);
            for (auto& c : unit) c = towlower(c);
            if (unit == L"*") {
                length = {Length::Kind::Relative, hasNumber ? number : 1.0};
            } else if (unit == L"%" && hasNumber) {
                length = {Length::Kind::Percent, number};
            } else if ((unit.empty() || unit == L"px") && hasNumber) {
                length = {Length::Kind::Pixels, number};
            } else {
                length = {Length::Kind::Relative, 1.0};
            }
            if (!(length.value >= 0)) length.value = 0;
            out.push_back(length);
        }
    }
    if (out.empty()) out.push_back({});
    return out;
}

// Splits `total` pixels among lengths: fixed and percentage sizes first
// (scaled down together when they do not fit), the rest by the relative
// weights; with no relative size the fixed ones stretch to fill.
std::vector<int> Distribute(const std::vector<Length>& lengths, int total) {
    total = std::max(total, 0);
    std::vector<double> sizes(lengths.size(), 0.0);
    double fixed = 0, weights = 0;
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        switch (lengths[i].kind) {
        case Length::Kind::Pixels: sizes[i] = lengths[i].value; break;
        case Length::Kind::Percent: sizes[i] = total * lengths[i].value / 100.0; break;
        case Length::Kind::Relative: weights += lengths[i].value; break;
        }
        fixed += sizes[i];
    }
    if (fixed > total && fixed > 0) {
        for (auto& s : sizes) s = s * total / fixed;
        fixed = total;
    }
    double rest = total - fixed;
    if (weights > 0) {
        for (std::size_t i = 0; i < lengths.size(); ++i)
            if (lengths[i].kind == Length::Kind::Relative) sizes[i] = rest * lengths[i].value / weights;
    } else if (rest > 0) {
        if (fixed > 0) {
            for (auto& s : sizes) s = s * total / fixed;
        } else {
            for (auto& s : sizes) s = double(total) / sizes.size();
        }
    }
    // Rounded at the running sum, so the sizes always add up to the total.
    std::vector<int> out(sizes.size());
    double sum = 0;
    int previous = 0;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        sum += sizes[i];
        int edge = i + 1 == sizes.size() ? total : std::clamp(int(std::lround(sum)), previous, total);
        out[i] = edge - previous;
        previous = edge;
    }
    return out;
}

RECT Intersect(const RECT& a, const RECT& b) {
    RECT r{};
    if (!IntersectRect(&r, &a, &b)) SetRectEmpty(&r);
    return r;
}

class PagePainter {
public:
    PagePainter(HDC dc, const PaintSettings& settings) : dc_(dc), settings_(settings) {}

    // Paints `page` into `area`; link hits (its own and its frames') go to
    // `hits`, cut to `visible`. Returns the content height.
    int Paint(const Page* page, RECT area, RECT visible, int depth, std::vector<PageHit>& hits) {
        if (!page || depth > kMaxFrameDepth || !page->document.root) {
            Fill(dc_, area, RGB(255, 255, 255));
            return 0;
        }
        if (depth == 0) return PaintAny(*page, area, visible, depth, hits);
        // A frame's links may run past its box; keep only what shows.
        std::vector<PageHit> own;
        int height = PaintAny(*page, area, visible, depth, own);
        for (auto& hit : own) {
            hit.rect = Intersect(hit.rect, visible);
            if (!IsRectEmpty(&hit.rect)) hits.push_back(hit);
        }
        return height;
    }

private:
    int PaintAny(const Page& page, RECT area, RECT visible, int depth, std::vector<PageHit>& hits) {
        FrameIndex frames;
        IndexFrames(*page.document.root, frames);
        const render::Element* top = BodyOrFrameset(*page.document.root);
        if (top && top->tag == L"frameset") {
            int saved = SaveDC(dc_);
            IntersectClipRect(dc_, area.left, area.top, area.right, area.bottom);
            PaintFrameset(page, *top, frames, area, visible, depth, hits);
            RestoreDC(dc_, saved);
            return area.bottom - area.top;
        }
        return PaintDocument(page, frames, area, visible, depth, hits);
    }

    int PaintDocument(const Page& page, const FrameIndex& frames, RECT area, RECT visible, int depth,
                      std::vector<PageHit>& hits) {
        render::PaintOptions options;
        options.zoomPercent = settings_.zoomPercent;
        options.textSizePercent = settings_.textSizePercent;
        options.showImages = settings_.showImages;
        auto picture = [&page](const render::Element& image) -> const Picture* {
            const std::wstring* src = image.Attribute(L"src");
            if (!src) return nullptr;
            auto it = page.pictures.find(*src);
            return it == page.pictures.end() ? nullptr : it->second.get();
        };
        options.imageSize = [picture](const render::Element& image, SIZE* size) {
            const Picture* p = picture(image);
            if (!p) return false;
            *size = p->Size();
            return true;
        };
        options.drawImage = [picture](const render::Element& image, HDC dc, const RECT& rect) {
            if (const Picture* p = picture(image)) p->Draw(dc, rect);
        };
        // Frame links are kept apart and follow the page's own, which the
        // layout only hands back at its end.
        std::vector<PageHit> frameHits;
        options.drawFrame = [&](const render::Element& frame, HDC, const RECT& rect) {
            const Page* framePage = nullptr;
            auto it = frames.find(&frame);
            if (it != frames.end() && it->second < page.frames.size())
                framePage = page.frames[it->second].get();
            Paint(framePage, rect, Intersect(rect, visible), depth + 1, frameHits);
        };
        render::LayoutResult layout = render::LayoutAndPaint(page.document, dc_, area, options);
        for (const auto& link : layout.links) hits.push_back({&page, link.link, link.rect});
        hits.insert(hits.end(), frameHits.begin(), frameHits.end());
        return layout.contentHeight;
    }

    void PaintFrameset(const Page& page, const render::Element& frameset, const FrameIndex& frames,
                       RECT area, RECT visible, int depth, std::vector<PageHit>& hits) {
        std::vector<int> heights =
            Distribute(ParseLengths(frameset.Attribute(L"rows")), area.bottom - area.top);
        std::vector<int> widths =
            Distribute(ParseLengths(frameset.Attribute(L"cols")), area.right - area.left);
        std::vector<const render::Element*> members;
        for (const auto& child : frameset.children)
            if (child->tag == L"frame" || child->tag == L"frameset") members.push_back(child.get());

        std::size_t next = 0;
        int top = area.top;
        for (std::size_t row = 0; row < heights.size(); ++row) {
            int bottom = top + heights[row];
            int left = area.left;
            for (std::size_t col = 0; col < widths.size(); ++col) {
                int right = left + widths[col];
                // One grey pixel separates a cell from the cells above and to its left.
                RECT cell{left + (col > 0 ? 1 : 0), top + (row > 0 ? 1 : 0), right, bottom};
                if (col > 0) Fill(dc_, RECT{left, top, left + 1, bottom}, kSeparatorColor);
                if (row > 0) Fill(dc_, RECT{left, top, right, top + 1}, kSeparatorColor);
                const render::Element* member = next < members.size() ? members[next++] : nullptr;
                if (cell.right > cell.left && cell.bottom > cell.top) {
                    int saved = SaveDC(dc_);
                    IntersectClipRect(dc_, cell.left, cell.top, cell.right, cell.bottom);
                    RECT cellVisible = Intersect(cell, visible);
                    if (!member) {
                        Fill(dc_, cell, RGB(255, 255, 255));
                    } else if (member->tag == L"frameset") {
                        PaintFrameset(page, *member, frames, cell, cellVisible, depth, hits);
                    } else {
                        const Page* framePage = nullptr;
                        auto it = frames.find(member);
                        if (it != frames.end() && it->second < page.frames.size())
                            framePage = page.frames[it->second].get();
                        Paint(framePage, cell, cellVisible, depth + 1, hits);
                    }
                    RestoreDC(dc_, saved);
                }
                left = right;
            }
            top = bottom;
        }
    }

    HDC dc_;
    const PaintSettings& settings_;
};

}  // namespace

PaintResult PaintPage(const Page& page, HDC dc, RECT area, const PaintSettings& settings) {
    PaintResult result;
    PagePainter painter(dc, settings);
    result.contentHeight = painter.Paint(&page, area, area, 0, result.links);
    return result;
}

}  // namespace standin
