// Painting pages into a 32-bit DIB section: pictures from the page's map,
// iframe pages inside their boxes, framesets split by rows and cols, and
// the link hits of the top page and of its frames.
#include "engines/browser/page.h"

#include "engines/browser/picture.h"

#include "engines/render/tests/canvas.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using standin::Page;
using standin::PageHit;
using standin::PaintPage;
using standin::PaintResult;
using standin::PaintSettings;

// The render tests' bitmap, starting magenta so that painted parts show.
class Canvas : public render_test::Canvas {
public:
    Canvas(int width, int height) : render_test::Canvas(width, height) { Fill(RGB(255, 0, 255)); }
    RECT Rect() const { return RECT{0, 0, width(), height()}; }
    // Pixels of `rect` darker than mid grey: drawn text.
    int DarkPixels(RECT rect) const {
        int count = 0;
        for (int y = rect.top; y < rect.bottom; ++y)
            for (int x = rect.left; x < rect.right; ++x) {
                COLORREF c = At(x, y);
                if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 300) ++count;
            }
        return count;
    }
};

std::shared_ptr<Page> MakePage(const std::wstring& html, const std::wstring& name = L"") {
    auto page = std::make_shared<Page>();
    page->url = L"http://example.test/" + name;
    page->name = name;
    page->document = render::ParseHtml(html, 8);
    return page;
}

// A picture of one colour that counts how it is drawn.
class SolidPicture : public standin::Picture {
public:
    SolidPicture(SIZE size, COLORREF color) : size_(size), color_(color) {}
    SIZE Size() const override { return size_; }
    void Draw(HDC dc, const RECT& rect) const override {
        ++draws;
        lastRect = rect;
        HBRUSH brush = CreateSolidBrush(color_);
        FillRect(dc, &rect, brush);
        DeleteObject(brush);
    }
    mutable int draws = 0;
    mutable RECT lastRect{};

private:
    SIZE size_;
    COLORREF color_;
};

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

std::vector<PageHit> HitsOf(const PaintResult& result, const Page* page) {
    std::vector<PageHit> out;
    for (const auto& hit : result.links)
        if (hit.page == page) out.push_back(hit);
    return out;
}

TEST(PagePaintTest, PicturesComeFromThePageBySrc) {
    auto page = MakePage(L"<body><img src=\"pics/a.gif\"> <img src=\"missing.gif\" alt=\"gone\"></body>");
    auto picture = std::make_shared<SolidPicture>(SIZE{40, 30}, RGB(0, 200, 0));
    page->pictures[L"pics/a.gif"] = picture;
    Canvas canvas(400, 200);

    PaintPage(*page, canvas.dc(), canvas.Rect(), PaintSettings{});
    ASSERT_EQ(picture->draws, 1);
    EXPECT_EQ(picture->lastRect.right - picture->lastRect.left, 40);
    EXPECT_EQ(picture->lastRect.bottom - picture->lastRect.top, 30);
    RECT r = picture->lastRect;
    EXPECT_EQ(canvas.At((r.left + r.right) / 2, (r.top + r.bottom) / 2), RGB(0, 200, 0));

    PaintSettings noImages;
    noImages.showImages = false;
    PaintPage(*page, canvas.dc(), canvas.Rect(), noImages);
    EXPECT_EQ(picture->draws, 1);
}

TEST(PagePaintTest, SettingsScaleTheText) {
    auto page = MakePage(L"<body><p>Some words of text that take a few lines when wrapped narrowly.</p>"
                         L"<p>Another paragraph.</p></body>");
    Canvas canvas(300, 600);
    PaintSettings normal;
    int base = PaintPage(*page, canvas.dc(), canvas.Rect(), normal).contentHeight;
    PaintSettings larger;
    larger.textSizePercent = 150;
    int bigger = PaintPage(*page, canvas.dc(), canvas.Rect(), larger).contentHeight;
    PaintSettings zoomed;
    zoomed.zoomPercent = 200;
    int zoomedHeight = PaintPage(*page, canvas.dc(), canvas.Rect(), zoomed).contentHeight;
    EXPECT_GT(base, 0);
    EXPECT_GT(bigger, base * 5 / 4);
    EXPECT_GT(zoomedHeight, bigger);
}

