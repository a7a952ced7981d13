// Painting into a 32-bit DIB section: what lands in the pixels and what the
// layout reports.
#include "engines/render/render.h"
#include "engines/render/tests/canvas.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using render_test::Canvas;

constexpr COLORREF kWhite = RGB(255, 255, 255);

bool IsBlue(COLORREF c) { return GetBValue(c) >= 160 && GetRValue(c) <= 110 && GetGValue(c) <= 110; }
bool IsInk(COLORREF c) { return GetRValue(c) < 200 || GetGValue(c) < 200 || GetBValue(c) < 200; }

int Count(const Canvas& canvas, RECT r, const std::function<bool(COLORREF)>& test) {
    int n = 0;
    for (int y = std::max(0, int(r.top)); y < std::min(canvas.height(), int(r.bottom)); ++y)
        for (int x = std::max(0, int(r.left)); x < std::min(canvas.width(), int(r.right)); ++x)
            n += test(canvas.At(x, y)) ? 1 : 0;
    return n;
}

render::LayoutResult Paint(Canvas& canvas, const wchar_t* html, RECT area, int zoom = 100,
                           bool images = true) {
    auto doc = render::ParseHtml(html, 8);
    return render::LayoutAndPaint(doc, canvas.dc(), area, zoom, images);
}

int HeightOf(const wchar_t* html, int width = 400, int zoom = 100, bool images = true) {
    Canvas canvas(width, 300);
    return Paint(canvas, html, RECT{0, 0, width, 300}, zoom, images).contentHeight;
}

const wchar_t kLongText[] =
    L"<p>The quick brown fox jumps over the lazy dog while the five boxing wizards jump "
    L"quickly and a wise old owl lived in an oak; the more he saw the less he spoke.</p>";

TEST(RenderPaint, TextMakesThePageNotBlank) {
    Canvas canvas(300, 200);
    ASSERT_TRUE(canvas.valid());
    canvas.Fill(RGB(1, 2, 3));
    auto result = Paint(canvas, L"<p>Hello world</p>", RECT{0, 0, 300, 200});
    // Filled with white, then the text drawn on top.
    EXPECT_EQ(canvas.At(299, 199), kWhite);
    EXPECT_GT(Count(canvas, RECT{0, 0, 300, 200}, IsInk), 20);
    EXPECT_GT(result.contentHeight, 16);
    EXPECT_GT(result.contentWidth, 30);
}

TEST(RenderPaint, EmptyDocumentOnlyFillsTheBackground) {
    Canvas canvas(100, 100);
    Paint(canvas, L"", RECT{0, 0, 100, 100});
    EXPECT_EQ(Count(canvas, RECT{0, 0, 100, 100}, [](COLORREF c) { return c != kWhite; }), 0);
}

TEST(RenderPaint, HonoursTheBackgroundColourInsideTheAreaOnly) {
    Canvas canvas(200, 150);
    canvas.Fill(RGB(9, 9, 9));
    RECT area{20, 30, 180, 140};
    Paint(canvas, L"<body bgcolor=#336699><p>On blue</p></body>", area);
    const COLORREF bg = RGB(0x33, 0x66, 0x99);
    EXPECT_EQ(canvas.At(20, 30), bg);
    EXPECT_EQ(canvas.At(179, 139), bg);
    EXPECT_EQ(canvas.At(100, 135), bg);
    EXPECT_EQ(canvas.At(19, 30), RGB(9, 9, 9));
    EXPECT_EQ(canvas.At(100, 29), RGB(9, 9, 9));
    EXPECT_EQ(canvas.At(180, 100), RGB(9, 9, 9));
    EXPECT_EQ(canvas.At(100, 140), RGB(9, 9, 9));
}

