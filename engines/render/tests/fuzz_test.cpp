// Random markup, built from a fixed seed, must parse and paint without
// crashing or hanging, and must leave a consistent tree.
#include "engines/render/render.h"

#include "engines/render/tests/canvas.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using render::Element;

const wchar_t* const kFragments[] = {
    L"<", L">", L"</", L"/>", L"<!--", L"-->", L"<!-->", L"<!--[if ", L"]>", L"<![endif]-->",
    L"<![if ", L"<![endif]>", L"IE", L" 5.5", L" 7", L"lt ", L"gte ", L"!", L"&", L"|", L"(",
    L")", L"&amp;", L"&#", L"&#x", L"1F600", L"65", L";", L"&nbsp", L"<p>", L"<li>", L"<ul>",
    L"<ol start=3>", L"<td>", L"<tr>", L"<table>", L"</table>", L"<script>", L"</script>",
    L"<style>", L"<a href=", L"<a href='x' target=t>", L"</a>", L"'", L"\"", L"=", L" ", L"\n",
    L"\t", L"<pre>", L"</pre>", L"<img alt=", L"<img width=99999 height=0 alt='x'>",
    L"<body bgcolor=", L"#fc0", L"style=\"zoom:", L"%", L"0.01", L"300", L"<title>", L"</title>",
    L"<frame src=", L"<iframe src=f>", L"<h1>", L"</h2>", L"<br>", L"</br>", L"<hr>",
    L"<div style='zoom:", L"text", L"longwordwithoutanybreakopportunityatall", L"<!DOCTYPE",
    L"<?", L"<b>", L"</b>", L"<font size=9 color=red>", L"<blockquote>", L"<![",
};

std::wstring RandomMarkup(std::mt19937& rng) {
    std::wstring out;
    int pieces = std::uniform_int_distribution<int>(0, 80)(rng);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(kFragments) - 1);
    std::uniform_int_distribution<int> coin(0, 9);
    for (int i = 0; i < pieces; ++i) {
        if (coin(rng) == 0) {
            // Any UTF-16 unit, lone surrogates and NUL included.
            out += wchar_t(std::uniform_int_distribution<int>(0, 0xFFFF)(rng));
        } else {
            out += kFragments[pick(rng)];
        }
    }
    return out;
}

// Checks parent links and node kinds; returns the number of frame elements.
std::size_t CheckTree(const Element& e, std::size_t depth) {
    EXPECT_LT(depth, 256u);
    std::size_t frames = (e.tag == L"frame" || e.tag == L"iframe") ? 1 : 0;
    if (e.IsText()) {
        EXPECT_TRUE(e.children.empty());
        EXPECT_TRUE(e.attributes.empty());
        EXPECT_FALSE(e.text.empty());
    }
    for (const auto& child : e.children) {
        EXPECT_EQ(child->parent, &e);
        frames += CheckTree(*child, depth + 1);
    }
    return frames;
}

TEST(RenderFuzz, RandomMarkupParsesAndPaints) {
    std::mt19937 rng(20240611);
    render_test::Canvas canvas(160, 120);
    const int versions[] = {5, 6, 7, 8, 9};
    for (int i = 0; i < 10000; ++i) {
        std::wstring html = RandomMarkup(rng);
        int version = versions[i % 5];
        auto doc = render::ParseHtml(html, version);
        SCOPED_TRACE(testing::PrintToString(html));
        ASSERT_NE(doc.root, nullptr);
        EXPECT_EQ(CheckTree(*doc.root, 0), doc.frames.size());
        EXPECT_EQ(doc.links.size(), [&] {
            std::size_t n = 0;
            for (const auto* a : doc.ElementsByTag(L"a")) n += a->Attribute(L"href") != nullptr;
            return n;
        }());
        for (const auto& link : doc.links) {
            ASSERT_NE(link.element, nullptr);
            EXPECT_EQ(link.element->tag, L"a");
        }
        if (i % 10 == 0) {
            RECT area{5, 5, 150, 110};
            auto result = render::LayoutAndPaint(doc, canvas.dc(), area, 50 + (i % 7) * 50, i % 20 == 0);
            EXPECT_GE(result.contentHeight, 0);
            for (const auto& hit : result.links) {
                EXPECT_LT(hit.link, doc.links.size());
                EXPECT_LE(hit.rect.left, hit.rect.right);
                EXPECT_LE(hit.rect.top, hit.rect.bottom);
            }
        }
        if (HasFailure()) break;
    }
}

TEST(RenderFuzz, RepeatedUnclosedMarkersStayLinear) {
    // Each of these would rescan the rest of the input at every repetition
    // if searches started over; 40,000 repetitions keep that from finishing.
    const wchar_t* const units[] = {L"<!--[if IE 9]>x-->", L"<!--[if a-->", L"<!--[if IE 8]>y",
                                    L"<![if IE 9]>z<![endif]>", L"<p>&#x1F600<b>"};
    for (const wchar_t* unit : units) {
        std::wstring html;
        for (int i = 0; i < 40000; ++i) html += unit;
        html += L"]>end";
        auto doc = render::ParseHtml(html, 8);
        EXPECT_FALSE(doc.root->children.empty()) << testing::PrintToString(std::wstring(unit));
    }
    std::wstring shown;
    for (int i = 0; i < 40000; ++i) shown += L"<!--[if IE 8]>y";
    EXPECT_EQ(render::ParseHtml(shown, 8).root->TextContent(), std::wstring(40000, L'y'));
    EXPECT_EQ(render::ParseHtml(shown, 7).root->TextContent(), L"");
}

TEST(RenderFuzz, RandomConditionsNeverCrash) {
    std::mt19937 rng(77);
    const wchar_t alphabet[] = L"IEltgte!&|() 0123456789.";
    for (int i = 0; i < 20000; ++i) {
        std::wstring condition;
        int length = std::uniform_int_distribution<int>(0, 40)(rng);
        for (int j = 0; j < length; ++j)
            condition += alphabet[std::uniform_int_distribution<int>(0, int(std::size(alphabet)) - 2)(rng)];
        bool shown = render::EvaluateCondition(condition, 7);
        // The same text inside a document must agree with the direct answer.
        auto doc = render::ParseHtml(L"<!--[if " + condition + L"]>X<![endif]-->", 7);
        bool hasClose = condition.find(L"]>") != std::wstring::npos;
        if (!hasClose) {
            EXPECT_EQ(doc.root->TextContent() == L"X", shown) << testing::PrintToString(condition);
        }
    }
}

}  // namespace