TEST(PagePaintTest, IframePagePaintsInsideItsBoxWithItsLinks) {
    auto page = MakePage(L"<body bgcolor=\"yellow\"><a href=\"top.html\">top link</a><br>"
                         L"<iframe src=\"inner.html\" width=\"200\" height=\"100\"></iframe>"
                         L"<iframe src=\"broken.html\" width=\"120\" height=\"80\"></iframe></body>");
    auto inner = MakePage(L"<body bgcolor=\"#00c000\"><a href=\"in.html\">inner link</a></body>", L"inner");
    page->frames = {inner, nullptr};
    Canvas canvas(500, 300);

    PaintResult result = PaintPage(*page, canvas.dc(), canvas.Rect(), PaintSettings{});
    auto topHits = HitsOf(result, page.get());
    auto innerHits = HitsOf(result, inner.get());
    ASSERT_EQ(topHits.size(), 1u);
    ASSERT_EQ(innerHits.size(), 1u);
    EXPECT_EQ(innerHits[0].link, 0u);
    // The frame's link lies below the top link, inside a 200x100 box.
    RECT link = innerHits[0].rect;
    EXPECT_GT(link.top, topHits[0].rect.bottom);
    EXPECT_LT(link.right - link.left, 200);
    // The frame's background fills its box, just right of and below its link.
    EXPECT_EQ(canvas.At(link.left + 100, link.bottom + 20), RGB(0, 0xc0, 0));
    // The second frame has no page: its box is white inside, on a yellow page.
    EXPECT_EQ(canvas.At(450, 10), RGB(255, 255, 0));
    EXPECT_EQ(canvas.At(link.left + 200 + 60, link.bottom + 20), RGB(255, 255, 255));
}

TEST(PagePaintTest, FramesetSplitsTheAreaByColsAndRows) {
    auto page = MakePage(L"<html><frameset cols=\"100,*\">"
                         L"<frame src=\"left.html\" name=\"left\">"
                         L"<frameset rows=\"50%,*\"><frame src=\"a.html\"><frame src=\"b.html\"></frameset>"
                         L"</frameset></html>");
    auto left = MakePage(L"<body bgcolor=\"red\"><a href=\"x.html\">go</a></body>", L"left");
    auto top = MakePage(L"<body bgcolor=\"blue\"></body>");
    page->frames = {left, top, nullptr};
    Canvas canvas(400, 300);

    PaintResult result = PaintPage(*page, canvas.dc(), canvas.Rect(), PaintSettings{});
    EXPECT_EQ(canvas.At(50, 200), RGB(255, 0, 0));
    EXPECT_EQ(canvas.At(250, 50), RGB(0, 0, 255));
    EXPECT_EQ(canvas.At(250, 250), RGB(255, 255, 255));  // third frame has no page
    EXPECT_EQ(canvas.At(100, 200), RGB(128, 128, 128));  // separator after 100 px
    EXPECT_EQ(canvas.At(99, 200), RGB(255, 0, 0));
    EXPECT_EQ(canvas.At(101, 50), RGB(0, 0, 255));
    EXPECT_EQ(canvas.At(250, 150), RGB(128, 128, 128));  // rows split at half the height
    EXPECT_EQ(canvas.At(250, 149), RGB(0, 0, 255));
    EXPECT_EQ(result.contentHeight, 300);
    auto hits = HitsOf(result, left.get());
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_TRUE(Inside(hits[0].rect, RECT{0, 0, 100, 300}));
}

TEST(PagePaintTest, FrameLinksOutsideTheirCellAreDropped) {
    auto page = MakePage(L"<frameset rows=\"40,*\"><frame src=\"a.html\"><frame src=\"b.html\"></frameset>");
    auto upper = MakePage(L"<body><p>line</p><p>line</p><p>line</p><a href=\"low.html\">low</a></body>");
    page->frames = {upper, nullptr};
    Canvas canvas(300, 300);
    PaintResult result = PaintPage(*page, canvas.dc(), canvas.Rect(), PaintSettings{});
    // The link sits far below the 40-pixel row: it is not drawn, so not hit.
    EXPECT_TRUE(HitsOf(result, upper.get()).empty());
}

}  // namespace
