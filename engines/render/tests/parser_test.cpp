// The tree builder: nesting, implied ends, entities, attributes, skipped
// script and style content, title, background colour, frames and links.
#include "engines/render/render.h"

#include <gtest/gtest.h>

namespace {

using render::Element;
using render::ParseHtml;

std::vector<std::wstring> ChildTags(const Element& e) {
    std::vector<std::wstring> tags;
    for (const auto& c : e.children) tags.push_back(c->IsText() ? L"#text" : c->tag);
    return tags;
}

TEST(RenderParser, NestsElementsAndKeepsText) {
    auto doc = ParseHtml(L"<div id=outer><span>one <b>two</b></span> three</div>", 8);
    const Element* outer = doc.FindById(L"outer");
    ASSERT_NE(outer, nullptr);
    EXPECT_EQ(outer->tag, L"div");
    EXPECT_EQ(ChildTags(*outer), (std::vector<std::wstring>{L"span", L"#text"}));
    const Element& span = *outer->children[0];
    EXPECT_EQ(ChildTags(span), (std::vector<std::wstring>{L"#text", L"b"}));
    EXPECT_EQ(span.children[1]->TextContent(), L"two");
    EXPECT_EQ(span.children[1]->parent, &span);
    EXPECT_EQ(outer->TextContent(), L"one two three");
}

TEST(RenderParser, FindsElementsByIdAndTag) {
    auto doc = ParseHtml(L"<p id=a>1</p><div><P id=b>2<span id=a>3</span></div>", 8);
    EXPECT_EQ(doc.FindById(L"a")->tag, L"p");  // the first in document order
    EXPECT_EQ(doc.FindById(L"b")->TextContent(), L"23");
    EXPECT_EQ(doc.FindById(L"missing"), nullptr);
    EXPECT_EQ(doc.FindById(L""), nullptr);
    auto ps = doc.ElementsByTag(L"P");
    ASSERT_EQ(ps.size(), 2u);
    EXPECT_EQ(ps[0]->TextContent(), L"1");
    EXPECT_EQ(ps[1]->TextContent(), L"23");
    EXPECT_TRUE(doc.ElementsByTag(L"table").empty());
}

TEST(RenderParser, TagAndAttributeNamesAreLowerCased) {
    auto doc = ParseHtml(L"<DIV ID=\"x\" Class='a b'>t</DIV>", 7);
    const Element* e = doc.FindById(L"x");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->tag, L"div");
    ASSERT_NE(e->Attribute(L"class"), nullptr);
    EXPECT_EQ(*e->Attribute(L"CLASS"), L"a b");
}

TEST(RenderParser, ImpliesEndsOfParagraphsAndListItems) {
    auto doc = ParseHtml(L"<p>a<p>b<ul><li>one<li>two<li>three</ul><p>c", 6);
    EXPECT_EQ(ChildTags(*doc.root), (std::vector<std::wstring>{L"p", L"p", L"ul", L"p"}));
    EXPECT_EQ(doc.root->children[0]->TextContent(), L"a");
    EXPECT_EQ(doc.root->children[1]->TextContent(), L"b");
    const Element& ul = *doc.root->children[2];
    EXPECT_EQ(ChildTags(ul), (std::vector<std::wstring>{L"li", L"li", L"li"}));
    EXPECT_EQ(ul.children[1]->TextContent(), L"two");
    EXPECT_EQ(doc.root->children[3]->TextContent(), L"c");
}

TEST(RenderParser, NestedListItemsStayInTheirOwnList) {
    auto doc = ParseHtml(L"<ul><li>a<ul><li>a1<li>a2</ul><li>b</ul>", 8);
    const Element& ul = *doc.root->children[0];
    ASSERT_EQ(ChildTags(ul), (std::vector<std::wstring>{L"li", L"li"}));
    EXPECT_EQ(doc.ElementsByTag(L"li").size(), 4u);
    EXPECT_EQ(ul.children[1]->TextContent(), L"b");
}

