// Conditional comments decided per engine version, in both their hidden
// (<!--[if ...]>) and revealed (<![if ...]>) forms.
#include "engines/render/render.h"

#include <gtest/gtest.h>

namespace {

constexpr int kVersions[] = {5, 6, 7, 8, 9};  // 5 is 5.5

struct Row {
    const wchar_t* condition;
    bool shown[5];  // for 5.5, 6, 7, 8, 9
};

const Row kRows[] = {
    {L"IE", {true, true, true, true, true}},
    {L"IE 5", {true, false, false, false, false}},
    {L"IE 5.5", {true, false, false, false, false}},
    {L"IE 5.0", {false, false, false, false, false}},
    {L"IE 6", {false, true, false, false, false}},
    {L"IE 7", {false, false, true, false, false}},
    {L"IE 8", {false, false, false, true, false}},
    {L"IE 9", {false, false, false, false, true}},
    {L"lt IE 7", {true, true, false, false, false}},
    {L"lt IE 5.5", {false, false, false, false, false}},
    {L"lte IE 7", {true, true, true, false, false}},
    {L"gt IE 7", {false, false, false, true, true}},
    {L"gt IE 5", {false, true, true, true, true}},
    {L"gt IE 5.0", {true, true, true, true, true}},
    {L"gte IE 8", {false, false, false, true, true}},
    {L"gte IE 5.5", {true, true, true, true, true}},
    {L"gte IE 6", {false, true, true, true, true}},
    {L"!IE", {false, false, false, false, false}},
    {L"!(IE 7)", {true, true, false, true, true}},
    {L"! IE 6", {true, false, true, true, true}},
    {L"gt IE 5.5 & lt IE 8", {false, true, true, false, false}},
    {L"IE 6 | IE 9", {false, true, false, false, true}},
    {L"(IE 6 | IE 7) & !IE 7", {false, true, false, false, false}},
    {L"!(gte IE 6 & lte IE 8)", {true, false, false, false, true}},
    {L"((IE))", {true, true, true, true, true}},
    {L"true", {true, true, true, true, true}},
    {L"false", {false, false, false, false, false}},
    {L"  lte   ie   6  ", {true, true, false, false, false}},
    // Malformed or unknown: false everywhere.
    {L"", {false, false, false, false, false}},
    {L"IE 7 &", {false, false, false, false, false}},
    {L"(IE 7", {false, false, false, false, false}},
    {L"IE 7)", {false, false, false, false, false}},
    {L"lt IE", {false, false, false, false, false}},
    {L"lt 7", {false, false, false, false, false}},
    {L"IE 7.", {false, false, false, false, false}},
    {L"IE x", {false, false, false, false, false}},
    {L"mso 9", {false, false, false, false, false}},
    {L"!mso", {false, false, false, false, false}},
    {L"IE 99999999999", {false, false, false, false, false}},
    {L"|| IE", {false, false, false, false, false}},
};

std::wstring Shown(std::wstring_view html, int version) {
    return render::ParseHtml(html, version).root->TextContent();
}

TEST(RenderCondition, TableOfConditionsAndVersions) {
    for (const auto& row : kRows) {
        for (int v = 0; v < 5; ++v) {
            EXPECT_EQ(render::EvaluateCondition(row.condition, kVersions[v]), row.shown[v])
                << "condition '" << testing::PrintToString(std::wstring(row.condition))
                << "' version " << kVersions[v];
        }
    }
}

TEST(RenderCondition, HiddenFormInDocumentsFollowsTheTable) {
    for (const auto& row : kRows) {
        std::wstring html = L"a<!--[if " + std::wstring(row.condition) + L"]><b>X</b><![endif]-->z";
        for (int v = 0; v < 5; ++v) {
            EXPECT_EQ(Shown(html, kVersions[v]), row.shown[v] ? L"aXz" : L"az")
                << testing::PrintToString(html) << " version " << kVersions[v];
        }
    }
}

TEST(RenderCondition, RevealedFormInDocumentsFollowsTheTable) {
    for (const auto& row : kRows) {
        std::wstring html = L"a<![if " + std::wstring(row.condition) + L"]><i>X</i><![endif]>z";
        for (int v = 0; v < 5; ++v) {
            EXPECT_EQ(Shown(html, kVersions[v]), row.shown[v] ? L"aXz" : L"az")
                << testing::PrintToString(html) << " version " << kVersions[v];
        }
    }
}

TEST(RenderCondition, FiftyFiveMeansFivePointFive) {
    EXPECT_TRUE(render::EvaluateCondition(L"IE 5.5", 55));
    EXPECT_TRUE(render::EvaluateCondition(L"lt IE 6", 55));
    EXPECT_FALSE(render::EvaluateCondition(L"IE 6", 55));
}

TEST(RenderCondition, ValidMarkupVariantOfTheRevealedForm) {
    // <!--[if !IE]><!--> ... <!--<![endif]--> is hidden from every engine
    // version here, and the "IE" variant is shown by all of them.
    const wchar_t* notIe = L"a<!--[if !IE]><!--><b>other</b><!--<![endif]-->z";
    const wchar_t* ie = L"a<!--[if gte IE 7]><!--><b>new</b><!--<![endif]-->z";
    for (int v : kVersions) {
        EXPECT_EQ(Shown(notIe, v), L"az") << v;
        EXPECT_EQ(Shown(ie, v), v >= 7 ? L"anewz" : L"az") << v;
    }
}

TEST(RenderCondition, ConditionalMarkupBuildsElements) {
    auto doc = render::ParseHtml(
        L"<!--[if lt IE 7]><p id=old>old</p><![endif]-->"
        L"<!--[if IE 7]><link rel=stylesheet href=ie7.css><![endif]-->"
        L"<p id=all>all</p>",
        6);
    EXPECT_NE(doc.FindById(L"old"), nullptr);
    EXPECT_TRUE(doc.ElementsByTag(L"link").empty());
    EXPECT_NE(doc.FindById(L"all"), nullptr);
    auto doc7 = render::ParseHtml(L"<!--[if lt IE 7]><p id=old>old</p><![endif]--><p id=all>", 7);
    EXPECT_EQ(doc7.FindById(L"old"), nullptr);
    EXPECT_NE(doc7.FindById(L"all"), nullptr);
}

TEST(RenderCondition, UnterminatedConditionals) {
    // A false hidden conditional without its end reads like a comment up to "-->".
    EXPECT_EQ(Shown(L"a<!--[if IE 9]>X-->b", 8), L"ab");
    // Without "]>" it is an ordinary comment.
    EXPECT_EQ(Shown(L"a<!--[if IE 8 X-->b", 8), L"ab");
    // A false revealed conditional without its end hides the rest.
    EXPECT_EQ(Shown(L"a<![if IE 9]>X", 8), L"a");
    EXPECT_EQ(Shown(L"a<![if IE 8]>X", 8), L"aX");
    EXPECT_EQ(Shown(L"a<![if IE 8>X", 8), L"aX");
}

}  // namespace