TEST(RenderPaint, LinkHitRectangleCoversTheBluePixels) {
    Canvas canvas(400, 200);
    RECT area{0, 0, 400, 200};
    auto doc = render::ParseHtml(L"<p>Plain words then <a href='next.html'>a link here</a> and more.</p>", 8);
    auto result = render::LayoutAndPaint(doc, canvas.dc(), area, 100, true);
    ASSERT_EQ(result.links.size(), 1u);
    EXPECT_EQ(result.links[0].link, 0u);
    RECT hit = result.links[0].rect;
    EXPECT_GT(hit.right - hit.left, 20);
    EXPECT_GT(hit.bottom - hit.top, 8);
    int inside = Count(canvas, hit, IsBlue);
    int everywhere = Count(canvas, area, IsBlue);
    EXPECT_GT(inside, 20);
    EXPECT_EQ(everywhere, inside);  // the plain text around it is not blue
    // The underline: one row of the rectangle is blue nearly all the way across.
    int widest = 0;
    for (int y = hit.top; y < hit.bottom; ++y)
        widest = std::max(widest, Count(canvas, RECT{hit.left, y, hit.right, y + 1}, IsBlue));
    EXPECT_GE(widest, (hit.right - hit.left) * 9 / 10);
    // Black text on both sides of the link on the same line.
    RECT before{0, hit.top, hit.left, hit.bottom};
    RECT after{hit.right, hit.top, 400, hit.bottom};
    EXPECT_GT(Count(canvas, before, IsInk), 10);
    EXPECT_GT(Count(canvas, after, IsInk), 10);
}

TEST(RenderPaint, WrappedLinkGetsOneRectanglePerLine) {
    Canvas canvas(160, 300);
    auto doc = render::ParseHtml(L"<a href=x>one two three four five six seven eight nine ten</a>", 8);
    auto result = render::LayoutAndPaint(doc, canvas.dc(), RECT{0, 0, 160, 300}, 100, true);
    ASSERT_GE(result.links.size(), 2u);
    for (std::size_t i = 1; i < result.links.size(); ++i)
        EXPECT_GE(result.links[i].rect.top, result.links[i - 1].rect.bottom);
    for (const auto& hit : result.links) EXPECT_GT(Count(canvas, hit.rect, IsBlue), 0);
}

TEST(RenderPaint, ZoomScalesTheContent) {
    int normal = HeightOf(L"<h1>Heading</h1><p>Some text.</p>", 600, 100);
    int doubled = HeightOf(L"<h1>Heading</h1><p>Some text.</p>", 600, 200);
    EXPECT_GT(doubled, normal * 3 / 2);
}

TEST(RenderPaint, StyleZoomScalesItsSubtree) {
    // The page margins are outside the zoomed element: measure the line alone.
    int margins = HeightOf(L"");
    auto line = [&](const wchar_t* html) { return HeightOf(html) - margins; };
    int plain = line(L"<div>Zoomed text</div>");
    EXPECT_GT(plain, 10);
    EXPECT_GT(line(L"<div style='zoom:200%'>Zoomed text</div>"), plain * 3 / 2);
    EXPECT_GT(line(L"<div style='zoom: 2.5'>Zoomed text</div>"), plain * 3 / 2);
    EXPECT_LT(line(L"<div style='zoom:0.5'>Zoomed text</div>"), plain);
    EXPECT_EQ(line(L"<div style='zoom:bogus'>Zoomed text</div>"), plain);
    // Only the subtree: a following sibling keeps its normal size.
    EXPECT_EQ(line(L"<div style='zoom:200%'>Zoomed text</div><div>Zoomed text</div>") -
                  line(L"<div style='zoom:200%'>Zoomed text</div>"),
              plain);
}

TEST(RenderPaint, LongTextWrapsWithinTheWidth) {
    Canvas narrow(220, 400);
    auto wrapped = Paint(narrow, kLongText, RECT{0, 0, 220, 400});
    Canvas wide(2000, 200);
    auto single = Paint(wide, kLongText, RECT{0, 0, 2000, 200});
    EXPECT_GT(single.contentWidth, 220);
    EXPECT_LE(wrapped.contentWidth, 220);
    EXPECT_GT(wrapped.contentHeight, single.contentHeight + 40);
    // Ink on several lines, none past the right margin.
    EXPECT_GT(Count(narrow, RECT{0, wrapped.contentHeight / 2, 220, wrapped.contentHeight}, IsInk), 20);
    EXPECT_EQ(Count(narrow, RECT{215, 0, 220, 400}, IsInk), 0);
}