TEST(RenderParser, ImpliesEndsOfTableRowsAndCells) {
    auto doc = ParseHtml(L"<table><tr><td>1<td>2<tr><th>3<td>4</table>after", 9);
    auto rows = doc.ElementsByTag(L"tr");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(ChildTags(*rows[0]), (std::vector<std::wstring>{L"td", L"td"}));
    EXPECT_EQ(ChildTags(*rows[1]), (std::vector<std::wstring>{L"th", L"td"}));
    EXPECT_EQ(rows[1]->children[1]->TextContent(), L"4");
    EXPECT_EQ(doc.root->children.back()->text, L"after");
}

TEST(RenderParser, DecodesEntities) {
    auto doc = ParseHtml(
        L"<p id=p>&amp;&lt;&gt;&quot;&nbsp;&#65;&#x42;&#X63;&unknown; & &amp</p>"
        L"<a id=a title=\"x&amp;y\" href=q?a=1&amp;b=2>l</a>",
        8);
    EXPECT_EQ(doc.FindById(L"p")->TextContent(), L"&<>\"\xA0" L"ABc&unknown; & &");
    EXPECT_EQ(*doc.FindById(L"a")->Attribute(L"title"), L"x&y");
    EXPECT_EQ(*doc.FindById(L"a")->Attribute(L"href"), L"q?a=1&b=2");
}

TEST(RenderParser, NumericEntitiesOutOfRangeBecomeReplacementCharacters) {
    auto doc = ParseHtml(L"&#0;&#xD800;&#x110000;&#x1F600;", 8);
    EXPECT_EQ(doc.root->TextContent(), L"\xFFFD\xFFFD\xFFFD\xD83D\xDE00");
}

TEST(RenderParser, ReadsQuotedUnquotedAndBareAttributes) {
    auto doc = ParseHtml(L"<input id=i type=checkbox checked value = 'a \"b\"' name=\"n 'm'\" data-x=1>", 8);
    const Element* e = doc.FindById(L"i");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(*e->Attribute(L"type"), L"checkbox");
    ASSERT_NE(e->Attribute(L"checked"), nullptr);
    EXPECT_EQ(*e->Attribute(L"checked"), L"");
    EXPECT_EQ(*e->Attribute(L"value"), L"a \"b\"");
    EXPECT_EQ(*e->Attribute(L"name"), L"n 'm'");
    EXPECT_EQ(*e->Attribute(L"data-x"), L"1");
    EXPECT_EQ(e->Attribute(L"missing"), nullptr);
}

TEST(RenderParser, VoidElementsTakeNoChildren) {
    auto doc = ParseHtml(L"<p>a<br>b<img src=x.png alt='X'>c<hr><input>d", 8);
    for (const auto* tag : {L"br", L"img", L"hr", L"input"}) {
        auto found = doc.ElementsByTag(tag);
        ASSERT_EQ(found.size(), 1u) << tag;
        EXPECT_TRUE(found[0]->children.empty()) << tag;
    }
    EXPECT_EQ(*doc.ElementsByTag(L"img")[0]->Attribute(L"alt"), L"X");
    EXPECT_EQ(doc.root->TextContent(), L"abcd");
}

TEST(RenderParser, SkipsScriptAndStyleContent) {
    auto doc = ParseHtml(
        L"<p>before<script>if (a < b) document.write('<p>no</p>');</script>"
        L"<STYLE>p { color: red }</STYLE>after</p><script>unterminated <b>x",
        8);
    EXPECT_EQ(doc.root->TextContent(), L"beforeafter");
    EXPECT_EQ(doc.ElementsByTag(L"script").size(), 2u);
    EXPECT_EQ(doc.ElementsByTag(L"b").size(), 0u);
    EXPECT_EQ(doc.ElementsByTag(L"p").size(), 1u);
}

TEST(RenderParser, CommentsAndDeclarationsAreDropped) {
    auto doc = ParseHtml(L"<!DOCTYPE html><?xml x?>a<!-- <p>hidden</p> -->b<!-->c<!--->d<!-- open", 8);
    EXPECT_EQ(doc.root->TextContent(), L"abcd");
    EXPECT_TRUE(doc.ElementsByTag(L"p").empty());
}