TEST(RenderPaint, HeadingsAreBiggerThanParagraphs) {
    EXPECT_GT(HeightOf(L"<h1>Title</h1>"), HeightOf(L"<p>Title</p>"));
    EXPECT_GT(HeightOf(L"<h1>Title</h1>"), HeightOf(L"<h3>Title</h3>"));
}

TEST(RenderPaint, ParagraphsAreSpaced) {
    EXPECT_GT(HeightOf(L"<p>one</p><p>two</p>"), HeightOf(L"one<br>two") + 8);
}

TEST(RenderPaint, ListItemsHaveMarkersLeftOfTheirText) {
    for (const wchar_t* html : {L"<ul><li>item</ul>", L"<ol><li>item</ol>"}) {
        Canvas canvas(300, 100);
        Paint(canvas, html, RECT{0, 0, 300, 100});
        // Text starts at the 10-pixel margin plus the 40-pixel indent.
        EXPECT_GT(Count(canvas, RECT{0, 0, 48, 100}, IsInk), 2) << html;
        EXPECT_GT(Count(canvas, RECT{50, 0, 300, 100}, IsInk), 10) << html;
    }
    Canvas plain(300, 100);
    Paint(plain, L"<div style='margin-left:40px'>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;item</div>",
          RECT{0, 0, 300, 100});
    EXPECT_EQ(Count(plain, RECT{0, 0, 48, 100}, IsInk), 0);
}

TEST(RenderPaint, PreDoesNotWrap) {
    const wchar_t* longLine = L"<pre>a long preformatted line that is much wider than the area</pre>";
    const wchar_t* shortLine = L"<pre>short</pre>";
    EXPECT_EQ(HeightOf(longLine, 150), HeightOf(shortLine, 150));
    EXPECT_GT(HeightOf(L"<pre>one\ntwo\nthree</pre>", 150), HeightOf(shortLine, 150) + 20);
}

TEST(RenderPaint, TableCellsShareARowAndRowsStack) {
    int one = HeightOf(L"<table><tr><td>a</td></tr></table>");
    EXPECT_EQ(HeightOf(L"<table><tr><td>a<td>b<td>c</table>"), one);
    EXPECT_GT(HeightOf(L"<table><tr><td>a<tr><td>b</table>"), one + 10);
    Canvas canvas(400, 100);
    auto cells = Paint(canvas, L"<table><tr><td>a<td>b<td>c</table>", RECT{0, 0, 400, 100});
    auto single = Paint(canvas, L"<table><tr><td>a</table>", RECT{0, 0, 400, 100});
    EXPECT_GT(cells.contentWidth, single.contentWidth + 20);
}

TEST(RenderPaint, ImagesAreBoxesWithTheirAltText) {
    Canvas canvas(400, 200);
    auto shown = Paint(canvas, L"<img alt='Logo' width=120 height=90>", RECT{0, 0, 400, 200}, 100, true);
    EXPECT_GE(shown.contentHeight, 90);
    // The frame's left edge at x = 10 runs the whole box height.
    EXPECT_GT(Count(canvas, RECT{10, 10, 11, 100}, IsInk), 80);
    EXPECT_GT(Count(canvas, RECT{12, 12, 128, 98}, IsInk), 5);  // alt text inside
    auto hidden = Paint(canvas, L"<img alt='Logo' width=120 height=90>", RECT{0, 0, 400, 200}, 100, false);
    EXPECT_LT(hidden.contentHeight, shown.contentHeight);
    EXPECT_GT(Count(canvas, RECT{12, 12, 60, 40}, IsInk), 5);
}

}  // namespace

namespace {

TEST(RenderPaint, BlockBackgroundsPaddingAndBordersLieUnderTheirText) {
    Canvas canvas(300, 200);
    const auto result = Paint(canvas,
        L"<div style=\"background-color: #ff0000; padding: 10px; border: 2px solid #0000ff\">Boxed</div>"
        L"<p>After</p>",
        RECT{0, 0, 300, 200});
    const COLORREF red = RGB(255, 0, 0);
    const COLORREF blue = RGB(0, 0, 255);
    // The page margin is 10 pixels: the border starts there, then padding.
    EXPECT_EQ(canvas.At(10, 10), blue);
    EXPECT_EQ(canvas.At(289, 10), blue);
    EXPECT_EQ(canvas.At(14, 14), red);
    EXPECT_EQ(canvas.At(280, 20), red);
    EXPECT_EQ(canvas.At(5, 5), kWhite) << "outside the box";
    // The text is drawn over the background, not hidden by it.
    int textInk = Count(canvas, RECT{22, 22, 120, 45}, [&](COLORREF c) { return c != red && c != blue; });
    EXPECT_GT(textInk, 10);
    // The box ends before the next paragraph, whose background is the page's.
    int bottom = 10;
    while (bottom < 200 && canvas.At(10, bottom) == blue) ++bottom;
    EXPECT_GT(bottom, 40);
    EXPECT_LT(bottom, result.contentHeight);
    EXPECT_EQ(canvas.At(150, bottom + 2), kWhite);
}

TEST(RenderPaint, NestedBoxesKeepTheirOwnColoursAndDeepNestingEnds) {
    Canvas canvas(300, 200);
    Paint(canvas,
          L"<div style=\"background:#00ff00;padding:8px\"><div style=\"background:#ff00ff;padding:8px\">x</div></div>",
          RECT{0, 0, 300, 200});
    EXPECT_EQ(canvas.At(12, 12), RGB(0, 255, 0));
    EXPECT_EQ(canvas.At(22, 22), RGB(255, 0, 255));
    std::wstring deep;
    for (int i = 0; i < 2000; ++i) deep += L"<div style=\"background:#eeeeee;padding:1px;border:1px solid red\">";
    deep += L"deep";
    Canvas big(200, 200);
    auto doc = render::ParseHtml(deep, 7);
    const auto result = render::LayoutAndPaint(doc, big.dc(), RECT{0, 0, 200, 200}, 100, true);
    EXPECT_GT(result.contentHeight, 200);
}

// Layout measures each character of a long word a few times, not once per
// line: a word of n characters without a space costs O(n) measuring, where
// measuring the rest of the word for every line would cost n * n / (2 *
// characters per line), here tens of millions.
struct LongWordCase {
    const char* name;
    wchar_t character;
    int width;
    int zoom;
    bool pre;
};

TEST(RenderPaint, ALongWordWithoutSpacesIsMeasuredInLinearTime) {
    constexpr std::size_t kLength = 60000;
    const LongWordCase cases[] = {
        {"letters", L'x', 400, 100, false},
        {"replacement characters of bytes that were not UTF-8", L'\xFFFD', 400, 100, false},
        {"one character per line", L'W', 60, 1000, false},
        {"preformatted", L'x', 400, 100, true},
    };
    for (const LongWordCase& c : cases) {
        std::wstring html = c.pre ? L"<pre>" : L"<p>";
        html.append(kLength, c.character);
        auto doc = render::ParseHtml(html, 8);
        Canvas canvas(c.width, 200);
        const auto result =
            render::LayoutAndPaint(doc, canvas.dc(), RECT{0, 0, c.width, 200}, c.zoom, true);
        EXPECT_GE(result.measuredCharacters, kLength) << c.name;
        EXPECT_LE(result.measuredCharacters, 16 * kLength) << c.name;
        // The text was laid out: wrapped onto many lines, or one long line.
        if (c.pre)
            EXPECT_GT(result.contentWidth, int(kLength)) << c.name;
        else
            EXPECT_GT(result.contentHeight, 20 * 200) << c.name;
    }
}

}  // namespace