TEST(RenderParser, StrayAngleBracketsAreText) {
    auto doc = ParseHtml(L"1 < 2 <> 3 </ 4 <", 8);
    EXPECT_EQ(doc.root->TextContent(), L"1 < 2 <> 3 </ 4 <");
}

TEST(RenderParser, TakesTheFirstTitle) {
    auto doc = ParseHtml(L"<html><head><title>  A &amp;\n B </title><title>second</title></head><body>x", 8);
    EXPECT_EQ(doc.title, L"A & B");
}

TEST(RenderParser, ReadsBodyBackgroundColour) {
    EXPECT_EQ(ParseHtml(L"<body bgcolor=#ff8000>", 8).background, RGB(255, 128, 0));
    EXPECT_EQ(ParseHtml(L"<body bgcolor=\"navy\">", 8).background, RGB(0, 0, 128));
    EXPECT_EQ(ParseHtml(L"<body bgcolor=0a0B0c>", 8).background, RGB(10, 11, 12));
    EXPECT_EQ(ParseHtml(L"<body style='margin:0; background-color: #0f0'>", 8).background,
              RGB(0, 255, 0));
    EXPECT_EQ(ParseHtml(L"<body style='background:rgb(1, 2, 3)'>", 8).background, RGB(1, 2, 3));
    EXPECT_FALSE(ParseHtml(L"<body bgcolor=nonsense>", 8).background.has_value());
    EXPECT_FALSE(ParseHtml(L"<body>", 8).background.has_value());
}

TEST(RenderParser, RecordsFramesAndLinks) {
    auto doc = ParseHtml(
        L"<frameset cols='50%,*'><frame src=left.html name=l><frame src='right.html'></frameset>"
        L"<iframe src=inner.html></iframe>"
        L"<a name=anchor>no href</a><a href='/x' target=_blank> go\n <b>there</b> </a>",
        8);
    ASSERT_EQ(doc.frames.size(), 3u);
    EXPECT_EQ(doc.frames[0].src, L"left.html");
    EXPECT_EQ(doc.frames[0].name, L"l");
    EXPECT_EQ(doc.frames[1].src, L"right.html");
    EXPECT_EQ(doc.frames[2].tag, L"iframe");
    EXPECT_EQ(doc.frames[2].src, L"inner.html");
    ASSERT_EQ(doc.links.size(), 1u);
    EXPECT_EQ(doc.links[0].href, L"/x");
    EXPECT_EQ(doc.links[0].target, L"_blank");
    EXPECT_EQ(doc.links[0].text, L"go there");
    EXPECT_EQ(doc.links[0].element, doc.ElementsByTag(L"a")[1]);
}

TEST(RenderParser, PreKeepsItsWhiteSpace) {
    auto doc = ParseHtml(L"<pre id=p>a  b\n\tc</pre>", 8);
    EXPECT_EQ(doc.FindById(L"p")->TextContent(), L"a  b\n\tc");
}

TEST(RenderParser, StyleValuesAndColours) {
    EXPECT_EQ(render::StyleValue(L"a:1; ZOOM : 150% ;b:2", L"zoom"), L"150%");
    EXPECT_FALSE(render::StyleValue(L"a:1", L"zoom").has_value());
    EXPECT_EQ(render::ParseColor(L"#abc"), RGB(0xaa, 0xbb, 0xcc));
    EXPECT_FALSE(render::ParseColor(L"#abcd").has_value());
    EXPECT_FALSE(render::ParseColor(L"rgb(1,2)").has_value());
}

TEST(RenderParser, VeryDeepNestingIsFlattenedNotOverflowed) {
    std::wstring html;
    for (int i = 0; i < 20000; ++i) html += L"<div>";
    html += L"deep";
    auto doc = ParseHtml(html, 8);
    EXPECT_EQ(doc.ElementsByTag(L"div").size(), 20000u);
    EXPECT_EQ(doc.root->TextContent(), L"deep");
    int depth = 0;
    for (const Element* e = doc.ElementsByTag(L"div").back(); e; e = e->parent) ++depth;
    EXPECT_LE(depth, 256);
}

}  // namespace
